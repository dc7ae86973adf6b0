// Texture import by file-name convention: skin, section and variant from the name, the size
// check (resampling, the CANNOTRESAMPLE refusal, MASKED sections keeping their format), and
// reading by content rather than by extension.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "SkinTreeTestModel.h"
#include "codecs/ImageFormats.h"
#include "editor/PaletteGroups.h"
#include "editor/SkinNaming.h"
#include "editor/TextureFiles.h"
#include "platform/Exceptions.h"
#include "tests/support/PeerTools.h"
#include "tests/support/Scratch.h"

using namespace editor_test;

namespace {

class ImportTextures_ : public ::testing::Test {
 protected:
  void SetUp() override {
    InitImageFormats();
    model = MakeModel();
    tree.SetRoot("p (Male)");
    show = [this](const std::string& caption, const std::string& text) { boxes.push_back(caption + ": " + text); };
  }
  std::unique_ptr<TModelo> model;
  TSkinTree tree;
  testsupport::TScratchDir dir{"editor"};
  std::vector<std::string> boxes;
  TShowBox show;
};

}  // namespace

TEST_F(ImportTextures_, FilesLandInTheirSkinSectionAndVariant) {
  std::vector<std::string> files = {
      WritePicture(dir.Folder() + "abcd1t_1.bmp", 256, 256, 1),   // Body, blue team
      WritePicture(dir.Folder() + "ABCDx.bmp", 256, 256, 2),      // fifth char not a digit: Body default
      WritePicture(dir.Folder() + "abcd2Boss.bmp", 128, 128, 3),  // Head, face "boss"
      WritePicture(dir.Folder() + "abcd9.bmp", 8, 8, 4),          // the model has no section 9: skipped
      WritePicture(dir.Folder() + "wxyz3.bmp", 64, 64, 5),        // a second skin, Talk default
  };
  EXPECT_EQ(ImportTextures(tree, *model, files, show), 4);
  EXPECT_TRUE(boxes.empty());
  ASSERT_EQ(tree.Root()->Count(), 2u);
  TSkinNode* abcd = FindChildByCode(tree.Root(), "abcd");
  ASSERT_NE(abcd, nullptr);
  EXPECT_EQ(abcd->Text, "abcd (abcd)");
  // Every model section got its node, sorted by number.
  EXPECT_EQ(ChildTexts(abcd), (std::vector<std::string>{"Body", "Head", "Talk", "Mask", "Fixed"}));
  EXPECT_EQ(ChildTexts(SectionNode(abcd, 1)), (std::vector<std::string>{"< Default >", "<Blue Team>"}));
  TSkinNode* blue = FindChildByText(SectionNode(abcd, 1), "<Blue Team>");
  EXPECT_EQ(blue->Texture->Identifier, "t_1");
  EXPECT_EQ(blue->Texture->Description, "");
  EXPECT_EQ(blue->Texture->Filename, files[0]);
  EXPECT_NE(blue->Texture->FileAge, -1);
  TSkinNode* boss = FindChildByText(SectionNode(abcd, 2), "boss");
  ASSERT_NE(boss, nullptr);
  EXPECT_EQ(boss->Texture->Identifier, "boss");
  EXPECT_EQ(boss->Texture->Description, "boss");
  EXPECT_EQ(ChildTexts(SectionNode(FindChildByCode(tree.Root(), "wxyz"), 3)),
            (std::vector<std::string>{"< Default >"}));
  for (TSkinNode* n : tree.Nodes()) EXPECT_TRUE(n->Expanded);
  EXPECT_TRUE(tree.PalettesStale());

  // A second import into an existing skin (found by its code, whatever its description).
  EditSkin(abcd, "My (fancy) skin", "abcd");
  std::vector<std::string> more = {WritePicture(dir.Folder() + "abcd1t_0.bmp", 256, 256, 6)};
  EXPECT_EQ(ImportTextures(tree, *model, more, show), 1);
  EXPECT_EQ(tree.Root()->Count(), 2u);
  EXPECT_EQ(ChildTexts(SectionNode(abcd, 1)), (std::vector<std::string>{"< Default >", "<Blue Team>", "<Red Team>"}));
}

TEST_F(ImportTextures_, WrongSizeIsResampledToTheSection) {
  std::vector<std::string> files = {WritePicture(dir.Folder() + "abcd1.bmp", 128, 128, 1)};
  ImportTextures(tree, *model, files, show);
  const TBitmap& b = *tree.TextureNodes().at(0)->Texture->Bitmap;
  EXPECT_EQ(b.Width(), 256);
  EXPECT_EQ(b.Height(), 256);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
  // The resampler aligns the corners: the top-left pixel keeps its colour.
  EXPECT_EQ(b.Pixel(0, 0), MakePicture(128, 128, 1).Pixel(0, 0));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ImportTextures_, CannotResampleSectionShowsTheErrorAndKeepsTheTexture) {
  std::vector<std::string> files = {WritePicture(dir.Folder() + "abcd5.bmp", 32, 32, 1)};
  ImportTextures(tree, *model, files, show);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0],
            "ERROR: A texture on section \"Fixed\" does not have the right size (64x32) and its marked as No "
            "Resizable in the model.\r\nPlease remove the texture, resize it and load again.");
  const TBitmap& b = *tree.TextureNodes().at(0)->Texture->Bitmap;
  EXPECT_EQ(b.Width(), 32);
  EXPECT_EQ(b.Height(), 32);
  // The right size passes without a word.
  boxes.clear();
  ImportTextures(tree, *model, {WritePicture(dir.Folder() + "abcd5t_0.bmp", 64, 32, 2)}, show);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ImportTextures_, MaskedSectionKeepsAnEightBitTextureAndItsPalette) {
  std::string f = WritePicture8(dir.Folder() + "abcd4.bmp", 40, 24, 256);
  ImportTextures(tree, *model, {f}, show);
  const TBitmap& b = *tree.TextureNodes().at(0)->Texture->Bitmap;
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(b.Width(), 40);
  TBitmap original;
  original.LoadFromFile(f);
  EXPECT_TRUE(b.SameAs(original));
  // Outside a MASKED section the same file becomes 24 bits per pixel.
  ImportTextures(tree, *model, {WritePicture8(dir.Folder() + "abcd3.bmp", 64, 64, 256)}, show);
  EXPECT_EQ(SectionNode(tree.Root()->Child(0), 3)->Child(0)->Texture->Bitmap->PixelFormat(), TPixelFormat::pf24bit);
}

TEST_F(ImportTextures_, FilesAreReadByContentNotByExtension) {
  // A Windows bitmap saved under a PNG name (as an edited texture is saved back) reads fine.
  std::string f = WritePicture(dir.Folder() + "abcd1.png", 256, 256, 7);
  EXPECT_EQ(ImportTextures(tree, *model, {f}, show), 1);
  EXPECT_TRUE(tree.TextureNodes().at(0)->Texture->Bitmap->SameAs(MakePicture(256, 256, 7)));
}

TEST_F(ImportTextures_, JpegGoesThroughThePictureLoader) {
  const char* peer = testsupport::kConvert;
  SKIP_WITHOUT_PEER(peer);
  std::string bmp = WritePicture(dir.Folder() + "src.bmp", 64, 64, 3);
  std::string jpg = dir.Folder() + "abcd3t_2.jpg";  // Talk, 64x64
  ASSERT_EQ(std::system((std::string(peer) + " " + bmp + " -quality 95 " + jpg).c_str()), 0);
  EXPECT_EQ(ImportTextures(tree, *model, {jpg}, show), 1);
  TSkinNode* n = tree.TextureNodes().at(0);
  EXPECT_EQ(n->Text, "<Green Team>");
  EXPECT_EQ(n->Texture->Bitmap->Width(), 64);
  EXPECT_EQ(n->Texture->Bitmap->PixelFormat(), TPixelFormat::pf24bit);
}

TEST_F(ImportTextures_, UnreadableFileStopsTheImportAndKeepsWhatWasAdded) {
  std::string good = WritePicture(dir.Folder() + "abcd1.bmp", 256, 256, 1);
  std::string bad = dir.Folder() + "abcd2boss.bmp";
  std::ofstream(bad) << "BM this is no bitmap";
  std::string empty = dir.Folder() + "abcd3.bmp";
  std::ofstream(empty).close();
  // Last file first: the good one is read, then the broken one stops the import.
  EXPECT_THROW(ImportTextures(tree, *model, {bad, good}, show), Exception);
  EXPECT_EQ(tree.TextureNodes().size(), 1u);
  EXPECT_THROW(ImportTextures(tree, *model, {empty}, show), Exception);
  EXPECT_THROW(ImportTextures(tree, *model, {dir.Folder() + "abcd1missing.bmp"}, show), Exception);
  EXPECT_EQ(tree.TextureNodes().size(), 1u);
}

TEST_F(ImportTextures_, ImportingAKindAgainReplacesItsTextureInsteadOfAddingATwin) {
  std::vector<std::string> first = {WritePicture(dir.Folder() + "abcd1.bmp", 256, 256, 1),
                                    WritePicture(dir.Folder() + "abcd1t_1.bmp", 256, 256, 2)};
  ASSERT_EQ(ImportTextures(tree, *model, first, show), 2);
  TSkinNode* body = SectionNode(FindChildByCode(tree.Root(), "abcd"), 1);
  TSkinNode* blueBefore = FindChildByText(body, "<Blue Team>");
  BuildPalettes(tree, pmPerTexture);
  // The same blue-team texture again, from another folder and with other pixels.
  std::string again = WritePicture(dir.Folder() + "new_abcd1t_1.bmp", 256, 256, 7);
  std::string renamed = dir.Folder() + "abcd1t_1.png";
  ASSERT_EQ(std::rename(again.c_str(), renamed.c_str()), 0);
  EXPECT_EQ(ImportTextures(tree, *model, {renamed}, show), 1);
  // Still one node per kind (a save and load keeps exactly what is shown), now with the new file.
  EXPECT_EQ(ChildTexts(body), (std::vector<std::string>{"< Default >", "<Blue Team>"}));
  TSkinNode* blue = FindChildByText(body, "<Blue Team>");
  EXPECT_EQ(blue, blueBefore);
  EXPECT_EQ(blue->Texture->Filename, renamed);
  EXPECT_EQ(blue->Texture->Bitmap->Pixel(3, 5), MakePicture(256, 256, 7).Pixel(3, 5));
  EXPECT_TRUE(tree.PalettesStale());
}

TEST_F(ImportTextures_, ReplacingANamedFaceKeepsItsNameAndAnUpperCaseSkinCodeIsFound) {
  // A face given its name through the dialog, in a skin whose code a hand-written project
  // spelled in capitals.
  TSkinNode* skin = AddSkin(tree, "Boss", "boss", *model);
  skin->Text = "Boss (BOSS)";
  TSkinNode* head = SectionNode(skin, 2);
  TSkinNode* face = AddTexture(head, MakeTexture("bigboss", "Big Boss", 128, 128, 1), "Big Boss (bigboss)");
  std::string f = WritePicture(dir.Folder() + "boss2bigboss.bmp", 128, 128, 9);
  EXPECT_EQ(ImportTextures(tree, *model, {f}, show), 1);
  EXPECT_EQ(tree.Root()->Count(), 1u) << "no second skin \"boss (boss)\" beside \"Boss (BOSS)\"";
  EXPECT_EQ(ChildTexts(head), (std::vector<std::string>{"Big Boss (bigboss)"}));
  EXPECT_EQ(face->Texture->Filename, f);
  EXPECT_TRUE(face->Texture->Bitmap->SameAs(MakePicture(128, 128, 9)));
  EXPECT_EQ(face->Texture->Identifier, "bigboss");
  EXPECT_EQ(face->Texture->Description, "Big Boss") << "the package description stays the face's name";
}

TEST_F(ImportTextures_, NameTheProjectFileCannotHoldIsRefusedBeforeAnythingIsAdded) {
  std::string good = WritePicture(dir.Folder() + "abcd1.bmp", 256, 256, 1);
  std::string odd = WritePicture(dir.Folder() + "abcd2face[1].bmp", 128, 128, 2);
  try {
    ImportTextures(tree, *model, {good, odd}, show);
    FAIL() << "a \"]\" in the texture's node text is refused";
  } catch (const EConvertError& e) {
    EXPECT_NE(e.Message.find(odd), std::string::npos) << e.Message;
  }
  EXPECT_TRUE(tree.Root()->Children().empty()) << "the last file is the first one imported: nothing was added";
  // A "[" alone is harmless in a section name and stays part of the face.
  std::string open = WritePicture(dir.Folder() + "abcd2face[1.bmp", 128, 128, 3);
  EXPECT_EQ(ImportTextures(tree, *model, {open}, show), 1);
  EXPECT_EQ(tree.TextureNodes().at(0)->Text, "face[1");
}
