#include "packages/TexturePackage.h"

#include <charconv>
#include <filesystem>
#include <map>

#include "packages/MipMaps.h"
#include "packages/PackageTables.h"
#include "platform/Exceptions.h"
#include "platform/StrUtils.h"

namespace {
constexpr uint32_t kPackageObjectFlags = 0x00070004;
constexpr uint32_t kTextureObjectFlags = 0x000F0004;
// Fixed imports, in this order: Core, Engine, class Package, class Texture, class Palette.
constexpr int32_t kRefCore = -1, kRefEngine = -2, kRefClassPackage = -3, kRefClassTexture = -4, kRefClassPalette = -5;

void WriteByteProperty(TPackageTables& T, TStream& S, const char* Name, uint8_t Value) {
  WriteCompactIndex(S, T.NameIndex(Name));
  WritePropertyInfo(S, UT_PROPERTY_BYTE, 1);
  S.WriteU8(Value);
}
void WriteIntProperty(TPackageTables& T, TStream& S, const char* Name, int32_t Value) {
  WriteCompactIndex(S, T.NameIndex(Name));
  WritePropertyInfo(S, UT_PROPERTY_INT, 4);
  S.WriteI32(Value);
}

void WritePaletteExport(TPackageTables& T, const std::string& Name, int32_t SkinRef, const HPALETTE& Palette) {
  TObjetoExportado& e = T.AddExport(kRefClassPalette, SkinRef, Name, kPackageObjectFlags);
  WriteCompactIndex(e.Data, T.NameIndex("None"));
  WriteCompactIndex(e.Data, 256);
  for (const TPaletteEntry& p : PaletteEntries256(Palette)) {
    const uint8_t rgba[4] = {p.peRed, p.peGreen, p.peBlue, 0xFF};
    e.Data.WriteBuffer(rgba, 4);
  }
}

void WriteTextureData(TPackageTables& T, TObjetoExportado& e, const TBitmap& Bitmap, uint32_t SectionFlags,
                      int32_t PaletteRef, const std::vector<std::unique_ptr<TBitmap>>& Levels) {
  TStream& S = e.Data;
  const uint32_t w = static_cast<uint32_t>(Bitmap.Width()), h = static_cast<uint32_t>(Bitmap.Height());
  if (!(SectionFlags & mpLODSETWORLD)) WriteByteProperty(T, S, "LODSet", 2);
  WriteCompactIndex(S, T.NameIndex("Palette"));
  WritePropertyInfo(S, UT_PROPERTY_OBJECT, static_cast<uint32_t>(CompactIndexSize(PaletteRef)));
  WriteCompactIndex(S, PaletteRef);
  WriteByteProperty(T, S, "UBits", static_cast<uint8_t>(IntLog2(w)));
  WriteByteProperty(T, S, "VBits", static_cast<uint8_t>(IntLog2(h)));
  WriteIntProperty(T, S, "USize", static_cast<int32_t>(w));
  WriteIntProperty(T, S, "VSize", static_cast<int32_t>(h));
  WriteIntProperty(T, S, "UClamp", static_cast<int32_t>(w));
  WriteIntProperty(T, S, "VClamp", static_cast<int32_t>(h));
  WriteCompactIndex(S, T.NameIndex("None"));

  S.WriteU8(static_cast<uint8_t>(Levels.size()));
  for (const auto& level : Levels) {
    const int lw = level->Width(), lh = level->Height();
    const int64_t pixels = static_cast<int64_t>(lw) * lh;
    if (pixels > INT32_MAX) throw EConvertError("The texture is too large for a package");
    int64_t fixup = -1;
    if (T.Version() >= UT_VERSION_MIP_OFFSETS) {
      fixup = S.Position();
      S.WriteI32(0);
    }
    WriteCompactIndex(S, static_cast<int32_t>(pixels));
    for (int y = 0; y < lh; ++y) S.WriteBuffer(level->ScanLine(y), static_cast<size_t>(lw));
    if (fixup >= 0) {
      // Relative to the object's data for now; made absolute when the object is written.
      const int64_t after = S.Position();
      S.SetPosition(fixup);
      S.WriteI32(static_cast<int32_t>(after));
      S.SetPosition(after);
      e.MipFixups.push_back(fixup);
    }
    S.WriteI32(lw);
    S.WriteI32(lh);
    S.WriteU8(static_cast<uint8_t>(IntLog2(static_cast<uint32_t>(lw))));
    S.WriteU8(static_cast<uint8_t>(IntLog2(static_cast<uint32_t>(lh))));
  }
}

std::string IntDescription(std::string s) {
  // A double quote would end the .int value early.
  for (char& c : s)
    if (c == '"') c = '\'';
  return s;
}

bool ContainsNoCase(const std::vector<std::string>& List, const std::string& s) {
  for (const std::string& x : List)
    if (SameText(x, s)) return true;
  return false;
}
}  // namespace

void CheckTextureNamesUnique(const TPackageProject& Project) {
  // Names are shared without regard to letter case through the name table, so two textures
  // whose names differ only in case would be one object to the game too.
  std::map<std::string, std::string> seen;  // lower-cased name -> the texture that took it
  for (const TPackageSkin& skin : Project.Skins)
    for (const TPackageSkinSection& section : skin.Sections)
      for (const TPackageTexture& tex : section.Textures) {
        const std::string sectionText = std::to_string(section.Section);
        const std::string name = TextureObjectName(Project.Model, skin.Code, sectionText, tex.Identifier);
        const std::string where = "skin " + skin.Code + ", section " + sectionText +
                                  (tex.Identifier.empty() ? std::string() : ", texture " + tex.Identifier);
        const auto [it, added] = seen.emplace(LowerCase(name), where);
        if (!added)
          throw EConvertError("The textures of " + it->second + " and of " + where + " would both be named \"" + name +
                              "\" in the package, and the game could load only one of them. " +
                              "Change a face name or the model's naming templates.");
      }
}

std::string ExpandNameTemplate(const std::string& Template, const std::string& Skin, const std::string& Section,
                               int Team, const std::string& Face) {
  static const char* const kTeamNames[] = {"Red", "Blue", "Green", "Gold"};
  std::string result;
  size_t pos = 0;
  while (true) {
    const size_t open = Template.find('%', pos);
    if (open == std::string::npos) break;
    result.append(Template, pos, open - pos);
    const size_t close = Template.find('%', open + 1);
    const std::string key =
        UpperCase(Template.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1));
    if (key == "SKIN")
      result += Skin;
    else if (key == "SECTION")
      result += Section;
    else if (key == "TEAM")
      result += std::to_string(Team);
    else if (key == "TEAMNAME")
      result += (Team >= 0 && Team <= 3) ? kTeamNames[Team] : "";
    else if (key == "FACE")
      result += Face;
    if (close == std::string::npos) return result;
    pos = close + 1;
  }
  result.append(Template, pos, std::string::npos);
  return result;
}

uint32_t ModelSectionFlags(const TPackageModel& Model, int Section) {
  for (uint32_t f : Model.SectionFlags)
    if (static_cast<int>(f & mpSectionMask) == Section) return f;
  throw EListError("List index out of bounds (-1)");
}

std::string TextureObjectName(const TPackageModel& Model, const std::string& SkinCode, const std::string& SectionText,
                              const std::string& Identifier) {
  int section = -1;
  const auto [p, ec] = std::from_chars(SectionText.data(), SectionText.data() + SectionText.size(), section);
  if (ec != std::errc() || p != SectionText.data() + SectionText.size()) section = -1;
  const uint32_t flags = ModelSectionFlags(Model, section);
  const std::string id = UpperCase(Identifier);
  if (flags & mpTALKTEXTURE) return ExpandNameTemplate(Model.FormatTalk, SkinCode, SectionText, -1, Identifier);
  if (id.size() == 3 && id[0] == 'T' && id[1] == '_' && id[2] >= '0' && id[2] <= '3')
    return ExpandNameTemplate(Model.FormatTeam, SkinCode, SectionText, id[2] - '0', Identifier);
  if (!Identifier.empty()) return ExpandNameTemplate(Model.FormatFace, SkinCode, SectionText, -1, Identifier);
  return ExpandNameTemplate(Model.FormatDefault, SkinCode, SectionText, -1, "");
}

std::string TCompiledPackage::IntText() const {
  std::string s;
  for (const std::string& l : IntLines) s += l + "\r\n";
  return s;
}

TCompiledPackage BuildTexturePackage(const TPackageProject& Project, const TPackageGUID& GUID) {
  TCompiledPackage out;
  out.PackageName = std::filesystem::path(Project.ProjectFileName).stem().string();
  out.IntLines.push_back("[Public]");

  TPackageTables T(Project.PackageVersion);
  T.NameIndex(out.PackageName);
  T.AddImport("Core", "Package", 0, "Core");
  T.AddImport("Core", "Package", 0, "Engine");
  T.AddImport("Core", "Class", kRefCore, "Package");
  T.AddImport("Core", "Class", kRefEngine, "Texture");
  T.AddImport("Core", "Class", kRefEngine, "Palette");

  CheckTextureNamesUnique(Project);
  const int mode = Project.Options.ReducePalettes;
  int paletteCounter = 0;
  // The export of the shared palette group (one per skin or one for the package) and its palette.
  int32_t groupRef = 0;
  HPALETTE groupPalette;

  for (const TPackageSkin& skin : Project.Skins) {
    if (mode == pgPerSkin) {
      groupRef = 0;
      groupPalette.reset();
    }
    std::vector<std::string> usedDescriptions;
    TObjetoExportado& skinExport = T.AddExport(kRefClassPackage, 0, skin.Code, kPackageObjectFlags);
    WriteCompactIndex(skinExport.Data, T.NameIndex("None"));
    const int32_t skinRef = T.ExportCount();
    bool firstTexture = true;

    for (const TPackageSkinSection& section : skin.Sections) {
      const uint32_t flags = ModelSectionFlags(Project.Model, section.Section);
      const std::string sectionText = std::to_string(section.Section);
      for (const TPackageTexture& tex : section.Textures) {
        if (!tex.Bitmap || tex.Bitmap->Empty())
          throw EInvalidGraphicOperation("A texture of skin " + skin.Code + ", section " + sectionText + " is empty");
        if (PaletteEntryCount(tex.Palette) == 0)
          throw EInvalidGraphicOperation("A texture of skin " + skin.Code + ", section " + sectionText +
                                         " has no palette");
        const bool oneMip = (flags & mpONEMIPMAP) || Project.Options.OneMipMap;
        const int count = MipLevelCount(tex.Bitmap->Width(), tex.Bitmap->Height(), oneMip);
        std::vector<std::unique_ptr<TBitmap>> levels = MakeMipMaps(*tex.Bitmap, count, tex.Palette);

        // One palette export per distinct palette. In a shared group an 8-bit texture that
        // kept its own palette (or any texture whose palette is not the group's) gets one of
        // its own; writing it under the group's palette would show wrong colours in the game.
        int32_t paletteRef = 0;
        const bool sharedGroup = mode == pgPerSkin || mode == pgPerPackage;
        const bool ownPalette = tex.Bitmap->PixelFormat() == TPixelFormat::pf8bit ||
                                (groupRef != 0 && !SamePaletteColors(groupPalette, tex.Palette));
        if (sharedGroup && !ownPalette && groupRef != 0) {
          paletteRef = groupRef;
        } else {
          ++paletteCounter;
          std::string name = "Palette" + std::to_string(paletteCounter);
          if (sharedGroup && !ownPalette) name = mode == pgPerSkin ? "Palette_" + skin.Code : "Palette_All";
          WritePaletteExport(T, name, skinRef, tex.Palette);
          paletteRef = T.ExportCount();
          if (sharedGroup && !ownPalette) {
            groupRef = paletteRef;
            groupPalette = tex.Palette;
          }
        }

        const std::string objectName = TextureObjectName(Project.Model, skin.Code, sectionText, tex.Identifier);
        TObjetoExportado& texExport = T.AddExport(kRefClassTexture, skinRef, objectName, kTextureObjectFlags);
        WriteTextureData(T, texExport, *tex.Bitmap, flags, paletteRef, levels);

        std::string description = tex.Description;
        if (tex.Identifier.empty() && firstTexture) description = skin.Description;
        if (ContainsNoCase(usedDescriptions, description))
          description.clear();
        else
          usedDescriptions.push_back(description);
        if (!(flags & mpNOINT)) {
          if (description.empty())
            out.IntLines.push_back("Object=(Name=" + out.PackageName + "." + objectName + ",Class=Texture)");
          else
            out.IntLines.push_back("Object=(Name=" + out.PackageName + "." + objectName +
                                   ",Class=Texture,Description=\"" + IntDescription(description) + "\")");
        }
        firstTexture = false;
      }
    }
  }

  uint32_t packageFlags = Project.Options.NotAllowDownload ? 0u : 0x1u;
  if (Project.Options.ClientOptional) packageFlags |= 0x2u;
  TMemoryStream file;
  T.SaveToStream(file, packageFlags, GUID);
  out.Utx = file.Bytes();
  return out;
}
