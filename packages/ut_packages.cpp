#include "packages/ut_packages.h"

#include <cstring>

#include "packages/UnrealFormat.h"
#include "packages/ut_objects.h"
#include "platform/ByteReader.h"
#include "platform/Exceptions.h"
#include "platform/StrUtils.h"

TExportTableData::TExportTableData() = default;
TExportTableData::~TExportTableData() = default;
TExportTableData::TExportTableData(TExportTableData&&) noexcept = default;

TUTPackage::TUTPackage(const std::string& AFileName) {
  if (!AFileName.empty()) LoadFromFile(AFileName);
}

TUTPackage::~TUTPackage() = default;

void TUTPackage::LoadFromFile(const std::string& AFileName) {
  FileName = AFileName;
  FMemory.reset();
  LoadPackage();
}

void TUTPackage::LoadFromMemory(std::vector<uint8_t> Data, const std::string& DisplayName) {
  FileName = DisplayName;
  FMemory = std::make_unique<TMemoryStream>(std::move(Data));
  LoadPackage();
}

void TUTPackage::Open() {
  if (OpenCount == 0 && FSaved.empty()) {
    if (FMemory) {
      FMemory->SetPosition(0);  // as a file opened afresh
      Stream = FMemory.get();
    } else {
      FFile = std::make_unique<TFileStream>(FileName, fmOpenRead);  // may raise: the count stays
      Stream = FFile.get();
    }
  }
  ++OpenCount;
}

void TUTPackage::Close() {
  if (OpenCount <= 0) return;
  if (--OpenCount == 0 && FSaved.empty()) {
    if (Stream == FFile.get() || Stream == FMemory.get()) Stream = nullptr;
    FFile.reset();
  }
}

size_t TUTPackage::Read(void* Buffer, size_t Count) {
  if (Count) std::memset(Buffer, 0, Count);
  if (!Stream || Count == 0) return 0;
  return Stream->Read(Buffer, Count);
}

int32_t TUTPackage::ReadDWord() {
  uint8_t b[4];
  Read(b, 4);
  return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                              (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24));
}

uint8_t TUTPackage::ReadByte() {
  uint8_t b = 0;
  Read(&b, 1);
  return b;
}

int32_t TUTPackage::ReadCompactIndex() {
  uint8_t b[UT_MAX_COMPACT_INDEX_BYTES] = {};
  int n = 0;
  b[n++] = ReadByte();
  bool more = (b[0] & 0x40) != 0;
  while (more && n < UT_MAX_COMPACT_INDEX_BYTES) {
    b[n] = ReadByte();
    more = n < UT_MAX_COMPACT_INDEX_BYTES - 1 && (b[n] & 0x80) != 0;
    ++n;
  }
  int32_t v = 0;
  DecodeCompactIndex(b, static_cast<size_t>(n), v);
  return v;
}

std::string TUTPackage::ReadASCIIZ() {
  std::string s;
  const int64_t left = StreamSize() - GetPosition();
  for (int64_t i = 0; i < left; ++i) {
    const char c = static_cast<char>(ReadByte());
    if (c == 0) break;
    s += c;
  }
  return s;
}

std::string TUTPackage::ReadShortString() {
  const uint8_t len = ReadByte();
  std::string s(len, '\0');
  Read(s.data(), len);
  return s;
}

std::string TUTPackage::ReadName() {
  if (Version < UT_VERSION_NAME_LENGTH) return ReadASCIIZ();
  std::string s = ReadShortString();
  if (!s.empty()) s.pop_back();  // the terminating zero
  return s;
}

void TUTPackage::Seek(int64_t Position) {
  if (Stream) Stream->SetPosition(Position < 0 ? 0 : Position);
}

int64_t TUTPackage::GetPosition() { return Stream ? Stream->Position() : 0; }

int64_t TUTPackage::StreamSize() { return Stream ? Stream->Size() : 0; }

void TUTPackage::PushStream(TStream* AStream) {
  FSaved.push_back(Stream);
  Stream = AStream;
}

void TUTPackage::PopStream() {
  if (FSaved.empty()) return;
  Stream = FSaved.back();
  FSaved.pop_back();
}

std::string TUTPackage::GetName(int32_t Index) const {
  if (Index < 0 || static_cast<size_t>(Index) >= Names.size()) return {};
  return Names[static_cast<size_t>(Index)].Name;
}

int32_t TUTPackage::FindName(const std::string& Name) const {
  for (size_t i = 0; i < Names.size(); ++i)
    if (SameText(Names[i].Name, Name)) return static_cast<int32_t>(i);
  return -1;
}

TExportTableData& TUTPackage::GetExport(int32_t Index) {
  if (Index < 0 || static_cast<size_t>(Index) >= Exports.size())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return Exports[static_cast<size_t>(Index)];
}

TImportTableData& TUTPackage::GetImport(int32_t Index) {
  if (Index < 0 || static_cast<size_t>(Index) >= Imports.size())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return Imports[static_cast<size_t>(Index)];
}

int32_t TUTPackage::FindExport(const std::string& ObjectName, const std::string& ClassName) const {
  const std::string name = LowerCase(ObjectName), cls = LowerCase(ClassName);
  for (size_t i = 0; i < Exports.size(); ++i)
    if (LowerCase(Exports[i].ObjectNameStr) == name && LowerCase(Exports[i].ClassNameStr) == cls)
      return static_cast<int32_t>(i);
  return -1;
}

void TUTPackage::GetObjectPath(int Depth, int32_t Ref, std::string& Path) const {
  Path.clear();
  std::vector<const std::string*> names;  // innermost first
  size_t length = 0;
  while (Ref != 0 && (Depth < 0 || static_cast<int>(names.size()) < Depth)) {
    const int64_t i = RefTableIndex(Ref);
    int32_t nameIndex, next;
    if (Ref < 0) {
      if (i >= static_cast<int64_t>(Imports.size())) return;
      nameIndex = Imports[static_cast<size_t>(i)].ObjectName;
      next = Imports[static_cast<size_t>(i)].Package;
    } else {
      if (i >= static_cast<int64_t>(Exports.size())) return;
      nameIndex = Exports[static_cast<size_t>(i)].ObjectName;
      next = Exports[static_cast<size_t>(i)].Package;
    }
    // No real package nests this deep or names an object this long; a longer walk means the
    // references form a cycle, and a path this long, kept for every row, would let a small
    // file take gigabytes.
    if (names.size() >= UT_MAX_OBJECT_DEPTH)
      throw EReadError("The package references of object " + std::to_string(Ref) + " form a cycle");
    static const std::string kEmpty;
    const std::string& name = nameIndex >= 0 && static_cast<size_t>(nameIndex) < Names.size()
                                  ? Names[static_cast<size_t>(nameIndex)].Name
                                  : kEmpty;
    length += name.size() + 1;
    if (length > UT_MAX_OBJECT_PATH + 1)
      throw EReadError("The object path of " + std::to_string(Ref) + " is longer than " +
                       std::to_string(UT_MAX_OBJECT_PATH) + " characters");
    names.push_back(&name);
    Ref = next;
  }
  Path.reserve(length);
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    if (it != names.rbegin()) Path += '.';
    Path += **it;
  }
}

void TUTPackage::ClearTables() {
  Names.clear();
  Imports.clear();
  Exports.clear();
  Heritage.clear();
}

void TUTPackage::LoadPackage() {
  ClearTables();
  const int32_t openBefore = OpenCount;
  try {
    Open();
    // The tables are parsed from a copy of the file, every count and offset checked first.
    std::vector<uint8_t> data;
    if (Stream) {
      const int64_t size = Stream->Size();
      data.resize(static_cast<size_t>(size));
      Stream->SetPosition(0);
      data.resize(Read(data.data(), data.size()));
    }
    ParseTables(data);
    ResolveRows();
    Close();
  } catch (const std::exception&) {
    while (OpenCount > openBefore) Close();
    ClearTables();
    throw EReadError("Exception processing " + FileName);
  }
}

namespace {
// Smallest possible row of each table, to check counts against the data that is left.
constexpr uint64_t kMinNameRow = 5;     // empty name (length or zero byte) + flags
constexpr uint64_t kMinExportRow = 12;  // 4 one-byte indices, package, flags; no serial offset
constexpr uint64_t kMinImportRow = 7;   // 3 one-byte indices, package
constexpr uint64_t kHeritageRow = 16;
constexpr uint64_t kGenerationRow = 8;

int32_t ReadIndex(TByteReader& r, const char* field) {
  int32_t v = 0;
  bool exact = false;
  const int n = DecodeCompactIndex(r.Data() + r.Pos(), r.Remaining(), v, &exact);
  if (n == 0) r.Fail(std::string("unexpected end of data reading ") + field);
  if (!exact) r.Fail(std::string("bad compact index in ") + field);
  r.Skip(static_cast<uint64_t>(n), field);
  return v;
}

void SeekTable(TByteReader& r, int32_t count, int32_t offset, uint64_t minRow, const char* field) {
  if (count < 0) r.Fail(std::string(field) + " count is negative");
  if (offset < 0) r.Fail(std::string(field) + " offset is negative");
  r.Seek(static_cast<uint64_t>(offset), field);
  r.RequireCount(static_cast<uint64_t>(count), minRow, field);
}
}  // namespace

void TUTPackage::ParseTables(const std::vector<uint8_t>& Data) {
  TByteReader r(Data.data(), Data.size(), [](const std::string& m) { throw EReadError(m); });
  if (r.Remaining() < 4 || r.U32("signature") != UT_PACKAGE_SIGNATURE)
    throw EReadError("ERROR! This isn't an Unreal package");
  Version = r.I32("version");
  PackageFlags = r.U32("package flags");
  const int32_t nameCount = r.I32("name count"), nameOffset = r.I32("name offset");
  const int32_t exportCount = r.I32("export count"), exportOffset = r.I32("export offset");
  const int32_t importCount = r.I32("import count"), importOffset = r.I32("import offset");
  int32_t heritageCount = 0, heritageOffset = 0;
  if (Version >= UT_VERSION_GENERATIONS) {
    r.Skip(16, "GUID");
    const int32_t generations = r.I32("generation count");
    if (generations < 0) r.Fail("generation count is negative");
    r.RequireCount(static_cast<uint64_t>(generations), kGenerationRow, "generation");
    r.Skip(static_cast<uint64_t>(generations) * kGenerationRow, "generations");
  } else {
    heritageCount = r.I32("heritage count");
    heritageOffset = r.I32("heritage offset");
  }

  SeekTable(r, nameCount, nameOffset, kMinNameRow, "name table");
  Names.reserve(static_cast<size_t>(nameCount));
  for (int32_t i = 0; i < nameCount; ++i) {
    TUTName n;
    if (Version >= UT_VERSION_NAME_LENGTH) {
      const uint8_t len = r.U8("name length");
      n.Name = r.String(len, "name");
      if (!n.Name.empty()) n.Name.pop_back();
    } else {
      const uint8_t* start = r.Data() + r.Pos();
      const void* zero = std::memchr(start, 0, r.Remaining());
      if (!zero) r.Fail("name without its terminating zero");
      const size_t len = static_cast<size_t>(static_cast<const uint8_t*>(zero) - start);
      n.Name = r.String(len, "name");
      r.Skip(1, "name");
    }
    n.Flags = r.U32("name flags");
    Names.push_back(std::move(n));
  }

  const auto checkName = [&](int32_t index, const char* field) { r.CheckIndex(index, Names.size(), field); };

  SeekTable(r, exportCount, exportOffset, kMinExportRow, "export table");
  Exports.reserve(static_cast<size_t>(exportCount));
  for (int32_t i = 0; i < exportCount; ++i) {
    TExportTableData e;
    e.Class = ReadIndex(r, "export class");
    e.Super = ReadIndex(r, "export super");
    e.Package = r.I32("export package");
    e.ObjectName = ReadIndex(r, "export name");
    checkName(e.ObjectName, "export name");
    e.ObjectFlags = r.U32("export flags");
    e.SerialSize = ReadIndex(r, "export size");
    if (e.SerialSize < 0) r.Fail("export size is negative");
    if (e.SerialSize >= 1) {
      e.SerialOffset = ReadIndex(r, "export offset");
      if (e.SerialOffset < 0 ||
          static_cast<uint64_t>(e.SerialOffset) + static_cast<uint64_t>(e.SerialSize) > Data.size())
        r.Fail("the data of export " + std::to_string(i) + " lies outside the file");
    }
    Exports.push_back(std::move(e));
  }

  SeekTable(r, importCount, importOffset, kMinImportRow, "import table");
  Imports.reserve(static_cast<size_t>(importCount));
  for (int32_t i = 0; i < importCount; ++i) {
    TImportTableData m;
    m.ClassPackage = ReadIndex(r, "import class package");
    checkName(m.ClassPackage, "import class package");
    m.ClassName = ReadIndex(r, "import class name");
    checkName(m.ClassName, "import class name");
    m.Package = r.I32("import package");
    m.ObjectName = ReadIndex(r, "import name");
    checkName(m.ObjectName, "import name");
    Imports.push_back(std::move(m));
  }

  if (Version < UT_VERSION_GENERATIONS) {
    SeekTable(r, heritageCount, heritageOffset, kHeritageRow, "heritage table");
    for (int32_t i = 0; i < heritageCount; ++i) {
      TPackageGUID g;
      r.Read(g.data(), g.size(), "heritage GUID");
      Heritage.push_back(GUIDToString(g));
    }
  }
}

void TUTPackage::ResolveRows() {
  for (TImportTableData& m : Imports) {
    GetObjectPath(-1, m.Package, m.PackagePath);
    m.ObjectNameStr = GetName(m.ObjectName);
    m.ClassPackageStr = GetName(m.ClassPackage);
    m.ClassNameStr = GetName(m.ClassName);
  }
  for (size_t i = 0; i < Exports.size(); ++i) {
    TExportTableData& e = Exports[i];
    GetObjectPath(-1, e.Package, e.PackagePath);
    e.ObjectNameStr = GetName(e.ObjectName);
    GetObjectPath(1, e.Class, e.ClassNameStr);
    GetObjectPath(-1, e.Super, e.SuperPath);
    e.Obj = FindUTClass(e.ClassNameStr)(this, static_cast<int32_t>(i));
  }
}
