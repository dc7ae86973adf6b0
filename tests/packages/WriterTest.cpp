// The texture package writer: names, exports, properties, levels, palettes, .int lines and
// the header, read back through the package reader.
#include <gtest/gtest.h>

#include "packages/MipMaps.h"
#include "packages/TexturePackage.h"
#include "platform/Exceptions.h"
#include "tests/packages/PackageReadBack.h"

using namespace pkgtest;

namespace {
class Writer : public ::testing::Test {
 protected:
  void SetUp() override { RegisterTextureClass(); }
};

int32_t ExportIndexOf(const TUTPackage& p, const std::string& name) {
  for (size_t i = 0; i < p.Exports.size(); ++i)
    if (p.Exports[i].ObjectNameStr == name) return static_cast<int32_t>(i);
  return -1;
}

// The export name a texture's Palette property refers to.
std::string PaletteOf(TUTPackage& p, int32_t texture) {
  for (const TUTProperty& prop : ReadProps(p, texture).Properties)
    if (prop.Name == "Palette") return p.GetExport(prop.Value - 1).ObjectNameStr;
  return "";
}

uint32_t U32At(const std::vector<uint8_t>& d, size_t at) {
  return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (static_cast<uint32_t>(d[at + 3]) << 24);
}
}  // namespace

TEST_F(Writer, OneSkinExample) {
  TProjectFixture f = OneSkinExample();
  const TCompiledPackage c = BuildTexturePackage(f.Project);
  auto p = LoadWritten(c, "example");
  EXPECT_EQ(NameList(*p), (std::vector<std::string>{"SkinPack", "Core", "Package", "Engine", "Class", "Texture",
                                                    "Palette", "ABCD", "None", "Palette1", "ABCD1", "LODSet", "UBits",
                                                    "VBits", "USize", "VSize", "UClamp", "VClamp"}));
  EXPECT_EQ(p->Names[8].Flags, 0x04070410u);   // None
  EXPECT_EQ(p->Names[1].Flags, 0x04070010u);   // Core
  EXPECT_EQ(p->Names[10].Flags, 0x00070010u);  // the texture
  EXPECT_EQ(p->Version, 68);
  EXPECT_EQ(p->PackageFlags, 1u);
  EXPECT_TRUE(p->Heritage.empty());

  ASSERT_EQ(p->Imports.size(), 5u);
  const char* importNames[] = {"Core", "Engine", "Package", "Texture", "Palette"};
  const int32_t importPackages[] = {0, 0, -1, -2, -2};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(p->Imports[i].ObjectNameStr, importNames[i]);
    EXPECT_EQ(p->Imports[i].ClassPackageStr, "Core");
    EXPECT_EQ(p->Imports[i].ClassNameStr, i < 2 ? "Package" : "Class");
    EXPECT_EQ(p->Imports[i].Package, importPackages[i]);
  }
  EXPECT_EQ(p->Imports[3].PackagePath, "Engine");

  ASSERT_EQ(p->Exports.size(), 3u);
  EXPECT_EQ(p->Exports[0].ObjectNameStr, "ABCD");
  EXPECT_EQ(p->Exports[0].Class, -3);
  EXPECT_EQ(p->Exports[0].Package, 0);
  EXPECT_EQ(p->Exports[0].ObjectFlags, 0x00070004u);
  EXPECT_EQ(p->Exports[1].ObjectNameStr, "Palette1");
  EXPECT_EQ(p->Exports[1].ClassNameStr, "Palette");
  EXPECT_EQ(p->Exports[1].Package, 1);
  EXPECT_EQ(p->Exports[2].ObjectNameStr, "ABCD1");
  EXPECT_EQ(p->Exports[2].ClassNameStr, "Texture");
  EXPECT_EQ(p->Exports[2].PackagePath, "ABCD");
  EXPECT_EQ(p->Exports[2].ObjectFlags, 0x000F0004u);
  for (const TExportTableData& e : p->Exports) EXPECT_EQ(e.Super, 0);
  EXPECT_EQ(p->FindExport("abcd1", "TEXTURE"), 2);

  EXPECT_EQ(PropertyTexts(ReadProps(*p, 2)),
            (std::vector<std::string>{"LODSet = 2 (LODSET_Skin)", "Palette = 2 (Palette1)", "UBits = 8 (0x08)",
                                      "VBits = 8 (0x08)", "USize = 256 (0x00000100)", "VSize = 256 (0x00000100)",
                                      "UClamp = 256 (0x00000100)", "VClamp = 256 (0x00000100)", "None"}));
  const auto levels = ReadLevels(*p, 2);
  ASSERT_EQ(levels.size(), 9u);
  for (size_t i = 0; i < levels.size(); ++i) {
    EXPECT_EQ(levels[i].Width, 256 >> i);
    EXPECT_EQ(levels[i].Height, 256 >> i);
    EXPECT_EQ(levels[i].UBits, 8 - static_cast<int>(i));
    EXPECT_EQ(levels[i].PixelCount, (256 >> i) * (256 >> i));
  }
  EXPECT_EQ(c.IntLines,
            (std::vector<std::string>{"[Public]",
                                      "Object=(Name=SkinPack.ABCD1,Class=Texture,Description=\"My Skin\")"}));
}

TEST_F(Writer, LevelCountsAndOptions) {
  TProjectFixture f = OneSkinExample();
  f.Project.Model = TwoSectionModel(0, mpONEMIPMAP | mpLODSETWORLD);
  f.AddTexture(1, Texture24(256, 64), CubePalette(), "t_0");
  f.AddTexture(2, Texture24(64, 64), CubePalette());
  auto p = LoadWritten(BuildTexturePackage(f.Project), "levels");
  const int32_t wide = ExportIndexOf(*p, "ABCD1T_0"), one = ExportIndexOf(*p, "ABCD2");
  ASSERT_GE(wide, 0);
  ASSERT_GE(one, 0);
  const auto levels = ReadLevels(*p, wide);
  ASSERT_EQ(levels.size(), 7u);
  EXPECT_EQ(levels.back().Width, 4);
  EXPECT_EQ(levels.back().Height, 1);
  EXPECT_EQ(levels[0].VBits, 6);
  EXPECT_EQ(ReadLevels(*p, one).size(), 1u);
  // A LODSETWORLD section's texture has no LODSet property at all.
  const auto texts = PropertyTexts(ReadProps(*p, one));
  EXPECT_EQ(texts.front().rfind("Palette = ", 0), 0u) << texts.front();

  // "Create just one mipmap" applies to every texture.
  f.Project.Options.OneMipMap = true;
  auto q = LoadWritten(BuildTexturePackage(f.Project), "onemip");
  for (const char* name : {"ABCD1", "ABCD1T_0"}) EXPECT_EQ(ReadLevels(*q, ExportIndexOf(*q, name)).size(), 1u);

  // Non-square sizes that are not powers of two take the floor of log2.
  TProjectFixture g = OneSkinExample();
  g.Project.Skins[0].Sections[0].Textures.clear();
  g.AddTexture(1, Texture24(100, 300), CubePalette());
  auto r = LoadWritten(BuildTexturePackage(g.Project), "npot");
  const auto npot = ReadLevels(*r, 2);
  ASSERT_EQ(npot.size(), 7u);
  EXPECT_EQ(npot[0].UBits, 6);
  EXPECT_EQ(npot[0].VBits, 8);
  EXPECT_EQ(npot[6].Width, 1);
  EXPECT_EQ(npot[6].Height, 4);
}

TEST_F(Writer, PackageFlagsFollowTheOptions) {
  TProjectFixture f = OneSkinExample();
  const auto flagsOf = [&](bool noDownload, bool optional) {
    f.Project.Options.NotAllowDownload = noDownload;
    f.Project.Options.ClientOptional = optional;
    return U32At(BuildTexturePackage(f.Project).Utx, 8);
  };
  EXPECT_EQ(flagsOf(false, false), 1u);
  EXPECT_EQ(flagsOf(true, false), 0u);
  EXPECT_EQ(flagsOf(false, true), 3u);
  EXPECT_EQ(flagsOf(true, true), 2u);
}

TEST_F(Writer, PaletteExportsPerTexturePerSkinAndPerPackage) {
  TProjectFixture f;
  f.Project.ProjectFileName = "/tmp/Pals.cvp";
  f.Project.Model = TwoSectionModel();
  HPALETTE a = CubePalette(), b = RampPalette(1);
  f.AddSkin("ABCD", "One");
  f.AddTexture(1, Texture24(32, 32), a);
  f.AddTexture(2, Texture24(32, 32, 1), a);
  f.AddSkin("EFGH", "Two");
  f.AddTexture(1, Texture24(32, 32, 2), b);

  f.Project.Options.ReducePalettes = pgPerTexture;
  auto p = LoadWritten(BuildTexturePackage(f.Project), "pertexture");
  EXPECT_EQ(PaletteOf(*p, ExportIndexOf(*p, "ABCD1")), "Palette1");
  EXPECT_EQ(PaletteOf(*p, ExportIndexOf(*p, "ABCD2")), "Palette2");
  EXPECT_EQ(PaletteOf(*p, ExportIndexOf(*p, "EFGH1")), "Palette3");

  f.Project.Options.ReducePalettes = pgPerSkin;
  p = LoadWritten(BuildTexturePackage(f.Project), "perskin");
  EXPECT_EQ(PaletteOf(*p, ExportIndexOf(*p, "ABCD1")), "Palette_ABCD");
  EXPECT_EQ(PaletteOf(*p, ExportIndexOf(*p, "ABCD2")), "Palette_ABCD");
  EXPECT_EQ(PaletteOf(*p, ExportIndexOf(*p, "EFGH1")), "Palette_EFGH");
  EXPECT_EQ(p->Exports[ExportIndexOf(*p, "Palette_EFGH")].PackagePath, "EFGH");
  EXPECT_EQ(ExportIndexOf(*p, "Palette1"), -1);

  // One for the whole package: every texture shares the first skin's export.
  f.Project.Skins[1].Sections[0].Textures[0].Palette = a;
  f.Project.Options.ReducePalettes = pgPerPackage;
  p = LoadWritten(BuildTexturePackage(f.Project), "perpackage");
  for (const char* t : {"ABCD1", "ABCD2", "EFGH1"}) EXPECT_EQ(PaletteOf(*p, ExportIndexOf(*p, t)), "Palette_All");
  EXPECT_EQ(p->Exports[ExportIndexOf(*p, "Palette_All")].PackagePath, "ABCD");
  int palettes = 0;
  for (const auto& e : p->Exports) palettes += e.ClassNameStr == "Palette";
  EXPECT_EQ(palettes, 1);
}

TEST_F(Writer, EightBitTextureKeepsItsPaletteAndIndicesInASharedGroup) {
  TProjectFixture f;
  f.Project.ProjectFileName = "/tmp/Masked.cvp";
  f.Project.Model = TwoSectionModel();
  f.Project.Options.ReducePalettes = pgPerSkin;
  HPALETTE group = CubePalette(), own = RampPalette(9);
  f.AddSkin("ABCD", "One");
  f.AddTexture(1, Texture24(16, 16), group);
  f.AddTexture(2, Texture8(16, 8, own), own, "Face");
  const TBitmap& eight = *f.Bitmaps.back();
  f.AddTexture(2, Texture24(16, 16, 3), group, "Other");

  auto p = LoadWritten(BuildTexturePackage(f.Project), "masked");
  const int32_t masked = ExportIndexOf(*p, "ABCD2Face");
  EXPECT_EQ(PaletteOf(*p, ExportIndexOf(*p, "ABCD1")), "Palette_ABCD");
  EXPECT_EQ(PaletteOf(*p, ExportIndexOf(*p, "ABCD2Other")), "Palette_ABCD");
  const std::string ownExport = PaletteOf(*p, masked);
  EXPECT_EQ(ownExport, "Palette2");

  // The own export holds the texture's palette.
  const int32_t pal = ExportIndexOf(*p, ownExport);
  auto& palObj = dynamic_cast<TUTPalette&>(*p->GetExport(pal).Obj);
  palObj.ReadObject();
  EXPECT_EQ(palObj.ColorCount, 256);
  p->Open();
  p->Seek(p->GetExport(pal).SerialOffset + palObj.PropertiesEnd);
  for (int i = 0; i < 256; ++i) {
    uint8_t rgba[4];
    p->Read(rgba, 4);
    EXPECT_EQ(rgba[0], own->Entries[i].peRed);
    EXPECT_EQ(rgba[1], own->Entries[i].peGreen);
    EXPECT_EQ(rgba[2], own->Entries[i].peBlue);
    EXPECT_EQ(rgba[3], 0xFF);
  }
  p->Close();

  // Its indices are kept: level 0 is the bitmap, each smaller level every second pixel.
  const auto levels = ReadLevels(*p, masked);
  ASSERT_EQ(levels.size(), 4u);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(levels[0].Pixels[y * 16 + x], eight.ScanLine(y)[x]);
  for (size_t l = 1; l < levels.size(); ++l)
    for (int y = 0; y < levels[l].Height; ++y)
      for (int x = 0; x < levels[l].Width; ++x)
        ASSERT_EQ(levels[l].Pixels[y * levels[l].Width + x],
                  levels[l - 1].Pixels[(2 * y) * levels[l - 1].Width + 2 * x]);
}

TEST_F(Writer, IntFileDescriptions) {
  TProjectFixture f;
  f.Project.ProjectFileName = "/tmp/Desc.cvp";
  f.Project.Model = TwoSectionModel(0, mpNOINT);
  f.AddSkin("ABCD", "Say \"hi\"");
  f.AddTexture(1, Texture24(8, 8), CubePalette());
  f.AddTexture(1, Texture24(8, 8), CubePalette(), "Face1", "Hero");
  f.AddTexture(1, Texture24(8, 8), CubePalette(), "Face2", "HERO");
  f.AddTexture(2, Texture24(8, 8), CubePalette(), "Face3", "Hidden");
  f.AddSkin("EFGH", "Other");
  f.AddTexture(1, Texture24(8, 8), CubePalette(), "Face1", "hero");
  f.AddTexture(1, Texture24(8, 8), CubePalette());  // not the first: no description
  const TCompiledPackage c = BuildTexturePackage(f.Project);
  EXPECT_EQ(c.IntLines,
            (std::vector<std::string>{"[Public]", "Object=(Name=Desc.ABCD1,Class=Texture,Description=\"Say 'hi'\")",
                                      "Object=(Name=Desc.ABCD1Face1,Class=Texture,Description=\"Hero\")",
                                      "Object=(Name=Desc.ABCD1Face2,Class=Texture)",
                                      "Object=(Name=Desc.EFGH1Face1,Class=Texture,Description=\"hero\")",
                                      "Object=(Name=Desc.EFGH1,Class=Texture)"}));
  EXPECT_EQ(c.IntText().substr(0, 10), "[Public]\r\n");
  EXPECT_EQ(c.IntText().substr(c.IntText().size() - 2), "\r\n");
}

TEST_F(Writer, RefusesWhatItCannotWriteFaithfully) {
  TProjectFixture f = OneSkinExample();
  f.Project.Skins[0].Code = std::string(253, 'C');  // the texture's name has 254 characters
  EXPECT_NO_THROW(BuildTexturePackage(f.Project));
  f.Project.Skins[0].Code = std::string(254, 'C');
  EXPECT_THROW(BuildTexturePackage(f.Project), EConvertError);
  // Below version 64 names have no length byte, so the limit does not apply.
  f.Project.PackageVersion = 63;
  EXPECT_NO_THROW(BuildTexturePackage(f.Project));

  TProjectFixture g = OneSkinExample();
  g.Project.Skins[0].Sections[0].Section = 5;
  EXPECT_THROW(BuildTexturePackage(g.Project), EListError);
  TProjectFixture h = OneSkinExample();
  h.Project.Skins[0].Sections[0].Textures[0].Palette.reset();
  EXPECT_THROW(BuildTexturePackage(h.Project), Exception);
  TProjectFixture k = OneSkinExample();
  k.Bitmaps[0]->SetSize(0, 0);
  EXPECT_THROW(BuildTexturePackage(k.Project), Exception);
}

TEST_F(Writer, OffsetsAndSizesMatchTheFile) {
  for (int32_t version : {61, 63, 64, 68}) {
    TProjectFixture f = OneSkinExample(version);
    f.AddTexture(1, Texture24(64, 32), CubePalette(), "t_1");
    const TCompiledPackage c = BuildTexturePackage(f.Project);
    auto p = LoadWritten(c, "offsets" + std::to_string(version));
    const auto& d = c.Utx;
    const uint32_t nameOffset = U32At(d, 16), exportOffset = U32At(d, 24), importOffset = U32At(d, 32);
    EXPECT_EQ(nameOffset, version >= 68 ? 64u : 60u) << version;
    if (version < 68) {
      EXPECT_EQ(U32At(d, 40), 44u);
    }
    // Object data follows the name table without a gap, export after export.
    int64_t expected = p->Exports[0].SerialOffset;
    for (const TExportTableData& e : p->Exports) {
      EXPECT_EQ(e.SerialOffset, expected) << e.ObjectNameStr;
      expected += e.SerialSize;
    }
    EXPECT_EQ(static_cast<uint32_t>(expected), importOffset);
    EXPECT_LT(importOffset, exportOffset);
    for (const char* name : {"ABCD1", "ABCD1T_1"}) {
      for (const TReadLevel& l : ReadLevels(*p, ExportIndexOf(*p, name))) {
        if (version >= 63) {
          EXPECT_EQ(l.OffsetField, l.PixelsEnd) << name << " v" << version;
        } else {
          EXPECT_EQ(l.OffsetField, -1);
        }
        EXPECT_EQ(l.PixelCount, l.Width * l.Height);
      }
    }
  }
}

TEST_F(Writer, TwoTexturesWithOneNameAreRefused) {
  const auto messageOf = [](const TPackageProject& p) -> std::string {
    try {
      BuildTexturePackage(p);
    } catch (const EConvertError& e) {
      return e.Message;
    }
    return "";
  };
  // A default template without the section number names both sections' textures alike.
  TProjectFixture f = OneSkinExample();
  f.Project.Model.FormatDefault = "%SKIN%_tex";
  f.AddTexture(2, Texture24(8, 8), CubePalette());
  const std::string m = messageOf(f.Project);
  EXPECT_NE(m.find("skin ABCD, section 1 and of skin ABCD, section 2"), std::string::npos) << m;
  EXPECT_NE(m.find("\"ABCD_tex\""), std::string::npos) << m;

  // Names meet in the name table without regard to letter case: faces "Face" and "FACE" clash.
  TProjectFixture g = OneSkinExample();
  g.AddTexture(1, Texture24(8, 8), CubePalette(), "Face");
  g.AddTexture(1, Texture24(8, 8), CubePalette(), "FACE");
  EXPECT_NE(messageOf(g.Project).find("texture FACE"), std::string::npos);

  // A template without the skin code makes the skins clash with each other.
  TProjectFixture h = OneSkinExample();
  h.Project.Model.FormatDefault = "Body%SECTION%";
  h.AddSkin("EFGH", "Other");
  h.AddTexture(1, Texture24(8, 8), CubePalette());
  EXPECT_NE(messageOf(h.Project).find("skin EFGH, section 1"), std::string::npos);
  h.Project.Skins[1].Sections[0].Section = 2;  // now Body1 and Body2
  EXPECT_EQ(messageOf(h.Project), "");
}

// Readers that skip a property by the size in its tag (as independent viewers do) must land
// on the next property: an object reference of 64 or more takes two bytes of compact index,
// which from the 32nd texture with its own palette on is the Palette property's case.
TEST_F(Writer, EveryPropertyTagGivesTheSizeOfItsValue) {
  TProjectFixture f = OneSkinExample();
  for (int i = 1; i < 100; ++i) f.AddTexture(1, Texture24(4, 4, i), RampPalette(i), "face" + std::to_string(i));
  const TCompiledPackage c = BuildTexturePackage(f.Project);
  auto p = LoadWritten(c, "hundred");
  const std::vector<std::string> expected = {"LODSet", "Palette", "UBits",  "VBits", "USize",
                                             "VSize",  "UClamp",  "VClamp", "None"};
  int textures = 0;
  for (int32_t i = 0; i < static_cast<int32_t>(p->Exports.size()); ++i) {
    const TExportTableData& e = p->Exports[static_cast<size_t>(i)];
    if (e.ClassNameStr != "Texture") continue;
    ++textures;
    const uint8_t* d = c.Utx.data() + e.SerialOffset;
    const size_t size = static_cast<size_t>(e.SerialSize);
    size_t at = 0;
    std::vector<std::string> names;
    int32_t paletteRef = 0;
    while (at < size) {
      int32_t name = 0;
      at += static_cast<size_t>(DecodeCompactIndex(d + at, size - at, name));
      ASSERT_TRUE(name >= 0 && name < static_cast<int32_t>(p->Names.size())) << e.ObjectNameStr;
      names.push_back(p->Names[static_cast<size_t>(name)].Name);
      if (names.back() == "None") break;
      const uint8_t info = d[at++];
      static const size_t kCoded[] = {1, 2, 4, 12, 16};
      const int code = (info >> 4) & 7;
      size_t valueSize = code < 5 ? kCoded[code] : 0;
      if (code == 5) valueSize = d[at++];
      ASSERT_LT(code, 6) << "no property of a texture needs a wider size field";
      if (names.back() == "Palette") {
        int32_t ref = 0;
        EXPECT_EQ(static_cast<size_t>(DecodeCompactIndex(d + at, size - at, ref)), valueSize) << e.ObjectNameStr;
        paletteRef = ref;
      }
      at += valueSize;
    }
    ASSERT_EQ(names, expected) << e.ObjectNameStr;
    ASSERT_GT(paletteRef, 0);
    EXPECT_EQ(p->GetExport(paletteRef - 1).ClassNameStr, "Palette") << e.ObjectNameStr;
    // Our own reader agrees on the reference.
    EXPECT_EQ(PaletteOf(*p, i), p->GetExport(paletteRef - 1).ObjectNameStr);
  }
  EXPECT_EQ(textures, 100);
}
