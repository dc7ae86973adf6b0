#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Exceptions.h"
#include "platform/FileTimes.h"
#include "platform/Paths.h"
#include "platform/StrUtils.h"
#include "tests/support/Files.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/Scratch.h"

using namespace testsupport;

namespace fs = std::filesystem;

TEST(Paths, WindowsDrivePathsMapThroughTheWinePrefix) {
  TScratchDir tmp("wine");
  fs::create_directories(tmp.Path() / "prefix/drive_c");
  fs::create_directories(tmp.Path() / "prefix/dosdevices");
  fs::create_directories(tmp.Path() / "elsewhere");
  fs::create_directory_symlink("../drive_c", tmp.Path() / "prefix/dosdevices/c:");
  fs::create_directory_symlink(tmp.Path() / "elsewhere", tmp.Path() / "prefix/dosdevices/e:");
  std::string driveC = fs::canonical(tmp.Path() / "prefix/drive_c").string();
  {
    TScopedEnv w("WINEPREFIX", (tmp / "prefix").c_str());
    EXPECT_EQ(ToNativePath("C:\\UnrealTournament"), driveC + "/UnrealTournament");
    EXPECT_EQ(ToNativePath("c:\\UnrealTournament\\System\\"), driveC + "/UnrealTournament/System/");
    EXPECT_EQ(ToNativePath("C:"), driveC);
    EXPECT_EQ(ToNativePath("E:\\Games\\x.utx"), fs::canonical(tmp.Path() / "elsewhere").string() + "/Games/x.utx");
    // A drive without a link stays under dosdevices, where wine would look for it.
    EXPECT_EQ(ToNativePath("Q:\\a"), tmp / "prefix/dosdevices/q:" + "/a");
    EXPECT_EQ(ToNativePath("Textures\\Skin.utx"), "Textures/Skin.utx");
    EXPECT_EQ(ToNativePath("/already/native"), "/already/native");
  }
  {
    // Without WINEPREFIX the prefix is ~/.wine; without a prefix drive C is its drive_c.
    TScopedEnv w("WINEPREFIX", nullptr);
    TScopedEnv h("HOME", tmp.Str().c_str());
    EXPECT_EQ(ToNativePath("C:\\UnrealTournament"), tmp / ".wine/drive_c/UnrealTournament");
  }
}

TEST(Paths, CaseInsensitiveResolutionFindsFilesWrittenOnWindows) {
  TScratchDir tmp("ci");
  fs::create_directories(tmp.Path() / "CustomModels");
  WriteBytes(tmp / "CustomModels/MaleWire1.bmp", "x");
  WriteBytes(tmp / "CustomModels/dup.txt", "lower");
  WriteBytes(tmp / "CustomModels/DUP.txt", "upper");
  EXPECT_EQ(ResolveCaseInsensitive(tmp / "custommodels/malewire1.BMP"), tmp / "CustomModels/MaleWire1.bmp");
  EXPECT_EQ(ResolveCaseInsensitive(tmp / "CustomModels/MaleWire1.bmp"), tmp / "CustomModels/MaleWire1.bmp");
  // The exact name wins; among case variants the first in name order.
  EXPECT_EQ(ResolveCaseInsensitive(tmp / "CUSTOMMODELS/dup.txt"), tmp / "CustomModels/dup.txt");
  EXPECT_EQ(ResolveCaseInsensitive(tmp / "custommodels/Dup.TXT"), tmp / "CustomModels/DUP.txt");
  // Nothing matches: the name as given.
  EXPECT_EQ(ResolveCaseInsensitive(tmp / "custommodels/none.bmp"), tmp / "custommodels/none.bmp");
  EXPECT_EQ(ResolveCaseInsensitive(tmp / "nofolder/x/y"), tmp / "nofolder/x/y");
  EXPECT_EQ(ResolveCaseInsensitive(tmp / "customMODELS/"), tmp / "CustomModels/");
  EXPECT_EQ(ResolveCaseInsensitive(""), "");
}

TEST(Paths, ListingsAreFilteredAndSortedWithoutLetterCase) {
  TScratchDir tmp("list");
  for (const char* n : {"b.cvmx", "A.cvmx", "c.CVMX", "a2.cvmx", "x.txt", "y.cvmx.bak", ".cvmx"})
    WriteBytes(tmp / n, "");
  fs::create_directories(tmp.Path() / "d.cvmx");
  EXPECT_EQ(ListFiles(tmp.Str(), "*.cvmx"),
            (std::vector<std::string>{".cvmx", "A.cvmx", "a2.cvmx", "b.cvmx", "c.CVMX"}));
  EXPECT_EQ(ListFiles(tmp.Str(), "?.*").size(), 5u);
  EXPECT_TRUE(ListFiles(tmp / "missing", "*").empty());
  EXPECT_TRUE(MatchesMask("abc", "a*c"));
  EXPECT_TRUE(MatchesMask("ac", "a*c"));
  EXPECT_TRUE(MatchesMask("aXbXc", "a*b*c"));
  EXPECT_FALSE(MatchesMask("abcd", "a*c"));
  EXPECT_FALSE(MatchesMask("", "?"));
  EXPECT_TRUE(MatchesMask("", "*"));
}

TEST(Paths, NamePartsAcceptBothSeparators) {
  EXPECT_EQ(ExtractFilePath("C:\\Games\\UT\\x.cvmx"), "C:\\Games\\UT\\");
  EXPECT_EQ(ExtractFilePath("/opt/corvane/CustomModels\\m.cvmx"), "/opt/corvane/CustomModels\\");
  EXPECT_EQ(ExtractFilePath("name"), "");
  EXPECT_EQ(ExtractFileName("a\\b/c.bmp"), "c.bmp");
  EXPECT_EQ(ExtractFileExt("a.dir\\file"), "");
  EXPECT_EQ(ExtractFileExt("skin.tar.BMP"), ".BMP");
  EXPECT_EQ(ChangeFileExt("/opt/corvane/corvane", ".ini"), "/opt/corvane/corvane.ini");
  EXPECT_EQ(ChangeFileExt("dir.d/file", ".ini"), "dir.d/file.ini");
  EXPECT_EQ(ChangeFileExt("a.b.c", ""), "a.b");
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\x\\"), "C:\\x\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/x"), "/x/");
  EXPECT_TRUE(SameText("CustomModels", "custommodels"));
  EXPECT_FALSE(SameText("Male", "Mal"));
  EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
  EXPECT_TRUE(StartsText("model-", "MODEL-Foo"));
  EXPECT_FALSE(StartsText("model-", "Models"));
}

TEST(Paths, ProgramFolderFollowsCorvaneHomeOrTheExecutable) {
  {
    TScopedEnv h("CORVANE_HOME", "/opt/corvane");
    EXPECT_EQ(ProgramFolder(), "/opt/corvane/");
    EXPECT_EQ(ProgramFileName(), "/opt/corvane/corvane");
  }
  TScopedEnv h("CORVANE_HOME", nullptr);
  std::string exe = ProgramFileName();
  EXPECT_TRUE(FileExists(exe)) << exe;
  EXPECT_EQ(ExtractFileName(exe), "test_platform");
  EXPECT_EQ(ProgramFolder(), ExtractFilePath(exe));
}

TEST(FileTimes, AgesChangeWithinASecondAndMissingFilesGiveMinusOne) {
  TScratchDir tmp("age");
  EXPECT_EQ(FileAge(tmp / "none"), -1);
  WriteBytes(tmp / "t.bmp", "x");
  int64_t a = FileAge(tmp / "t.bmp");
  EXPECT_GT(a, 0);
  SetFileAge(tmp / "t.bmp", a + 1000);  // a microsecond later
  EXPECT_EQ(FileAge(tmp / "t.bmp"), a + 1000);
  EXPECT_THROW(SetFileAge(tmp / "none", a), EInOutError);
  ForceDirectories(tmp / "a/b/c");
  EXPECT_TRUE(DirectoryExists(tmp / "a/b/c"));
  EXPECT_FALSE(FileExists(tmp / "a/b/c"));
  EXPECT_THROW(ForceDirectories(tmp / "t.bmp/sub"), EInOutError);
}
