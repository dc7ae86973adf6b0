// Reading again the texture files that changed on disk. File times are set explicitly, so the
// tests do not depend on the file system's clock resolution.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "SkinTreeTestModel.h"
#include "editor/PaletteGroups.h"
#include "editor/TextureFiles.h"
#include "platform/Exceptions.h"
#include "platform/FileTimes.h"
#include "platform/MessagePump.h"
#include "tests/support/Scratch.h"

using namespace editor_test;

namespace {

class ReloadTextures : public ::testing::Test {
 protected:
  void SetUp() override {
    model = MakeModel();
    tree.SetRoot("p (Male)");
    skin = AddSkin(tree, "Skin", "skin", *model);
    show = [this](const std::string& caption, const std::string& text) {
      boxes.push_back(caption + ": " + text);
      if (onBox) onBox();
    };
  }
  // A texture in the Talk section (64x64) read from a new file with a known time.
  TSkinNode* AddFromFile(const std::string& name, int seed) {
    std::string f = WritePicture(dir.Folder() + name, 64, 64, seed);
    SetFileAge(f, kT0);
    TSkinNode* sec = SectionNode(skin, 3);
    return AddTexture(sec, CreateTexture(f, "", "", sec->Text, *PartOfSection(sec, *model), show), name);
  }
  bool Run() { return reloader.Run(tree, *model, show); }

  // Whole seconds apart, so a file system keeping coarser times than nanoseconds sees each change.
  static constexpr int64_t kSecond = 1'000'000'000;
  static constexpr int64_t kT0 = 1'600'000'000 * kSecond;  // 2020-09-13, in nanoseconds
  std::unique_ptr<TModelo> model;
  TSkinTree tree;
  TSkinNode* skin = nullptr;
  testsupport::TScratchDir dir{"editor"};
  TTextureReloader reloader;
  std::vector<std::string> boxes;
  std::function<void()> onBox;
  TShowBox show;
};

}  // namespace

TEST_F(ReloadTextures, ChangedFileIsReadAgainAndFitted) {
  TSkinNode* a = AddFromFile("a.bmp", 1);
  TSkinNode* b = AddFromFile("b.bmp", 2);
  EXPECT_EQ(a->Texture->FileAge, kT0);
  BuildPalettes(tree, pmPerTexture);
  EXPECT_FALSE(Run()) << "nothing changed";

  // New content of another size, one second later: read again and resampled to 64x64.
  WritePicture(a->Texture->Filename, 32, 32, 9);
  SetFileAge(a->Texture->Filename, kT0 + kSecond);
  a->Texture->Modified = true;
  EXPECT_TRUE(Run());
  EXPECT_EQ(a->Texture->FileAge, kT0 + kSecond);
  EXPECT_EQ(a->Texture->Bitmap->Width(), 64);
  EXPECT_EQ(a->Texture->Bitmap->Pixel(0, 0), MakePicture(32, 32, 9).Pixel(0, 0));
  EXPECT_TRUE(a->Texture->Modified) << "a reload leaves the painted flag alone";
  EXPECT_TRUE(b->Texture->Bitmap->SameAs(MakePicture(64, 64, 2)));
  EXPECT_TRUE(tree.PalettesStale()) << "the palettes no longer match the texture";
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(Run());

  // A time that goes backwards (a file restored from a backup) is a change too.
  WritePicture(b->Texture->Filename, 64, 64, 5);
  SetFileAge(b->Texture->Filename, kT0 - kSecond);
  EXPECT_TRUE(Run());
  EXPECT_TRUE(b->Texture->Bitmap->SameAs(MakePicture(64, 64, 5)));
}

TEST_F(ReloadTextures, DeletedFileIsReportedOnce) {
  TSkinNode* a = AddFromFile("gone.bmp", 1);
  std::filesystem::remove(a->Texture->Filename);
  EXPECT_TRUE(Run());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "WARNING: The texture file \"" + a->Texture->Filename + "\" has been deleted!");
  EXPECT_EQ(a->Texture->FileAge, -1);
  EXPECT_TRUE(a->Texture->Bitmap) << "the texture stays in memory";
  EXPECT_FALSE(Run());
  EXPECT_FALSE(Run());
  EXPECT_EQ(boxes.size(), 1u);
  // The file comes back: read again.
  WritePicture(a->Texture->Filename, 64, 64, 4);
  SetFileAge(a->Texture->Filename, kT0);
  EXPECT_TRUE(Run());
  EXPECT_TRUE(a->Texture->Bitmap->SameAs(MakePicture(64, 64, 4)));
}

TEST_F(ReloadTextures, NothingReentersWhileABoxIsOpenOrTheProgramIsBusy) {
  TSkinNode* a = AddFromFile("a.bmp", 1);
  TSkinNode* b = AddFromFile("b.bmp", 2);
  std::filesystem::remove(a->Texture->Filename);
  std::filesystem::remove(b->Texture->Filename);
  // The box pumps messages, so the timer may fire while it is open: that call does nothing.
  std::vector<bool> nested;
  onBox = [&] {
    nested.push_back(Run());
    EXPECT_TRUE(reloader.Running());
  };
  EXPECT_TRUE(Run());
  EXPECT_FALSE(reloader.Running());
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_EQ(nested, (std::vector<bool>{false, false}));

  // During a long operation the reload waits; afterwards it sees the change.
  onBox = nullptr;
  WritePicture(a->Texture->Filename, 64, 64, 3);
  {
    TBusyGuard busy;
    EXPECT_FALSE(Run());
    EXPECT_EQ(a->Texture->FileAge, -1);
  }
  EXPECT_TRUE(Run());
  EXPECT_TRUE(a->Texture->Bitmap->SameAs(MakePicture(64, 64, 3)));
}

TEST_F(ReloadTextures, UnreadableChangeRaisesOnceAndTheReloaderRecovers) {
  TSkinNode* a = AddFromFile("a.bmp", 1);
  TBitmap before = *a->Texture->Bitmap;
  std::ofstream(a->Texture->Filename, std::ios::trunc) << "BM half written";
  SetFileAge(a->Texture->Filename, kT0 + 5 * kSecond);
  EXPECT_THROW(Run(), Exception);
  EXPECT_FALSE(reloader.Running()) << "the guard is released by the exception";
  EXPECT_TRUE(a->Texture->Bitmap->SameAs(before)) << "the old texture stays";
  EXPECT_FALSE(Run()) << "the same broken file is not read again every tick";
  WritePicture(a->Texture->Filename, 64, 64, 8);
  SetFileAge(a->Texture->Filename, kT0 + 6 * kSecond);
  EXPECT_TRUE(Run());
  EXPECT_TRUE(a->Texture->Bitmap->SameAs(MakePicture(64, 64, 8)));
}
