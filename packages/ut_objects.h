#pragma once
// The objects the package reader makes for its exports, chosen by class name through a
// registry, and the reader of the property list with which every object's data begins.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Streams.h"

class TUTPackage;

// Internal type codes of a read property.
enum TUTPropertyType : uint8_t {
  ptNone = 0,
  ptByte = 1,
  ptObjRef = 2,
  ptInt = 3,
  ptFloat = 4,
  ptBool = 5,
  ptColor = 6,
  ptUnknown = 8,
  ptNameRef = 9,
  ptVector = 10,
  ptPointRegion = 11,
  ptText = 12,
  ptRotator = 13,
  ptScale = 14,
  ptADrop = 15
};

struct TUTProperty {
  std::string Name;
  int32_t ArrayIndex = 0;
  uint8_t PropType = ptNone;
  std::string Text;  // readable form: "LODSet = 2 (LODSET_Skin)"
  float FloatValue = 0;
  int32_t Value = 0;
  std::string StrValue;
};

class TUTObject {
 public:
  TUTObject(TUTPackage* APackage, int32_t AExportIndex) : Package(APackage), ExportIndex(AExportIndex) {}
  virtual ~TUTObject() = default;
  virtual void ReadObject() {}

  TUTPackage* Package;
  int32_t ExportIndex;
  std::unique_ptr<TStream> Data;  // the export's object data, owned

 protected:
  // Fills Data from the export's serial range in the package file when it is not set; raises
  // EReadError when the export has no data or its range does not lie inside the file.
  void LoadData();
};

class TUTObjectWithProperties : public TUTObject {
 public:
  using TUTObject::TUTObject;
  void ReadObject() override;

  int32_t PropertyCount = 0;
  std::vector<TUTProperty> Properties;  // the closing "None" record included
  int32_t PropertiesEnd = 0;            // position in Data after the list
};

class TUTPalette : public TUTObjectWithProperties {
 public:
  using TUTObjectWithProperties::TUTObjectWithProperties;
  void ReadObject() override;

  int32_t ColorCount = 0;
};

// A class of package objects: makes the object for one export.
using TUTObjectClass = std::unique_ptr<TUTObject> (*)(TUTPackage* Package, int32_t ExportIndex);

template <class T>
std::unique_ptr<TUTObject> MakeUTObject(TUTPackage* Package, int32_t ExportIndex) {
  return std::make_unique<T>(Package, ExportIndex);
}

// Registers (or replaces) the class for a class name; names compare in lower case. "palette"
// is registered from the start.
void RegisterUTClass(const std::string& ClassName, TUTObjectClass ObjClass);
// The class registered for the name, TUTObject's when none.
TUTObjectClass FindUTClass(const std::string& ClassName);

// Reads one property at the package's current position into Prop; true while more follow.
bool ReadProperties(TUTPackage& Package, TUTProperty& Prop);
