// The skin tree without a display: naming rules, skin and texture commands, the choices of
// the New/Edit Texture dialog, the sort order and the pop-up items per level.
#include <gtest/gtest.h>

#include "SkinTreeTestModel.h"
#include "editor/PaletteGroups.h"
#include "editor/SkinNaming.h"
#include "editor/SkinTree.h"
#include "platform/Exceptions.h"

using namespace editor_test;

TEST(SkinNaming, CodesKeepOnlyLettersDigitsAndUnderscore) {
  EXPECT_EQ(SanitizeCode("AbC1_"), "abc1_");
  EXPECT_EQ(SanitizeCode("a(b;"), "axbx");
  EXPECT_EQ(SanitizeCode("my s"), "myxs");
  EXPECT_EQ(SanitizeCode("\xC3\xA9t\xC3\xA9"), "xxtxx");  // UTF-8 bytes are not letters
  // The dialog's rules: a blank code takes the first four characters of the description.
  EXPECT_EQ(SkinCodeFromDialog("    ", "My skin"), "myxs");
  EXPECT_EQ(SkinCodeFromDialog("____", "Ab"), "ab");
  EXPECT_EQ(SkinCodeFromDialog("WxYz", "ignored"), "wxyz");
  EXPECT_EQ(SkinCodeFromDialog("    ", ""), "");
  EXPECT_EQ(StripSpacesLower(" Big  Boss "), "bigboss");
}

TEST(SkinNaming, SkinTextSplitsAtTheLastParenthesis) {
  std::string d, c;
  SplitSkinText("Chief (red) edition; v2 (chf1)", d, c);
  EXPECT_EQ(d, "Chief (red) edition; v2");
  EXPECT_EQ(c, "chf1");
  SplitSkinText("No code here", d, c);
  EXPECT_EQ(d, "No code here");
  EXPECT_EQ(c, "");
  SplitSkinText(" (abcd)", d, c);
  EXPECT_EQ(d, "");
  EXPECT_EQ(c, "abcd");
  EXPECT_EQ(SkinCodeOf(SkinNodeText("a (b) c", "zz")), "zz");
}

TEST(SkinNaming, ImportNamesOfOddLengthsAndIdentifiers) {
  TImportName n = ParseImportName("C:\\skins\\ab.PNG");  // short: no section character
  EXPECT_EQ(n.Code, "ab");
  EXPECT_EQ(n.Section, 1);
  EXPECT_EQ(n.NodeText, "< Default >");
  n = ParseImportName("xy(z3boss.tga");
  EXPECT_EQ(n.Code, "xyxz");
  EXPECT_EQ(n.Section, 3);
  EXPECT_EQ(n.NodeText, "boss");
  EXPECT_EQ(ParseImportName("abcd7t_4.bmp").NodeText, "t_4") << "not a team identifier: a face";
}

class SkinTreeCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    model = MakeModel();
    tree.SetRoot("proj (Male)");
  }
  std::unique_ptr<TModelo> model;
  TSkinTree tree;
};

TEST_F(SkinTreeCommands, NewSkinAddsEverySectionAndSanitizesTheCode) {
  TSkinNode* s = AddSkin(tree, "Boss (v2); red", "AB(;", *model);
  EXPECT_EQ(s->Text, "Boss (v2); red (abxx)");
  EXPECT_EQ(s->Level(), 1);
  ASSERT_EQ(s->Count(), 5u);
  // Sections follow the model's order until the tree is sorted.
  EXPECT_EQ(ChildTexts(s), (std::vector<std::string>{"Head", "Body", "Talk", "Mask", "Fixed"}));
  EXPECT_EQ(s->Child(1)->SectionNumber, 1);
  EXPECT_EQ(PartOfSection(s->Child(1), *model), model->Part(1));
  EXPECT_EQ(FindChildByCode(tree.Root(), "abxx"), s);
  EXPECT_THROW(AddSkin(tree, "", "", *model), EConvertError);
}

TEST_F(SkinTreeCommands, EditAndDeleteSkin) {
  TSkinNode* a = AddSkin(tree, "First", "aaaa", *model);
  TSkinNode* b = AddSkin(tree, "Second", "bbbb", *model);
  AddTexture(SectionNode(a, 1), MakeTexture("", ""), "< Default >");
  AddTexture(SectionNode(b, 1), MakeTexture("", ""), "< Default >");
  // The project file keys skins by code without letter case: a code in use is detected.
  EXPECT_TRUE(SkinCodeInUse(tree, "BBBB"));
  EXPECT_FALSE(SkinCodeInUse(tree, "bbbb", b)) << "a skin keeping its own code";
  EXPECT_FALSE(SkinCodeInUse(tree, "bbb"));
  EditSkin(a, "Renamed (old)", "CCCC");
  EXPECT_EQ(a->Text, "Renamed (old) (cccc)");
  EXPECT_EQ(SkinCodeOf(a->Text), "cccc");
  EXPECT_THROW(EditSkin(a, "x", ""), EConvertError);
  EXPECT_EQ(a->Text, "Renamed (old) (cccc)");

  BuildPalettes(tree, pmPerPackage);
  EXPECT_FALSE(tree.PalettesStale());
  DeleteSkin(b);
  EXPECT_EQ(tree.Root()->Count(), 1u);
  EXPECT_TRUE(tree.PalettesStale()) << "a deleted texture changes the palette groups";
  EXPECT_EQ(tree.TextureNodes().size(), 1u);
}

TEST_F(SkinTreeCommands, TextureChoicesPerSectionKindAndRemovalOnceUsed) {
  TSkinNode* s = AddSkin(tree, "Skin", "skin", *model);
  TSkinNode* body = SectionNode(s, 1);  // TEAM
  TSkinNode* head = SectionNode(s, 2);  // FACE
  TSkinNode* talk = SectionNode(s, 3);  // FACE + TALKTEXTURE
  TSkinNode* mask = SectionNode(s, 4);  // plain

  TTextureChoices c = TextureChoicesFor(mask, nullptr, *model);
  EXPECT_EQ(c.Items, (std::vector<std::string>{"< Default >"}));
  EXPECT_FALSE(c.Editable);

  c = TextureChoicesFor(body, nullptr, *model);
  EXPECT_EQ(c.Items,
            (std::vector<std::string>{"< Default >", "<Blue Team>", "<Gold Team>", "<Green Team>", "<Red Team>"}));
  EXPECT_EQ(c.Preselect, "< Default >");

  AddTexture(body, MakeTexture("", ""), "< Default >");
  AddTexture(body, MakeTexture("t_0", ""), "<Red Team>");
  c = TextureChoicesFor(body, nullptr, *model);
  EXPECT_EQ(c.Items, (std::vector<std::string>{"<Blue Team>", "<Gold Team>", "<Green Team>"}));
  // Editing the red texture offers its own label again, preselected.
  TSkinNode* red = FindChildByText(body, "<Red Team>");
  c = TextureChoicesFor(body, red, *model);
  EXPECT_EQ(c.Items, (std::vector<std::string>{"<Blue Team>", "<Gold Team>", "<Green Team>", "<Red Team>"}));
  EXPECT_EQ(c.Preselect, "<Red Team>");

  // Faces: every face description of the skin, once, and the combo is editable.
  AddTexture(head, MakeTexture("bigboss", "Big Boss"), "Big Boss (bigboss)");
  AddTexture(talk, MakeTexture("bigboss", "Big Boss"), "Big Boss (bigboss)");
  AddTexture(talk, MakeTexture("grunt", "Grunt"), "Grunt (grunt)");
  c = TextureChoicesFor(head, nullptr, *model);
  EXPECT_TRUE(c.Editable);
  EXPECT_EQ(c.Items, (std::vector<std::string>{"< Default >", "Grunt"}));
  c = TextureChoicesFor(talk, nullptr, *model);
  EXPECT_EQ(c.Items, (std::vector<std::string>{"< Default >"}));

  std::string id, desc;
  ChoiceToIdentifier("Big Boss", id, desc);
  EXPECT_EQ(id, "bigboss");
  EXPECT_EQ(desc, "Big Boss");
  EXPECT_EQ(TextureNodeText(id, desc), "Big Boss (bigboss)");
  ChoiceToIdentifier("<Gold Team>", id, desc);
  EXPECT_EQ(id, "t_3");
  EXPECT_EQ(desc, "");
  ChoiceToIdentifier("< Default >", id, desc);
  EXPECT_EQ(id, "");
}

TEST_F(SkinTreeCommands, RenamingAFaceRenamesItInEverySectionOfTheSkinOnly) {
  TSkinNode* s = AddSkin(tree, "Skin", "skin", *model);
  TSkinNode* other = AddSkin(tree, "Other", "othr", *model);
  TSkinNode* head = AddTexture(SectionNode(s, 2), MakeTexture("boss", "Boss"), "Boss (boss)");
  TSkinNode* talk = AddTexture(SectionNode(s, 3), MakeTexture("boss", "Boss"), "Boss (boss)");
  TSkinNode* elsewhere = AddTexture(SectionNode(other, 2), MakeTexture("boss", "Boss"), "Boss (boss)");
  EXPECT_FALSE(ChangeTextureKind(head, "Boss")) << "same identifier: nothing to do";
  EXPECT_TRUE(ChangeTextureKind(head, "Big Chief"));
  for (TSkinNode* n : {head, talk}) {
    EXPECT_EQ(n->Texture->Identifier, "bigchief");
    EXPECT_EQ(n->Texture->Description, "Big Chief");
    EXPECT_EQ(n->Text, "Big Chief (bigchief)");
  }
  EXPECT_EQ(elsewhere->Texture->Identifier, "boss");

  // A default texture turned into a team texture changes that texture alone: the defaults of
  // the other sections stay defaults.
  TSkinNode* d1 = AddTexture(SectionNode(s, 1), MakeTexture("", ""), "< Default >");
  TSkinNode* d4 = AddTexture(SectionNode(s, 4), MakeTexture("", ""), "< Default >");
  EXPECT_TRUE(ChangeTextureKind(d1, "<Green Team>"));
  EXPECT_EQ(d1->Text, "<Green Team>");
  EXPECT_EQ(d1->Texture->Identifier, "t_2");
  EXPECT_EQ(d4->Text, "< Default >");
  EXPECT_EQ(d4->Texture->Identifier, "");
}

TEST_F(SkinTreeCommands, KindCollisionsAreFoundInTheSectionAndWhereAFaceRenameReaches) {
  TSkinNode* s = AddSkin(tree, "Skin", "skin", *model);
  TSkinNode* other = AddSkin(tree, "Other", "othr", *model);
  TSkinNode* head = SectionNode(s, 2);
  TSkinNode* talk = SectionNode(s, 3);
  TSkinNode* boss = AddTexture(head, MakeTexture("boss", "Boss"), "Boss (boss)");
  TSkinNode* talkBoss = AddTexture(talk, MakeTexture("boss", "Boss"), "Boss (boss)");
  TSkinNode* talkGrunt = AddTexture(talk, MakeTexture("grunt", "Grunt"), "Grunt (grunt)");
  AddTexture(SectionNode(other, 2), MakeTexture("chief", "Chief"), "Chief (chief)");

  // New textures: only the section itself counts.
  EXPECT_EQ(TextureKindConflict(head, nullptr, "BOSS"), boss);
  EXPECT_EQ(TextureKindConflict(head, nullptr, "Grunt"), nullptr);
  EXPECT_EQ(TextureKindConflict(talk, nullptr, "Grunt"), talkGrunt);
  // Renaming Head's face to Grunt would rename Talk's boss too, beside Talk's own grunt: the
  // project file would keep one of the two.
  EXPECT_EQ(TextureKindConflict(head, boss, "Grunt"), talkGrunt);
  EXPECT_THROW(ChangeTextureKind(boss, "Grunt"), EInvalidOperation);
  EXPECT_EQ(ChildTexts(head), (std::vector<std::string>{"Boss (boss)"}));
  EXPECT_EQ(ChildTexts(talk), (std::vector<std::string>{"Boss (boss)", "Grunt (grunt)"}));
  EXPECT_EQ(talkBoss->Texture->Identifier, "boss");
  // Other skins and its own old name do not count; a free name renames in both sections.
  EXPECT_EQ(TextureKindConflict(head, boss, "Chief"), nullptr);
  EXPECT_EQ(TextureKindConflict(head, boss, "Boss"), nullptr);
  EXPECT_TRUE(ChangeTextureKind(boss, "Chief"));
  EXPECT_EQ(talkBoss->Text, "Chief (chief)");
  // A default turned into a team texture changes one section only: other sections' team
  // textures of that colour are no collision.
  TSkinNode* body = SectionNode(s, 1);
  TSkinNode* d = AddTexture(body, MakeTexture("", ""), "< Default >");
  AddTexture(SectionNode(s, 4), MakeTexture("t_0", ""), "<Red Team>");
  EXPECT_EQ(TextureKindConflict(body, d, "<Red Team>"), nullptr);
  AddTexture(body, MakeTexture("t_0", ""), "<Red Team>");
  EXPECT_NE(TextureKindConflict(body, d, "<Red Team>"), nullptr);
}

TEST_F(SkinTreeCommands, SortOrdersSectionsByNumberAndTheRestByteWise) {
  TSkinNode* b = AddSkin(tree, "beta", "bbbb", *model);
  AddSkin(tree, "Alpha", "aaaa", *model);
  TSkinNode* body = SectionNode(b, 1);
  for (const char* t :
       {"zed (zed)", "<Red Team>", "Abe (abe)", "< Default >", "<Gold Team>", "<Blue Team>", "<Green Team>"})
    AddTexture(body, MakeTexture("x", ""), t);
  tree.Sort();
  EXPECT_EQ(ChildTexts(tree.Root()), (std::vector<std::string>{"Alpha (aaaa)", "beta (bbbb)"}));
  EXPECT_EQ(ChildTexts(b), (std::vector<std::string>{"Body", "Head", "Talk", "Mask", "Fixed"}));
  EXPECT_EQ(ChildTexts(body), (std::vector<std::string>{"< Default >", "<Blue Team>", "<Gold Team>", "<Green Team>",
                                                        "<Red Team>", "Abe (abe)", "zed (zed)"}));
  // Tree order (what the project file and the palette groups walk) follows the sort.
  std::vector<TSkinNode*> nodes = tree.Nodes();
  ASSERT_GE(nodes.size(), 3u);
  EXPECT_EQ(nodes[0], tree.Root());
  EXPECT_EQ(nodes[1]->Text, "Alpha (aaaa)");
  EXPECT_EQ(tree.TextureNodes().front()->Text, "< Default >");
}

TEST_F(SkinTreeCommands, PopupItemsFollowTheLevelUnderTheMouse) {
  TSkinNode* s = AddSkin(tree, "Skin", "skin", *model);
  TSkinNode* sec = SectionNode(s, 1);
  TSkinNode* tex = AddTexture(sec, MakeTexture("", ""), "< Default >");
  auto visible = [](const TSkinNode* n) {
    std::vector<int> r;
    for (int i = 0; i < piCount; ++i)
      if (PopupItemVisible(static_cast<TPopupItem>(i), n)) r.push_back(i);
    return r;
  };
  EXPECT_EQ(visible(tree.Root()), (std::vector<int>{piNewGroup}));
  EXPECT_EQ(visible(s), (std::vector<int>{piEditGroup, piDeleteGroup}));
  EXPECT_EQ(visible(sec), (std::vector<int>{piAddTexture}));
  EXPECT_EQ(visible(tex), (std::vector<int>{piEditTextureDescription, piDeleteTexture}));
  EXPECT_TRUE(visible(nullptr).empty());
}

TEST_F(SkinTreeCommands, ClearReleasesTexturesAndPalettes) {
  TSkinNode* s = AddSkin(tree, "Skin", "skin", *model);
  long before = TPaletteData::LiveCount();
  auto t = MakeTexture("", "");
  HPALETTE pal = CreatePalette(std::vector<TPaletteEntry>(256));
  t->Palette = pal;
  tree.RecordPalette(pal, {});
  pal.reset();
  AddTexture(SectionNode(s, 1), std::move(t), "< Default >");
  EXPECT_EQ(TPaletteData::LiveCount(), before + 1);
  tree.Clear();
  EXPECT_EQ(TPaletteData::LiveCount(), before);
  EXPECT_TRUE(tree.Empty());
  EXPECT_TRUE(tree.Nodes().empty());
}
