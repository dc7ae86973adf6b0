// Every package the writer makes reads back through our reader with the same tables,
// properties, palettes and mip levels, in each package version the writer knows.
#include <gtest/gtest.h>

#include <cstring>

#include "packages/MipMaps.h"
#include "packages/TexturePackage.h"
#include "tests/packages/PackageReadBack.h"

using namespace pkgtest;

namespace {
TProjectFixture MixedProject(int32_t Version) {
  TProjectFixture f;
  f.Project.ProjectFileName = "/tmp/Mixed.cvp";
  f.Project.PackageVersion = Version;
  f.Project.Model = TwoSectionModel(mpLODSETWORLD, 0);
  f.Project.Options.ReducePalettes = pgPerSkin;
  HPALETTE a = CubePalette(), b = RampPalette(3), own = RampPalette(77);
  f.AddSkin("ABCD", "First skin");
  f.AddTexture(1, Texture24(64, 64), a);
  f.AddTexture(1, Texture24(64, 64, 1), a, "t_0");
  f.AddTexture(2, Texture8(32, 16, own), own, "Mask", "Masked face");
  f.AddSkin("EFGH", "Second skin");
  f.AddTexture(2, Texture24(128, 32, 2), b, "t_3");
  f.AddTexture(2, Texture24(3, 5, 4), b, "Tiny");
  return f;
}

class RoundTrip : public ::testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override { RegisterTextureClass(); }
};
}  // namespace

TEST_P(RoundTrip, TablesPropertiesPalettesAndLevels) {
  const int32_t version = GetParam();
  TProjectFixture f = MixedProject(version);
  TPackageGUID guid{};
  for (int i = 0; i < 16; ++i) guid[i] = static_cast<uint8_t>(0xA0 + i);
  const TCompiledPackage c = BuildTexturePackage(f.Project, guid);
  auto p = LoadWritten(c, "mixed" + std::to_string(version));

  EXPECT_EQ(p->Version, version);
  if (version < 68) {
    EXPECT_EQ(p->Heritage, (std::vector<std::string>{GUIDToString(guid)}));
  } else {
    EXPECT_TRUE(p->Heritage.empty());
  }
  ASSERT_GE(p->Names.size(), 9u);
  EXPECT_EQ(p->Names[0].Name, "Mixed");
  EXPECT_EQ(p->Names[7].Name, "ABCD");
  for (const TUTName& n : p->Names) EXPECT_EQ(n.Flags, DefaultNameFlags(n.Name)) << n.Name;

  // Every texture of the description, in order, with its palette and levels.
  std::vector<const TPackageTexture*> textures;
  std::vector<uint32_t> sectionFlags;
  std::vector<std::string> names;
  for (const TPackageSkin& s : f.Project.Skins)
    for (const TPackageSkinSection& sec : s.Sections)
      for (const TPackageTexture& t : sec.Textures) {
        textures.push_back(&t);
        sectionFlags.push_back(ModelSectionFlags(f.Project.Model, sec.Section));
        names.push_back(TextureObjectName(f.Project.Model, s.Code, std::to_string(sec.Section), t.Identifier));
      }
  int texturesFound = 0;
  for (int32_t i = 0; i < p->GetExportCount(); ++i) {
    const TExportTableData& e = p->GetExport(i);
    if (e.ClassNameStr != "Texture") continue;
    ASSERT_LT(texturesFound, static_cast<int>(textures.size()));
    const TPackageTexture& t = *textures[texturesFound];
    EXPECT_EQ(e.ObjectNameStr, names[texturesFound]);

    TUTObjectWithProperties& props = ReadProps(*p, i);
    const std::vector<std::string> texts = PropertyTexts(props);
    const bool world = sectionFlags[texturesFound] & mpLODSETWORLD;
    ASSERT_EQ(texts.size(), world ? 8u : 9u);
    if (!world) {
      EXPECT_EQ(texts[0], "LODSet = 2 (LODSET_Skin)");
    }
    const int w = t.Bitmap->Width(), h = t.Bitmap->Height();
    char buf[64];
    std::snprintf(buf, sizeof buf, "USize = %d (0x%08X)", w, w);
    EXPECT_EQ(texts[texts.size() - 5], buf);
    std::snprintf(buf, sizeof buf, "VClamp = %d (0x%08X)", h, h);
    EXPECT_EQ(texts[texts.size() - 2], buf);
    EXPECT_EQ(texts.back(), "None");

    // The palette export it names holds the texture's palette.
    int32_t palRef = 0;
    for (const TUTProperty& pr : props.Properties)
      if (pr.Name == "Palette") palRef = pr.Value;
    ASSERT_GT(palRef, 0);
    auto& pal = dynamic_cast<TUTPalette&>(*p->GetExport(palRef - 1).Obj);
    pal.ReadObject();
    EXPECT_EQ(pal.ColorCount, 256);
    p->Open();
    p->Seek(p->GetExport(palRef - 1).SerialOffset + pal.PropertiesEnd);
    const std::vector<TPaletteEntry> expected = PaletteEntries256(t.Palette);
    for (int k = 0; k < 256; ++k) {
      uint8_t rgba[4];
      p->Read(rgba, 4);
      ASSERT_EQ(rgba[0], expected[k].peRed);
      ASSERT_EQ(rgba[1], expected[k].peGreen);
      ASSERT_EQ(rgba[2], expected[k].peBlue);
      ASSERT_EQ(rgba[3], 0xFF);
    }
    p->Close();

    const auto levels = ReadLevels(*p, i);
    const auto made = MakeMipMaps(*t.Bitmap, MipLevelCount(w, h, false), t.Palette);
    ASSERT_EQ(levels.size(), made.size());
    for (size_t l = 0; l < made.size(); ++l) {
      const TBitmap& m = *made[l];
      ASSERT_EQ(levels[l].Width, m.Width());
      ASSERT_EQ(levels[l].Height, m.Height());
      EXPECT_EQ(levels[l].UBits, IntLog2(static_cast<uint32_t>(m.Width())));
      for (int y = 0; y < m.Height(); ++y)
        ASSERT_EQ(0,
                  std::memcmp(levels[l].Pixels.data() + y * m.Width(), m.ScanLine(y), static_cast<size_t>(m.Width())))
            << e.ObjectNameStr << " level " << l << " row " << y;
    }
    ++texturesFound;
  }
  EXPECT_EQ(texturesFound, static_cast<int>(textures.size()));
}

INSTANTIATE_TEST_SUITE_P(Versions, RoundTrip, ::testing::Values(61, 63, 64, 68));

TEST(MipMaps, ReducedLevelsAreEightBitInThePaletteAndHalveDown) {
  HPALETTE pal = CubePalette();
  const auto tex = Texture24(64, 16);
  const auto levels = MakeMipMaps(*tex, 5, pal);
  ASSERT_EQ(levels.size(), 5u);
  EXPECT_EQ(tex->PixelFormat(), TPixelFormat::pf24bit);  // the source is left alone
  for (size_t l = 0; l < levels.size(); ++l) {
    EXPECT_EQ(levels[l]->PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(levels[l]->Width(), 64 >> l);
    EXPECT_EQ(levels[l]->Height(), 16 >> l);
  }
  // A flat colour that is in the palette maps to its entry at every level.
  TBitmap flat(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      uint8_t* px = flat.ScanLine(y) + 3 * x;
      px[0] = 0;    // blue
      px[1] = 102;  // green
      px[2] = 255;  // red: entry 5*36 + 2*6 + 0 = 192
    }
  for (const auto& l : MakeMipMaps(flat, 5, pal))
    for (int y = 0; y < l->Height(); ++y)
      for (int x = 0; x < l->Width(); ++x) ASSERT_EQ(l->ScanLine(y)[x], 192);

  // An 8-bit texture in another palette than the one it is written with is reduced, not copied.
  HPALETTE other = RampPalette(5);
  const auto eight = Texture8(8, 8, other);
  const auto reduced = MakeMipMaps(*eight, 1, pal);
  EXPECT_EQ(reduced[0]->Palette()->Entries.size(), pal->Entries.size());
}

TEST(MipMaps, AnEightBitTextureWithAShortPaletteKeepsItsIndices) {
  // A 16-colour bitmap whose entries 0 and 7 are both black (0 is the masked colour), written
  // with the 256-entry palette built from it (its 16 colours, then black).
  std::vector<TPaletteEntry> sixteen(16);
  for (int i = 1; i < 16; ++i)
    if (i != 7) sixteen[i] = {static_cast<uint8_t>(i * 16), static_cast<uint8_t>(255 - i * 16), 40, 0};
  std::vector<TPaletteEntry> padded = sixteen;
  padded.resize(256);
  HPALETTE own = CreatePalette(std::move(sixteen)), written = CreatePalette(std::move(padded));
  TBitmap b(8, 4, TPixelFormat::pf8bit);
  b.SetPalette(own);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) b.ScanLine(y)[x] = static_cast<uint8_t>((x + 3 * y) % 2 ? 7 : (x + y) % 16);
  const auto levels = MakeMipMaps(b, 3, written);
  ASSERT_EQ(levels.size(), 3u);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(levels[0]->ScanLine(y)[x], b.ScanLine(y)[x]) << x << "," << y;
  EXPECT_EQ(levels[2]->ScanLine(0)[1], b.ScanLine(0)[4]);
  EXPECT_EQ(levels[0]->Palette()->Entries.size(), 256u);

  // A palette that differs inside the bitmap's colours is no match.
  std::vector<TPaletteEntry> changed = written->Entries;
  changed[3].peRed ^= 1;
  EXPECT_FALSE(PaletteStartsWith(CreatePalette(std::move(changed)), own));
  EXPECT_TRUE(PaletteStartsWith(written, own));
  EXPECT_FALSE(PaletteStartsWith(own, written));
}
