// Start-up against the file-backed registry: the game folder from the game's open command and
// the registration of the model extension file type.
#include <gtest/gtest.h>

#include <QScrollBar>

#include "MainWindowTestSupport.h"
#include "platform/Registry.h"

using namespace mainwindow_test;

namespace {
std::string Value(const std::string& key) {
  TRegistry reg;
  if (!reg.OpenKey(key, false)) return "<no key>";
  return reg.ReadString("");
}

void Put(const std::string& key, const std::string& value) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(key, true));
  reg.WriteString("", value);
}
}  // namespace

TEST(GameFolderFromCommand, CutsBeforeTheGameProgramAndDropsTheQuote) {
  EXPECT_EQ(GameFolderFromCommand("\"C:\\Games\\UT\\System\\UnrealTournament.exe\" %1"), "C:\\Games\\UT");
  EXPECT_EQ(GameFolderFromCommand("D:\\UT\\System\\UnrealTournament.exe %1"), "D:\\UT");
  // The first occurrence counts.
  EXPECT_EQ(GameFolderFromCommand("C:\\A\\System\\UnrealTournament.exe C:\\B\\System\\UnrealTournament.exe"), "C:\\A");
  // Another program, another letter case, nothing, or only the program's name: no folder.
  EXPECT_EQ(GameFolderFromCommand("C:\\UT\\System\\Unreal.exe %1"), "");
  EXPECT_EQ(GameFolderFromCommand("C:\\UT\\system\\unrealtournament.exe"), "");
  EXPECT_EQ(GameFolderFromCommand(""), "");
  EXPECT_EQ(GameFolderFromCommand("\\System\\UnrealTournament.exe"), "");
  EXPECT_EQ(GameFolderFromCommand("\"\\System\\UnrealTournament.exe\""), "");
}

TEST(StartupRegistry, GameFolderFromTheRegisteredCommandOrTheDefault) {
  {
    TWindowEnv env;  // empty store
    EXPECT_EQ(env.Create().State().GameFolder(), "C:\\UnrealTournament");
  }
  {
    TWindowEnv env;
    Put("\\unreal\\Shell\\open\\command", "\"E:\\Games\\Unreal Tournament\\System\\UnrealTournament.exe\" \"%1\"");
    EXPECT_EQ(env.Create().State().GameFolder(), "E:\\Games\\Unreal Tournament");
  }
  {
    TWindowEnv env;
    Put("\\unreal\\Shell\\open\\command", "\"E:\\Unreal\\System\\Unreal.exe\" \"%1\"");
    EXPECT_EQ(env.Create().State().GameFolder(), "C:\\UnrealTournament");
  }
  {
    // Key names compare without letter case, as on Windows.
    TWindowEnv env;
    WriteText(env.Registry, "[Unreal\\shell\\Open\\Command]\r\n@=F:\\UT\\System\\UnrealTournament.exe\r\n");
    EXPECT_EQ(env.Create().State().GameFolder(), "F:\\UT");
  }
}

TEST(StartupRegistry, RegistersTheModelExtensionTypeKeepingWhatIsThere) {
  {
    TWindowEnv env;
    env.Create();
    EXPECT_EQ(Value("\\.cvmx"), "CVMXfile");
    EXPECT_EQ(Value("\\CVMXfile"), "Corvane Model Extension");
    EXPECT_EQ(Value("\\CVMXfile\\shell"), "open");
    EXPECT_EQ(Value("\\CVMXfile\\shell\\open"), "&Open");
    EXPECT_EQ(Value("\\CVMXfile\\shell\\open\\command"), "NOTEPAD.EXE \"%L\"");
    // A second start changes nothing.
    const std::string first = ReadText(env.Registry);
    env.Window.reset();
    env.Create();
    EXPECT_EQ(ReadText(env.Registry), first);
  }
  {
    // Another program owns ".cvmx": its type name is kept and used; "shell" is set to "open"
    // on every start; the other values stay when they are not empty.
    TWindowEnv env;
    Put("\\.cvmx", "OtherType");
    Put("\\OtherType", "Other program's models");
    Put("\\OtherType\\shell", "edit");
    Put("\\OtherType\\shell\\open", "");
    Put("\\OtherType\\shell\\open\\command", "vi \"%1\"");
    env.Create();
    EXPECT_EQ(Value("\\.cvmx"), "OtherType");
    EXPECT_EQ(Value("\\OtherType"), "Other program's models");
    EXPECT_EQ(Value("\\OtherType\\shell"), "open");
    EXPECT_EQ(Value("\\OtherType\\shell\\open"), "&Open");
    EXPECT_EQ(Value("\\OtherType\\shell\\open\\command"), "vi \"%1\"");
    EXPECT_EQ(Value("\\CVMXfile"), "<no key>");
  }
}

TEST(StartupRegistry, AnUnusableStoreDoesNotStopTheStart) {
  TWindowEnv env;
  // The store's path is a folder: it can be neither read nor written.
  std::filesystem::create_directories(env.Registry);
  Tmain_unificada& w = env.Create();
  EXPECT_EQ(w.State().GameFolder(), "C:\\UnrealTournament");
  EXPECT_EQ(w.windowTitle().toStdString(), "Corvane v2.4.1");
  EXPECT_EQ(C<TLabelScrollBar>(w, "brush_size")->Value(), 15);
  EXPECT_TRUE(env.Prompts.Shown.empty());
}
