#pragma once
// TUTPackage: an open Unreal package: its header, name, import, export and heritage tables,
// object paths, and primitive reads at any position for code that decodes object data itself.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Streams.h"

class TUTObject;

struct TUTName {
  std::string Name;
  uint32_t Flags = 0;
};

struct TImportTableData {
  int32_t ObjectName = 0, ClassPackage = 0, ClassName = 0;  // name indices
  int32_t Package = 0;                                      // object reference
  std::string ObjectNameStr, ClassPackageStr, ClassNameStr;
  std::string PackagePath;  // object path of Package, all levels
};

struct TExportTableData {
  int32_t ObjectName = 0;                     // name index
  int32_t Class = 0, Package = 0, Super = 0;  // object references
  uint32_t ObjectFlags = 0;
  int32_t SerialSize = 0, SerialOffset = 0;
  std::string ObjectNameStr;
  std::string ClassNameStr;            // the class's own name; empty for 0
  std::string PackagePath, SuperPath;  // all levels
  std::unique_ptr<TUTObject> Obj;      // made by the class registry
  TExportTableData();
  ~TExportTableData();
  TExportTableData(TExportTableData&&) noexcept;
};

class TUTPackage {
 public:
  // Loads FileName when it is not empty.
  explicit TUTPackage(const std::string& FileName = "");
  ~TUTPackage();
  TUTPackage(const TUTPackage&) = delete;
  TUTPackage& operator=(const TUTPackage&) = delete;

  // Loads the package again from FileName. Any failure raises EReadError
  // "Exception processing <FileName>" and leaves the tables empty. Object data is read from the
  // file when it is needed.
  void LoadFromFile(const std::string& FileName);
  // The same over bytes in memory, which the package keeps for its object data; DisplayName
  // takes the file name's place in errors.
  void LoadFromMemory(std::vector<uint8_t> Data, const std::string& DisplayName);

  // Counted open and close of the package file (or its bytes in memory); while a stream is
  // pushed they only count.
  void Open();
  void Close();

  // Reads up to Count bytes from the current stream after zero-filling Buffer; returns the
  // bytes read. Reads past the end yield zero bytes, never an error.
  size_t Read(void* Buffer, size_t Count);
  int32_t ReadDWord();
  uint8_t ReadByte();
  int32_t ReadCompactIndex();
  std::string ReadName();    // a name-table string in this package's version
  std::string ReadASCIIZ();  // up to a zero byte (or the end)
  std::string ReadShortString();
  void Seek(int64_t Position);
  int64_t GetPosition();
  // The size of the current stream (0 without one).
  int64_t StreamSize();

  // Makes AStream the stream every read uses until PopStream; pushes nest.
  void PushStream(TStream* AStream);
  void PopStream();
  TStream* SavedStream() const { return FSaved.empty() ? nullptr : FSaved.back(); }

  std::string GetName(int32_t Index) const;  // "" outside the table
  int32_t FindName(const std::string& Name) const;
  TExportTableData& GetExport(int32_t Index);  // EListError outside the table
  TImportTableData& GetImport(int32_t Index);
  int32_t GetExportCount() const { return static_cast<int32_t>(Exports.size()); }
  // First export whose name and class name equal the arguments, letter case ignored; -1 if none.
  int32_t FindExport(const std::string& ObjectName, const std::string& ClassName) const;
  // The object path of Ref, outermost package first ("Engine.Texture"), taking at most Depth
  // levels (-1: all). A row that does not exist gives an empty path. A cyclic or absurdly deep
  // chain of packages, or a path longer than UT_MAX_OBJECT_PATH, raises EReadError.
  void GetObjectPath(int Depth, int32_t Ref, std::string& Path) const;

  TStream* Stream = nullptr;  // the stream every read uses
  std::string FileName;
  int32_t Version = 0;  // the header's whole 32-bit word; compare it as signed
  uint32_t PackageFlags = 0;
  int32_t OpenCount = 0;
  std::vector<TUTName> Names;
  std::vector<TImportTableData> Imports;
  std::vector<TExportTableData> Exports;
  std::vector<std::string> Heritage;  // GUIDs as text, below version 68 only
  // State of the property reader between two properties.
  bool InArray = false;
  std::string PendingStruct;
  uint8_t PendingStructTag = 0;  // the info byte that announced PendingStruct

 private:
  void LoadPackage();
  void ParseTables(const std::vector<uint8_t>& Data);
  void ResolveRows();
  void ClearTables();

  std::unique_ptr<TFileStream> FFile;
  std::unique_ptr<TMemoryStream> FMemory;  // the package's bytes when loaded from memory
  std::vector<TStream*> FSaved;
};

// Longest chain of packages an object path may have; deeper chains are taken for cycles.
constexpr size_t UT_MAX_OBJECT_DEPTH = 256;
// Longest object path, in characters; real ones are a few short names.
constexpr size_t UT_MAX_OBJECT_PATH = 1024;
