// Writing the .utx and .int beside the project and installing them into the game folder.
#include <gtest/gtest.h>

#include <cstdlib>

#include "packages/CompilePackage.h"
#include "packages/TexturePackage.h"
#include "platform/Exceptions.h"
#include "tests/packages/PackageTestSupport.h"

using namespace pkgtest;
using testsupport::ReadBytes;

namespace {
TProjectFixture SmallProject(const fs::path& Folder) {
  TProjectFixture f = OneSkinExample();
  f.Bitmaps[0]->SetSize(16, 16);
  f.Project.ProjectFileName = (Folder / "MySkins.cvp").string();
  return f;
}

int FileCount(const fs::path& Folder) {
  int n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(Folder)) ++n;
  return n;
}
}  // namespace

TEST(CompileFiles, WritesBothFilesBesideTheProject) {
  const fs::path dir = ProcessScratchDir("compile");
  TProjectFixture f = SmallProject(dir);
  const TCompileMessage m = CompilePackageFiles(f.Project, false);
  EXPECT_EQ(m.Caption, "Compilation");
  EXPECT_EQ(m.Text, "Project compiled!");
  EXPECT_FALSE(m.IsError);
  EXPECT_EQ(PackageUtxFileName(f.Project), (dir / "MySkins.utx").string());
  const std::string utx = ReadText(dir / "MySkins.utx");
  ASSERT_GE(utx.size(), 64u);
  EXPECT_EQ(static_cast<uint8_t>(utx[0]), 0xC1);
  EXPECT_EQ(ReadText(dir / "MySkins.int"),
            "[Public]\r\nObject=(Name=MySkins.ABCD1,Class=Texture,Description=\"My Skin\")\r\n");
  EXPECT_EQ(FileCount(dir), 2);  // no temporary file left behind
}

TEST(CompileFiles, AFailedCompileLeavesThePreviousFiles) {
  const fs::path dir = ProcessScratchDir("keep");
  TProjectFixture f = SmallProject(dir);
  CompilePackageFiles(f.Project, false);
  const std::string utx = ReadText(dir / "MySkins.utx"), ini = ReadText(dir / "MySkins.int");
  f.Project.Skins[0].Sections[0].Textures[0].Palette.reset();
  EXPECT_THROW(CompilePackageFiles(f.Project, false), Exception);
  f.Project.Skins[0].Code = std::string(300, 'X');  // a name too long to store
  EXPECT_THROW(CompilePackageFiles(f.Project, true), EConvertError);
  EXPECT_EQ(ReadText(dir / "MySkins.utx"), utx);
  EXPECT_EQ(ReadText(dir / "MySkins.int"), ini);
  EXPECT_EQ(FileCount(dir), 2);

  TPackageProject unnamed = f.Project;
  unnamed.ProjectFileName.clear();
  EXPECT_THROW(CompilePackageFiles(unnamed, false), Exception);
}

TEST(CompileFiles, InstallFindsTheGameFoldersWithoutLetterCase) {
  const fs::path dir = ProcessScratchDir("install");
  const fs::path game = dir / "UnrealTournament";
  fs::create_directories(game / "textures");
  fs::create_directories(game / "SYSTEM");
  TProjectFixture f = SmallProject(dir);
  f.Project.GameFolder = game.string();
  // An older package of the same name is replaced.
  WriteBytes(game / "textures" / "MySkins.utx", {1, 2, 3});
  const TCompileMessage m = CompilePackageFiles(f.Project, true);
  EXPECT_EQ(m.Caption, "Compilation");
  EXPECT_EQ(m.Text, "Project compiled and installed under " + game.string());
  EXPECT_EQ(ReadText(game / "textures" / "MySkins.utx"), ReadText(dir / "MySkins.utx"));
  EXPECT_EQ(ReadText(game / "SYSTEM" / "MySkins.int"), ReadText(dir / "MySkins.int"));
  EXPECT_FALSE(fs::exists(game / "Textures"));

  // A game folder stored as a Windows path: the message names the folder the files went to.
  const fs::path wine = dir / "wine";
  const fs::path drive = wine / "dosdevices" / "c:" / "UnrealTournament";
  fs::create_directories(drive / "Textures");
  fs::create_directories(drive / "System");
  setenv("WINEPREFIX", wine.c_str(), 1);
  f.Project.GameFolder = "C:\\UnrealTournament\\";
  const TCompileMessage w = CompilePackageFiles(f.Project, true);
  unsetenv("WINEPREFIX");
  EXPECT_EQ(w.Text, "Project compiled and installed under " + drive.string());
  EXPECT_EQ(ReadText(drive / "Textures" / "MySkins.utx"), ReadText(dir / "MySkins.utx"));
}

TEST(CompileFiles, AFailedCopyIsAnErrorNamingTheFile) {
  const fs::path dir = ProcessScratchDir("nocopy");
  const fs::path game = dir / "Game";
  fs::create_directories(game / "Textures");  // no System folder
  TProjectFixture f = SmallProject(dir);
  f.Project.GameFolder = game.string();
  const TCompileMessage m = CompilePackageFiles(f.Project, true);
  EXPECT_TRUE(m.IsError);
  EXPECT_EQ(m.Caption, "ERROR");
  EXPECT_NE(m.Text.find((dir / "MySkins.int").string()), std::string::npos) << m.Text;
  EXPECT_EQ(m.Text.find("installed"), std::string::npos);
  EXPECT_FALSE(fs::exists(game / "Textures" / "MySkins.utx")) << "a package without its description";

  // A game folder that does not exist names the package, the first file it could not copy.
  f.Project.GameFolder = (dir / "Nowhere").string();
  const TCompileMessage n = CompilePackageFiles(f.Project, true);
  EXPECT_EQ(n.Caption, "ERROR");
  EXPECT_NE(n.Text.find("MySkins.utx"), std::string::npos) << n.Text;
}

TEST(CompileFiles, APackageAndItsDescriptionAreReplacedAsAPair) {
  // The description fails after the package was written in full: the folder keeps its old pair.
  const struct {
    bool Install;
    bool DescriptionIsAFolder;  // else the installed description is read-only
  } cases[] = {{false, true}, {false, false}, {true, true}, {true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "install " << c.Install << ", folder " << c.DescriptionIsAFolder);
    const fs::path dir = ProcessScratchDir("pair");
    const fs::path game = dir / "Game";
    fs::create_directories(game / "Textures");
    fs::create_directories(game / "System");
    const fs::path target = c.Install ? game / "Textures" : dir, targetInt = c.Install ? game / "System" : dir;
    WriteBytes(target / "MySkins.utx", {1, 2, 3});
    const fs::path ini = targetInt / "MySkins.int";
    if (c.DescriptionIsAFolder) {
      fs::create_directory(ini);
    } else {
      WriteBytes(ini, "[Public]\r\n");
      fs::permissions(ini, fs::perms::owner_read);
    }
    TProjectFixture f = SmallProject(dir);
    f.Project.GameFolder = game.string();
    std::string message;
    try {
      const TCompileMessage m = CompilePackageFiles(f.Project, c.Install);
      EXPECT_TRUE(m.IsError);
      message = m.Text;
    } catch (const Exception& e) {
      EXPECT_FALSE(c.Install) << "an install failure is reported, not raised";
      message = e.Message;
    }
    EXPECT_NE(message.find("\"" + ini.string() + "\""), std::string::npos) << message;
    EXPECT_EQ(ReadBytes(target / "MySkins.utx"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(FileCount(target), c.Install ? 1 : 3) << "no temporary or backup file left";
    EXPECT_EQ(FileCount(targetInt), c.Install ? 1 : 3);
  }
}

TEST(CompileFiles, ARefusedNameWritesNothing) {
  const fs::path dir = ProcessScratchDir("samename");
  TProjectFixture f = SmallProject(dir);
  f.AddTexture(1, Texture24(8, 8), CubePalette(), "Face");
  f.AddTexture(1, Texture24(8, 8), CubePalette(), "face");
  EXPECT_THROW(CompilePackageFiles(f.Project, false), EConvertError);
  EXPECT_EQ(FileCount(dir), 0);
}

TEST(CompileFiles, InstallReplacesAnInstalledFileOfAnotherLetterCase) {
  const fs::path dir = ProcessScratchDir("installcase");
  const fs::path game = dir / "Game";
  fs::create_directories(game / "Textures");
  fs::create_directories(game / "System");
  WriteBytes(game / "Textures" / "MYSKINS.UTX", {1, 2, 3});
  WriteBytes(game / "System" / "myskins.INT", {4});
  TProjectFixture f = SmallProject(dir);
  f.Project.GameFolder = game.string();
  EXPECT_FALSE(CompilePackageFiles(f.Project, true).IsError);
  EXPECT_EQ(ReadText(game / "Textures" / "MYSKINS.UTX"), ReadText(dir / "MySkins.utx"));
  EXPECT_EQ(ReadText(game / "System" / "myskins.INT"), ReadText(dir / "MySkins.int"));
  EXPECT_EQ(FileCount(game / "Textures"), 1);
  EXPECT_EQ(FileCount(game / "System"), 1);
}
