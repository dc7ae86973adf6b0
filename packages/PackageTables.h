#pragma once
// The in-memory name, import and export tables of a package being written, and the writing of
// the whole file: header, name table, object data, import table, export table, offsets.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "packages/UnrealFormat.h"
#include "platform/Streams.h"

struct TPackageName {
  std::string Name;
  uint32_t Flags = 0;
};

struct TObjetoImportado {
  int32_t ClassPackage = 0;  // name index
  int32_t ClassName = 0;     // name index
  int32_t Package = 0;       // object reference
  int32_t ObjectName = 0;    // name index
};

struct TObjetoExportado {
  int32_t Class = 0;       // object reference
  int32_t Super = 0;       // object reference (always 0 here)
  int32_t Package = 0;     // object reference
  int32_t ObjectName = 0;  // name index
  uint32_t ObjectFlags = 0;
  int32_t SerialOffset = 0;  // set when the data is written
  int32_t SerialSize = 0;
  TMemoryStream Data;
  // Positions inside Data of 32-bit offsets relative to Data's start; they become absolute
  // file offsets when the object is written.
  std::vector<int64_t> MipFixups;
};

class TPackageTables {
 public:
  explicit TPackageTables(int32_t Version = 68) : FVersion(Version) {}

  int32_t Version() const { return FVersion; }
  // Index of a name (letter case ignored); a new name is appended with Flags, or with the
  // default flags when Flags is 0. A name the length byte cannot describe is refused.
  int32_t NameIndex(const std::string& Name, uint32_t Flags = 0);
  // Reference of the first import whose object name is Name; 0 when none.
  int32_t ImportRef(const std::string& Name);
  int32_t AddImport(const std::string& ClassPackage, const std::string& ClassName, int32_t Package,
                    const std::string& ObjectName);
  // Appends an export row and returns it; its reference is ExportCount().
  TObjetoExportado& AddExport(int32_t Class, int32_t Package, const std::string& ObjectName, uint32_t ObjectFlags);
  int32_t ExportCount() const { return static_cast<int32_t>(Exports.size()); }

  // Writes the whole package; every offset is back-patched.
  void SaveToStream(TStream& Stream, uint32_t PackageFlags, const TPackageGUID& GUID);

  std::vector<TPackageName> Names;
  std::vector<TObjetoImportado> Imports;
  std::vector<std::unique_ptr<TObjetoExportado>> Exports;

 private:
  int32_t FVersion;
  std::unordered_map<std::string, int32_t> FNameLookup;  // lower-cased name -> index
};
