#include "packages/PackageTables.h"

#include <limits>

#include "platform/Exceptions.h"
#include "platform/StrUtils.h"

int32_t TPackageTables::NameIndex(const std::string& Name, uint32_t Flags) {
  std::string key = LowerCase(Name);
  auto it = FNameLookup.find(key);
  if (it != FNameLookup.end()) return it->second;
  // The length byte counts the terminating zero; a longer name would corrupt the table.
  if (FVersion >= UT_VERSION_NAME_LENGTH && Name.size() > UT_MAX_NAME_LENGTH)
    throw EConvertError("The name \"" + Name + "\" is longer than " + std::to_string(UT_MAX_NAME_LENGTH) +
                        " characters and cannot be stored in a package");
  if (Name.find('\0') != std::string::npos) throw EConvertError("A package name cannot contain a zero byte");
  const int32_t index = static_cast<int32_t>(Names.size());
  Names.push_back({Name, Flags != 0 ? Flags : DefaultNameFlags(Name)});
  FNameLookup.emplace(std::move(key), index);
  return index;
}

int32_t TPackageTables::ImportRef(const std::string& Name) {
  const int32_t n = NameIndex(Name);
  for (size_t i = 0; i < Imports.size(); ++i)
    if (Imports[i].ObjectName == n) return ImportRefOf(static_cast<int32_t>(i));
  return 0;
}

int32_t TPackageTables::AddImport(const std::string& ClassPackage, const std::string& ClassName, int32_t Package,
                                  const std::string& ObjectName) {
  TObjetoImportado row;
  row.ClassPackage = NameIndex(ClassPackage);
  row.ClassName = NameIndex(ClassName);
  row.Package = Package;
  row.ObjectName = NameIndex(ObjectName);
  Imports.push_back(row);
  return ImportRefOf(static_cast<int32_t>(Imports.size() - 1));
}

TObjetoExportado& TPackageTables::AddExport(int32_t Class, int32_t Package, const std::string& ObjectName,
                                            uint32_t ObjectFlags) {
  auto row = std::make_unique<TObjetoExportado>();
  row->Class = Class;
  row->Package = Package;
  row->ObjectName = NameIndex(ObjectName);
  row->ObjectFlags = ObjectFlags;
  Exports.push_back(std::move(row));
  return *Exports.back();
}

namespace {
int32_t CheckedOffset(int64_t Position) {
  if (Position < 0 || Position > std::numeric_limits<int32_t>::max())
    throw EWriteError("The package is too large (more than 2 GB)");
  return static_cast<int32_t>(Position);
}
}  // namespace

void TPackageTables::SaveToStream(TStream& S, uint32_t PackageFlags, const TPackageGUID& GUID) {
  const int64_t base = S.Position();
  TPackageHeader h;
  h.Version = FVersion;
  h.PackageFlags = PackageFlags;
  h.NameCount = static_cast<int32_t>(Names.size());
  h.ExportCount = static_cast<int32_t>(Exports.size());
  h.ImportCount = static_cast<int32_t>(Imports.size());
  h.GUID = GUID;
  h.GenerationCount = 1;
  h.HeritageCount = 1;
  WritePackageHeader(S, h);  // offsets are placeholders for now
  if (FVersion < UT_VERSION_GENERATIONS) {
    h.HeritageOffset = CheckedOffset(S.Position() - base);
    S.WriteBuffer(GUID.data(), GUID.size());
  }

  h.NameOffset = CheckedOffset(S.Position() - base);
  for (const TPackageName& n : Names) {
    if (FVersion >= UT_VERSION_NAME_LENGTH) S.WriteU8(static_cast<uint8_t>(n.Name.size() + 1));
    S.WriteBuffer(n.Name.c_str(), n.Name.size() + 1);
    S.WriteU32(n.Flags);
  }

  for (auto& e : Exports) {
    e->SerialOffset = CheckedOffset(S.Position() - base);
    e->SerialSize = CheckedOffset(static_cast<int64_t>(e->Data.Bytes().size()));
    uint8_t* d = e->Data.Memory();
    for (int64_t at : e->MipFixups) {
      if (at < 0 || at + 4 > e->SerialSize) throw EWriteError("Mip offset outside the texture data");
      int64_t v =
          static_cast<int64_t>(static_cast<uint32_t>(d[at]) | (static_cast<uint32_t>(d[at + 1]) << 8) |
                               (static_cast<uint32_t>(d[at + 2]) << 16) | (static_cast<uint32_t>(d[at + 3]) << 24));
      const uint32_t abs = static_cast<uint32_t>(CheckedOffset(v + e->SerialOffset));
      for (int k = 0; k < 4; ++k) d[at + k] = static_cast<uint8_t>(abs >> (8 * k));
    }
    e->MipFixups.clear();  // applied once; the rows are not written twice
    S.WriteBuffer(d, e->Data.Bytes().size());
  }

  h.ImportOffset = CheckedOffset(S.Position() - base);
  for (const TObjetoImportado& i : Imports) {
    WriteCompactIndex(S, i.ClassPackage);
    WriteCompactIndex(S, i.ClassName);
    S.WriteI32(i.Package);
    WriteCompactIndex(S, i.ObjectName);
  }

  h.ExportOffset = CheckedOffset(S.Position() - base);
  for (const auto& e : Exports) {
    WriteCompactIndex(S, e->Class);
    WriteCompactIndex(S, e->Super);
    S.WriteI32(e->Package);
    WriteCompactIndex(S, e->ObjectName);
    S.WriteU32(e->ObjectFlags);
    WriteCompactIndex(S, e->SerialSize);
    // Readers expect no offset for an object without data.
    if (e->SerialSize > 0) WriteCompactIndex(S, e->SerialOffset);
  }
  const int64_t end = S.Position();

  S.SetPosition(base);
  WritePackageHeader(S, h);
  S.SetPosition(end);
}
