#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "platform/Registry.h"
#include "tests/support/Files.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/Scratch.h"

using namespace testsupport;

TEST(Registry, StoreFileComesFromTheEnvironment) {
  TScratchDir tmp("regenv");
  {
    TScopedEnv r("CORVANE_REGISTRY", nullptr);
    TScopedEnv x("XDG_CONFIG_HOME", tmp.Str().c_str());
    EXPECT_EQ(TRegistry::StoreFileName(), tmp / "corvane/registry.ini");
    // The folder is made on the first write.
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\.cvmx", true));
    reg.WriteString("", "CVMXfile");
    EXPECT_EQ(ReadText(tmp / "corvane/registry.ini"), "[.cvmx]\r\n@=CVMXfile\r\n");
  }
  {
    TScopedEnv r("CORVANE_REGISTRY", (tmp / "other.ini").c_str());
    EXPECT_EQ(TRegistry::StoreFileName(), tmp / "other.ini");
  }
  {
    TScopedEnv r("CORVANE_REGISTRY", nullptr);
    TScopedEnv x("XDG_CONFIG_HOME", nullptr);
    TScopedEnv h("HOME", "/home/someone");
    EXPECT_EQ(TRegistry::StoreFileName(), "/home/someone/.config/corvane/registry.ini");
  }
}

TEST(Registry, KeysOpenCreateAndHoldValues) {
  TScratchDir tmp("reg");
  TScopedEnv r("CORVANE_REGISTRY", (tmp / "registry.ini").c_str());
  WriteBytes(tmp / "registry.ini",
             "[unreal\\Shell\\open\\command]\r\n"
             "@=\"C:\\UnrealTournament\\System\\UnrealTournament.exe\" %1\r\n");
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey("\\deusex\\Shell\\open\\command", false));
  EXPECT_FALSE(reg.KeyExists("\\deusex"));
  // Parents of a stored key exist; paths ignore letter case and doubled backslashes.
  EXPECT_TRUE(reg.KeyExists("\\Unreal\\shell"));
  EXPECT_FALSE(reg.KeyExists("\\Unreal\\she"));
  ASSERT_TRUE(reg.OpenKey("\\UNREAL\\\\shell\\Open\\Command\\", false));
  EXPECT_EQ(reg.ReadString(""), "\"C:\\UnrealTournament\\System\\UnrealTournament.exe\" %1");
  EXPECT_TRUE(reg.ValueExists(""));
  EXPECT_FALSE(reg.ValueExists("Other"));
  EXPECT_EQ(reg.ReadString("Other"), "");
  reg.CloseKey();
  EXPECT_EQ(reg.ReadString(""), "");
  EXPECT_THROW(reg.WriteString("", "x"), EConvertError);

  // Relative paths go below the open key; a failed open keeps the open key.
  ASSERT_TRUE(reg.OpenKey("\\CVMXfile", true));
  ASSERT_TRUE(reg.OpenKey("shell", true));
  EXPECT_EQ(reg.CurrentPath(), "CVMXfile\\shell");
  EXPECT_FALSE(reg.OpenKey("nothing", false));
  EXPECT_EQ(reg.CurrentPath(), "CVMXfile\\shell");
  reg.WriteString("", "open");
  reg.WriteString("Name", "value with = sign");
  // Values come back exactly, also those the INI reader would trim or unquote.
  reg.WriteString("Quoted", "\"C:\\UT\\System\\UnrealTournament.exe\"");
  reg.WriteString("Blanks", "  two sides ");
  reg.WriteString("Single", "'");

  // Another registry object sees what was written.
  TRegistry other;
  ASSERT_TRUE(other.OpenKey("\\cvmxFILE\\SHELL", false));
  EXPECT_EQ(other.ReadString(""), "open");
  EXPECT_EQ(other.ReadString("name"), "value with = sign");
  EXPECT_EQ(other.ReadString("Quoted"), "\"C:\\UT\\System\\UnrealTournament.exe\"");
  EXPECT_EQ(other.ReadString("Blanks"), "  two sides ");
  EXPECT_EQ(other.ReadString("Single"), "'");
  ASSERT_TRUE(other.OpenKey("\\CVMXfile", false));
  EXPECT_EQ(other.ReadString(""), "");
  EXPECT_FALSE(other.ValueExists(""));
}

TEST(Registry, KeysWrittenByHandWithStrayBackslashesHoldTheirValues) {
  TScratchDir tmp("reghand");
  TScopedEnv r("CORVANE_REGISTRY", (tmp / "registry.ini").c_str());
  // Sections named the way the key is written on Windows: a leading backslash, a doubled one,
  // a trailing one.
  WriteBytes(tmp / "registry.ini",
             "[\\unreal\\Shell\\open\\command]\r\n@=D:\\UT\\System\\UnrealTournament.exe\r\n"
             "[.cvmx\\]\r\n@=MyType\r\n"
             "[MyType\\\\shell]\r\n@=edit\r\n");
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\unreal\\Shell\\open\\command", false));
  EXPECT_EQ(reg.ReadString(""), "D:\\UT\\System\\UnrealTournament.exe");
  EXPECT_TRUE(reg.ValueExists(""));
  ASSERT_TRUE(reg.OpenKey("\\.cvmx", true));
  EXPECT_EQ(reg.ReadString(""), "MyType");
  // A write goes into the key's own section, not into a second section of the same key.
  ASSERT_TRUE(reg.OpenKey("\\MyType\\shell", true));
  EXPECT_EQ(reg.ReadString(""), "edit");
  reg.WriteString("", "open");
  EXPECT_EQ(ReadText(tmp / "registry.ini"),
            "[\\unreal\\Shell\\open\\command]\r\n@=D:\\UT\\System\\UnrealTournament.exe\r\n"
            "[.cvmx\\]\r\n@=MyType\r\n"
            "[MyType\\\\shell]\r\n@=open\r\n");
}

TEST(Registry, ReadsAStoreThatCannotBeWrittenAndReportsTheWrite) {
  TScratchDir tmp("regro");
  TScopedEnv r("CORVANE_REGISTRY", (tmp / "missing-folder/sub/registry.ini").c_str());
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey("\\unreal\\Shell\\open\\command", false));
  // The folder is created when a key is.
  EXPECT_TRUE(reg.OpenKey("\\x", true));
  EXPECT_TRUE(std::filesystem::exists(tmp / "missing-folder/sub/registry.ini"));

  TScopedEnv r2("CORVANE_REGISTRY", "/proc/corvane-cannot-write/registry.ini");
  TRegistry ro;
  EXPECT_THROW(ro.OpenKey("\\x", true), EInOutError);
}
