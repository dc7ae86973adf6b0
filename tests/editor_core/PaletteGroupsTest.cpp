// Palette groups: how many palettes each option makes (counted by the live palette count),
// which textures share one, 8-bit textures keeping their own colour table, and the release of
// the previous build's palettes.
#include <gtest/gtest.h>

#include <set>

#include "SkinTreeTestModel.h"
#include "editor/PaletteGroups.h"

using namespace editor_test;

namespace {

std::unique_ptr<TObjetoTextura> Make8bit(int colors, int seed) {
  auto t = std::make_unique<TObjetoTextura>();
  std::vector<TPaletteEntry> pal(static_cast<size_t>(colors));
  for (int i = 0; i < colors; ++i)
    pal[static_cast<size_t>(i)] = {static_cast<uint8_t>(i + seed), static_cast<uint8_t>(3 * i),
                                   static_cast<uint8_t>(255 - i), 0};
  t->Bitmap = std::make_unique<TBitmap>(16, 16, TPixelFormat::pf8bit);
  t->Bitmap->SetPalette(CreatePalette(pal));
  return t;
}

size_t DistinctPalettes(const TSkinTree& tree) {
  std::set<const TPaletteData*> s;
  for (TSkinNode* n : tree.TextureNodes()) s.insert(n->Texture->Palette.get());
  return s.size();
}

class PaletteGroups : public ::testing::Test {
 protected:
  void SetUp() override {
    model = MakeModel();
    tree.SetRoot("p (Male)");
    base = TPaletteData::LiveCount();
  }
  // Two skins: three 24-bit textures each, in three sections.
  void TwoSkinsOfThree() {
    int seed = 0;
    for (const char* code : {"aaaa", "bbbb"}) {
      TSkinNode* s = AddSkin(tree, code, code, *model);
      for (int sec : {1, 2, 4}) AddTexture(SectionNode(s, sec), MakeTexture("", "", 16, 16, ++seed), "< Default >");
    }
  }
  long Live() const { return TPaletteData::LiveCount() - base; }
  std::unique_ptr<TModelo> model;
  TSkinTree tree;
  long base = 0;
};

}  // namespace

TEST_F(PaletteGroups, EachOptionMakesItsNumberOfPalettes) {
  TwoSkinsOfThree();
  BuildPalettes(tree, pmPerTexture);
  EXPECT_EQ(Live(), 6);
  EXPECT_EQ(DistinctPalettes(tree), 6u);
  BuildPalettes(tree, pmPerSkin);
  EXPECT_EQ(Live(), 2) << "the per-texture palettes of the previous build are released";
  EXPECT_EQ(DistinctPalettes(tree), 2u);
  auto tex = tree.TextureNodes();
  EXPECT_EQ(tex[0]->Texture->Palette, tex[2]->Texture->Palette);
  EXPECT_NE(tex[2]->Texture->Palette, tex[3]->Texture->Palette);
  BuildPalettes(tree, pmPerPackage);
  EXPECT_EQ(Live(), 1);
  BuildPalettes(tree, pmPerPackage);
  EXPECT_EQ(Live(), 1) << "two builds in a row hold one set";
  for (TSkinNode* n : tree.TextureNodes()) {
    EXPECT_EQ(PaletteEntryCount(n->Texture->Palette), 256);
    EXPECT_EQ(n->Texture->Bitmap->PixelFormat(), TPixelFormat::pf24bit) << "the build leaves the textures alone";
  }
  EXPECT_FALSE(tree.PalettesStale());
  tree.Clear();
  EXPECT_EQ(Live(), 0) << "closing the project releases the palettes";
}

TEST_F(PaletteGroups, EightBitTextureKeepsItsOwnPaletteInEveryMode) {
  TSkinNode* s = AddSkin(tree, "one", "aaaa", *model);
  TSkinNode* s2 = AddSkin(tree, "two", "bbbb", *model);
  AddTexture(SectionNode(s, 1), MakeTexture("", "", 16, 16, 1), "< Default >");
  TSkinNode* eight = AddTexture(SectionNode(s, 2), Make8bit(256, 5), "< Default >");
  AddTexture(SectionNode(s, 4), MakeTexture("", "", 16, 16, 2), "< Default >");
  TSkinNode* next = AddTexture(SectionNode(s2, 1), MakeTexture("", "", 16, 16, 3), "< Default >");
  tree.Sort();  // sections by number: Body's texture, the 8-bit Head texture, Mask's texture
  const HPALETTE own = eight->Texture->Bitmap->Palette();
  base = TPaletteData::LiveCount();  // the bitmaps' own colour tables are not the build's

  for (TPaletteMode mode : {pmPerTexture, pmPerSkin, pmPerPackage}) {
    BuildPalettes(tree, mode);
    ASSERT_TRUE(eight->Texture->Palette);
    EXPECT_EQ(eight->Texture->Palette->Entries, own->Entries) << "mode " << mode;
  }
  // One per skin: the skin's two 24-bit textures share a quantized palette, the 8-bit one keeps
  // its own, and the next skin has a palette of its own.
  BuildPalettes(tree, pmPerSkin);
  auto tex = tree.TextureNodes();
  ASSERT_EQ(tex[1], eight);
  EXPECT_EQ(tex[0]->Texture->Palette, tex[2]->Texture->Palette);
  EXPECT_NE(tex[0]->Texture->Palette, eight->Texture->Palette);
  EXPECT_NE(next->Texture->Palette, tex[0]->Texture->Palette);
  EXPECT_EQ(Live(), 3);
  // One for the package with two 8-bit textures: one quantized palette and one per 8-bit.
  AddTexture(SectionNode(s2, 4), Make8bit(256, 9), "< Default >");
  base += 1;  // the new bitmap's own colour table is not the build's either
  BuildPalettes(tree, pmPerPackage);
  EXPECT_EQ(Live(), 3) << "one quantized palette and one per 8-bit texture";
  EXPECT_EQ(DistinctPalettes(tree), 3u);
}

TEST_F(PaletteGroups, ShortColourTableIsPaddedWithBlack) {
  TSkinNode* s = AddSkin(tree, "one", "aaaa", *model);
  TSkinNode* eight = AddTexture(SectionNode(s, 4), Make8bit(16, 40), "< Default >");
  BuildPalettes(tree, pmPerTexture);
  const HPALETTE& pal = eight->Texture->Palette;
  ASSERT_EQ(PaletteEntryCount(pal), 256);
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(pal->Entries[static_cast<size_t>(i)], eight->Texture->Bitmap->Palette()->Entries[static_cast<size_t>(i)]);
  for (int i = 16; i < 256; ++i) EXPECT_EQ(pal->Entries[static_cast<size_t>(i)], (TPaletteEntry{0, 0, 0, 0})) << i;
}

TEST_F(PaletteGroups, EmptySkinsAndEmptyTreeBuildWithoutError) {
  AddSkin(tree, "empty", "eeee", *model);
  TSkinNode* s = AddSkin(tree, "full", "ffff", *model);
  AddTexture(SectionNode(s, 1), MakeTexture("", "", 8, 8, 1), "< Default >");
  EXPECT_NO_THROW(BuildPalettes(tree, pmPerSkin));
  EXPECT_EQ(Live(), 1);
  TSkinTree none;
  EXPECT_NO_THROW(BuildPalettes(none, pmPerPackage));
}

TEST(PaletteModes, OptionOutsideTheRangeReadsAsOnePerTexture) {
  EXPECT_EQ(PaletteModeFromIndex(1), pmPerSkin);
  EXPECT_EQ(PaletteModeFromIndex(2), pmPerPackage);
  EXPECT_EQ(PaletteModeFromIndex(3), pmPerTexture);
  EXPECT_EQ(PaletteModeFromIndex(-1), pmPerTexture);
}
