// The two compile commands of the Actions menu, run from the window under Xvfb on a small
// project: the package and its .int beside the project, the install into a game folder, and
// the boxes they show.
#include <gtest/gtest.h>

#include <QAction>

#include "MainWindowTestSupport.h"
#include "editor_core/SkinTreeTestModel.h"
#include "model/crvn_struc.h"

using namespace mainwindow_test;
namespace fs = std::filesystem;

namespace {
class CompileCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    Tmain_unificada& w = env.Create();
    folder = env.Root / "projects";
    fs::create_directories(folder);
    auto model = editor_test::MakeModel();
    TSkinTree tree;
    tree.SetRoot("skins (Male)");
    TSkinNode* skin = AddSkin(tree, "Boss", "boss", *model);
    TSkinNode* body = editor_test::SectionNode(skin, 1);
    body->AddChild("< Default >")->Texture = editor_test::MakeTexture("", "", 32, 32, 1);
    body->AddChild("<Blue Team>")->Texture = editor_test::MakeTexture("t_1", "", 32, 32, 2);
    editor_test::SectionNode(skin, 2)->AddChild("chief")->Texture =
        editor_test::MakeTexture("chief", "The Chief", 16, 16, 3);
    tree.Sort();  // sections by number, as the editor keeps its tree
    w.Document().Tree() = std::move(tree);
    // Opened as a Load opens it: the tree shown, the palettes built, the commands enabled.
    w.Document().SetUp({.Model = std::move(model), .ProjectFileName = (folder / "skins.cvp").string()});
  }
  void Run(const char* action) {
    QAction* a = C<QAction>(*env.Window, action);
    ASSERT_TRUE(a->isEnabled()) << action;
    a->trigger();
  }

  TWindowEnv env;
  fs::path folder;
};
}  // namespace

TEST_F(CompileCommands, CompileAndCompileAndInstall) {
  Tmain_unificada& w = *env.Window;
  Run("mnu_CreateUTXINT");
  EXPECT_EQ(env.Prompts.Messages(), (std::vector<std::string>{"Compilation: Project compiled!"}));
  ASSERT_TRUE(fs::exists(folder / "skins.utx"));
  EXPECT_EQ(ReadText(folder / "skins.int"),
            "[Public]\r\n"
            "Object=(Name=skins.boss1,Class=Texture,Description=\"Boss\")\r\n"
            "Object=(Name=skins.boss1T_1,Class=Texture)\r\n"
            "Object=(Name=skins.boss2chief,Class=Texture,Description=\"The Chief\")\r\n");
  EXPECT_TRUE(w.isEnabled());

  const fs::path game = env.Root / "UnrealTournament";
  fs::create_directories(game / "Textures");
  fs::create_directories(game / "system");
  w.Document().SetUp({.GameFolder = game.string()});
  Run("mnu_CompileProjecttoUTXINTandInstallinUT");
  ASSERT_EQ(env.Prompts.Messages().size(), 2u);
  EXPECT_EQ(env.Prompts.Messages()[1], "Compilation: Project compiled and installed under " + game.string());
  EXPECT_EQ(ReadText(game / "Textures" / "skins.utx"), ReadText(folder / "skins.utx"));
  EXPECT_EQ(ReadText(game / "system" / "skins.int"), ReadText(folder / "skins.int"));
}

TEST_F(CompileCommands, AFailedInstallCopyShowsAnErrorAndNoSuccess) {
  Tmain_unificada& w = *env.Window;
  w.Document().SetUp({.GameFolder = (env.Root / "NoGameHere").string()});
  Run("mnu_CompileProjecttoUTXINTandInstallinUT");
  const std::vector<std::string> shown = env.Prompts.Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].rfind("ERROR: Could not copy " + (folder / "skins.utx").string(), 0), 0u) << shown[0];
  EXPECT_TRUE(w.isEnabled());
  EXPECT_TRUE(fs::exists(folder / "skins.utx"));
}
