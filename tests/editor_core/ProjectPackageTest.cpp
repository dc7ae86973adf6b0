// The description of the project that the package writer compiles: tree order, codes and
// descriptions split as the tree splits them, and palettes rebuilt when they are stale.
#include <gtest/gtest.h>

#include "SkinTreeTestModel.h"
#include "editor/PackageDescription.h"
#include "editor/PaletteGroups.h"

using namespace editor_test;

TEST(ProjectPackage, DescriptionFollowsTheTreeAndRebuildsStalePalettes) {
  auto model = MakeModel();
  TSkinTree tree;
  tree.SetRoot("p (Male)");
  TSkinNode* a = AddSkin(tree, "Boss (v2); red", "boss", *model);
  AddSkin(tree, "Empty", "empt", *model);
  TSkinNode* red = AddTexture(SectionNode(a, 1), MakeTexture("t_0", "", 8, 8, 1), "<Red Team>");
  AddTexture(SectionNode(a, 2), MakeTexture("chief", "Chief", 8, 8, 2), "Chief (chief)");
  tree.Sort();
  TProjectOptions options;
  options.ReducePalettes = 1;
  options.OnlyFirstMipMap = true;
  options.NotAllowDownload = true;

  // Never built: the description comes with palettes, one per skin.
  TPackageProject p = BuildPackageProject(tree, *model, options, "/x/p.cvp", "C:\\UnrealTournament");
  EXPECT_FALSE(tree.PalettesStale());
  ASSERT_EQ(p.Skins.size(), 2u);
  EXPECT_EQ(p.Skins[0].Code, "boss");
  EXPECT_EQ(p.Skins[0].Description, "Boss (v2); red");
  ASSERT_EQ(p.Skins[0].Sections.size(), 5u);
  EXPECT_EQ(p.Skins[0].Sections[0].Section, 1);
  EXPECT_EQ(p.Skins[0].Sections[1].Section, 2);
  ASSERT_EQ(p.Skins[0].Sections[0].Textures.size(), 1u);
  const TPackageTexture& t = p.Skins[0].Sections[0].Textures[0];
  EXPECT_EQ(t.Identifier, "t_0");
  EXPECT_EQ(t.Bitmap, red->Texture->Bitmap.get());
  ASSERT_TRUE(t.Palette);
  EXPECT_EQ(t.Palette, p.Skins[0].Sections[1].Textures[0].Palette);
  EXPECT_EQ(p.Skins[0].Sections[1].Textures[0].Description, "Chief");
  EXPECT_TRUE(p.Skins[1].Sections[0].Textures.empty());
  EXPECT_EQ(p.Model.SectionFlags.size(), 5u);
  EXPECT_EQ(p.Model.SectionFlags[1], model->Part(1)->Flags);
  EXPECT_TRUE(p.Options.OneMipMap);
  EXPECT_TRUE(p.Options.NotAllowDownload);
  EXPECT_EQ(p.Options.ReducePalettes, 1);

  // Up to date: the same handles. After a texture changed (a reload, a stroke): new ones.
  const HPALETTE before = red->Texture->Palette;
  p = BuildPackageProject(tree, *model, options, "/x/p.cvp", "");
  EXPECT_EQ(p.Skins[0].Sections[0].Textures[0].Palette, before);
  red->Texture->Bitmap->Fill(RGBColor(200, 10, 10));
  tree.MarkTexturesChanged();
  p = BuildPackageProject(tree, *model, options, "/x/p.cvp", "");
  EXPECT_NE(p.Skins[0].Sections[0].Textures[0].Palette, before);
  const auto& e = p.Skins[0].Sections[0].Textures[0].Palette->Entries;
  EXPECT_TRUE(std::any_of(e.begin(), e.end(), [](const TPaletteEntry& x) {
    return x.peRed == 200 && x.peGreen == 10 && x.peBlue == 10;
  })) << "the rebuilt palette holds the new colour";
}
