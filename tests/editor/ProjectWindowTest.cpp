// The skin editor's road through the window under Xvfb: New Project with the Select Model
// dialog, a new skin, imported textures, a texture added through the New Texture dialog, Save,
// closing, and Load in a new window; then the failures that must leave the open project alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "MainWindowTestSupport.h"
#include "editor_core/SkinTreeTestModel.h"
#include "editor/DialogExec.h"
#include "editor/crvn_newgroup.h"
#include "editor/crvn_newtexture.h"
#include "editor/crvn_selectmodel.h"
#include "model/crvn_struc.h"
#include "platform/FileTimes.h"
#include "platform/MessagePump.h"
#include "platform/qt/BitmapImage.h"

using namespace mainwindow_test;
namespace fs = std::filesystem;

namespace {

const char* const MaleFile =
    "[Model-Male]\r\nName=Male Soldier\r\nPrefix=Male\r\n3DFile=male.cvmd\r\n"
    "Section1=Body, TEAM, TextureIs64x64\r\nSection2=Head, FACE, TextureIs32x32\r\n";
const char* const OtherFile = "[Model-Other]\r\nName=Other Model\r\nPrefix=Oth\r\nSection1=All\r\n";

// File times the tests set, whole seconds apart so that a file system keeping coarser times
// than nanoseconds still sees each change.
constexpr int64_t kSecond = 1'000'000'000;
constexpr int64_t kT0 = 1'600'000'000 * kSecond;

QTreeWidgetItem* Item(QTreeWidget* tree, const std::string& text) {
  QList<QTreeWidgetItem*> found = tree->findItems(QString::fromStdString(text), Qt::MatchExactly | Qt::MatchRecursive);
  if (found.isEmpty()) throw std::runtime_error("no tree item " + text);
  return found.front();
}

// Answers the program's own dialogs in turn; each answer may fill the dialog in first.
class TDialogScript {
 public:
  std::vector<std::function<int(QDialog&)>> Answers;
  std::vector<std::string> Shown;  // window titles, in order
  TDialogScript() {
    FPrevious = SetDialogExecHook([this](QDialog& d) {
      Shown.push_back(d.windowTitle().toStdString());
      if (Answers.empty()) {
        ADD_FAILURE() << "unexpected dialog " << Shown.back();
        return 2;
      }
      auto a = std::move(Answers.front());
      Answers.erase(Answers.begin());
      int result = a(d);
      if (const char* shots = std::getenv("CORVANE_TEST_SCREENSHOTS"))
        d.grab().save(QString("%1/dialog-%2.png").arg(shots).arg(Shown.size()));
      return result;
    });
  }
  ~TDialogScript() { SetDialogExecHook(FPrevious); }
  TDialogScript(const TDialogScript&) = delete;
  TDialogScript& operator=(const TDialogScript&) = delete;

 private:
  TDialogExecHook FPrevious;
};

class ProjectWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteText(env.Home / "male.cvmx", MaleFile);
    WriteText(env.Home / "other.cvmx", OtherFile);
    home = env.Home.string() + "/";
    project = home + "projects/skins.cvp";
    fs::create_directories(home + "projects");
  }
  QAction* Act(const char* name) { return C<QAction>(*env.Window, name); }
  QTreeWidget* Tree() { return C<QTreeWidget>(*env.Window, "ArbolTexturas"); }
  // New Project through the dialogs: the model chosen by its row, then the file name.
  void NewProject(Tmain_unificada& w) {
    dialogs.Answers.push_back([](QDialog& d) {
      auto& dlg = dynamic_cast<Tfrm_selectmodel&>(d);
      auto* list = C<QTreeWidget>(dlg, "lista_modelos");
      auto* ok = C<QPushButton>(dlg, "btn_ok");
      EXPECT_EQ(list->topLevelItemCount(), 2);
      EXPECT_FALSE(ok->isEnabled()) << "Ok waits for a row";
      EXPECT_FALSE(C<QLabel>(dlg, "lbl_nomodels")->isVisibleTo(&dlg));
      QTreeWidgetItem* male = list->findItems("Male Soldier", Qt::MatchExactly).front();
      EXPECT_EQ(male->text(1).toStdString(), "Yes");
      EXPECT_EQ(list->findItems("Other Model", Qt::MatchExactly).front()->text(1).toStdString(), "No");
      list->setCurrentItem(male);
      EXPECT_TRUE(ok->isEnabled());
      return 1;
    });
    env.Prompts.QueueSaveFile(project);
    Act("mnu_NewProject")->trigger();
    (void)w;
  }
  void AddSkin(const std::string& description, const std::string& code) {
    PopupOn(Tree()->topLevelItem(0));
    dialogs.Answers.push_back([=](QDialog& d) {
      C<QLineEdit>(d, "groupdescription")->setText(QString::fromStdString(description));
      C<QLineEdit>(d, "groupcode")->setText(QString::fromStdString(code));
      return 1;
    });
    Act("popuparbol_NewGroup")->trigger();
  }

  TWindowEnv env;
  TDialogScript dialogs;
  std::string home, project;
};

}  // namespace

TEST_F(ProjectWindow, NewSkinImportSaveCloseAndLoad) {
  Tmain_unificada& w = env.Create();
  w.resize(1100, 700);
  w.show();
  QApplication::setActiveWindow(&w);
  EXPECT_FALSE(Act("mnu_SaveProject")->isEnabled());

  NewProject(w);
  ASSERT_EQ(env.Prompts.FileDialogs.size(), 1u);
  EXPECT_EQ(env.Prompts.FileDialogs[0].Title, "Saving Corvane Project (prefix must be \"Male\")");
  EXPECT_EQ(env.Prompts.FileDialogs[0].FileName, "Male");
  EXPECT_EQ(w.windowTitle().toStdString(), "Corvane v2.4.1 - (Male Soldier) " + project);
  EXPECT_EQ(TreeLines(Tree()), "skins (Male)\n");
  EXPECT_TRUE(Act("mnu_SaveProject")->isEnabled());
  EXPECT_TRUE(Act("mnu_Importtexture")->isEnabled());
  EXPECT_FALSE(fs::exists(project)) << "New does not write the file";

  // A new skin whose description holds "(" and ";", its code left blank.
  AddSkin("Boss (v2); red", "");
  EXPECT_TRUE(w.State().ProjectModified());
  EXPECT_EQ(TreeLines(Tree()), "skins (Male)\n  Boss (v2); red (boss)\n    Body\n    Head\n");

  // Import: a blue team texture of the wrong size, a face, and a file of a new skin.
  const std::string tex = home + "textures/";
  editor_test::WritePicture(tex + "boss1t_1.bmp", 16, 16, 1);
  editor_test::WritePicture(tex + "boss2chief.bmp", 32, 32, 2);
  editor_test::WritePicture(tex + "zzzz1.bmp", 64, 64, 3);
  env.Prompts.QueueOpenFiles(std::vector<std::string>{tex + "boss1t_1.bmp", tex + "boss2chief.bmp", tex + "zzzz1.bmp"});
  Act("mnu_Importtexture")->trigger();
  EXPECT_TRUE(env.Prompts.FileDialogs.back().MultiSelect);

  // A red team texture through the New Texture dialog, whose choices leave out the blue one.
  editor_test::WritePicture(tex + "red.bmp", 64, 64, 4);
  PopupOn(Item(Tree(), "Body"));
  dialogs.Answers.push_back([&](QDialog& d) {
    EXPECT_EQ(d.windowTitle().toStdString(), "New Texture");
    auto* combo = C<QComboBox>(d, "insert_as");
    std::vector<std::string> items;
    for (int i = 0; i < combo->count(); ++i) items.push_back(combo->itemText(i).toStdString());
    EXPECT_EQ(items, (std::vector<std::string>{"< Default >", "<Gold Team>", "<Green Team>", "<Red Team>"}));
    // "..." opens the picture dialog for one file.
    env.Prompts.QueueOpenFiles(std::vector<std::string>{tex + "red.bmp"});
    C<QToolButton>(d, "bitmap_select")->click();
    EXPECT_FALSE(env.Prompts.FileDialogs.back().MultiSelect);
    EXPECT_EQ(env.Prompts.FileDialogs.back().Title, "Select Texture file");
    EXPECT_EQ(C<QLineEdit>(d, "bitmap")->text().toStdString(), tex + "red.bmp");
    combo->setCurrentIndex(combo->findText("<Red Team>"));
    return 1;
  });
  Act("popuparbol_AddTexture")->trigger();
  EXPECT_EQ(TreeLines(Tree()),
            "skins (Male)\n"
            "  Boss (v2); red (boss)\n    Body\n      <Blue Team>\n      <Red Team>\n    Head\n      chief\n"
            "  zzzz (zzzz)\n    Body\n      < Default >\n    Head\n");

  // Selecting a texture shows it, its file in the status bar and the painter's tools.
  Tree()->setCurrentItem(Item(Tree(), "<Blue Team>"));
  EXPECT_EQ(C<QLabel>(w, "StatusBarText")->text().toStdString(), tex + "boss1t_1.bmp");
  EXPECT_TRUE(C<QWidget>(w, "Panel_tools_texturas")->isVisible());
  ASSERT_NE(SelectedTexture(w), nullptr);
  EXPECT_EQ(SelectedTexture(w)->Bitmap->Width(), 64) << "resampled to the section's size";
  Tree()->setCurrentItem(Item(Tree(), "Head"));
  EXPECT_EQ(C<QLabel>(w, "StatusBarText")->text().toStdString(), "Section 2, Textures are 32x32, Allows Faces");
  EXPECT_FALSE(C<QWidget>(w, "Panel_tools_texturas")->isVisible());
  Tree()->setCurrentItem(Item(Tree(), "<Red Team>"));
  C<QRadioButton>(w, "opt_reducepalettes1")->click();
  QApplication::processEvents();
  if (const char* shots = std::getenv("CORVANE_TEST_SCREENSHOTS"))
    w.grab().save(QString::fromStdString(std::string(shots) + "/project-window.png"));

  // Save from the menu asks nothing.
  Act("mnu_SaveProject")->trigger();
  EXPECT_TRUE(env.Prompts.Messages().empty());
  EXPECT_FALSE(w.State().ProjectModified());
  ASSERT_TRUE(fs::exists(project));
  const std::string text = ReadText(project);
  EXPECT_NE(text.find("Filename=textures\\boss1t_1.bmp\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("ReducePalettes=1\r\n"), std::string::npos);
  const std::string saved = TreeLines(Tree());
  EXPECT_TRUE(w.close());
  EXPECT_TRUE(env.Prompts.Messages().empty()) << "nothing unsaved";

  // Another window (a new run of the program) loads what was saved.
  env.Window.reset();
  Tmain_unificada& w2 = env.Create();
  w2.show();
  env.Prompts.QueueOpenFiles(std::vector<std::string>{project});
  Act("mnu_LoadProject")->trigger();
  EXPECT_EQ(TreeLines(Tree()), saved);
  EXPECT_EQ(w2.windowTitle().toStdString(), "Corvane v2.4.1 - (Male Soldier) " + project);
  EXPECT_TRUE(C<QRadioButton>(w2, "opt_reducepalettes1")->isChecked());
  EXPECT_FALSE(w2.State().ProjectModified());
  EXPECT_EQ(w2.Document().Tree().TextureNodes().size(), 4u);
  for (TSkinNode* n : w2.Document().Tree().TextureNodes())
    EXPECT_TRUE(n->Texture->Palette) << "palettes built after Load";
  EXPECT_TRUE(env.Prompts.Messages().empty());
  EXPECT_EQ(dialogs.Answers.size(), 0u);
  EXPECT_EQ(env.Prompts.Pending(), 0u);
}

TEST_F(ProjectWindow, FailedLoadKeepsTheOpenProjectAndMissingFilesAreListedOnce) {
  Tmain_unificada& w = env.Create();
  w.show();
  NewProject(w);
  AddSkin("Mine", "mine");
  const std::string tex = home + "textures/";
  editor_test::WritePicture(tex + "mine1.bmp", 64, 64, 1);
  env.Prompts.QueueOpenFiles(std::vector<std::string>{tex + "mine1.bmp"});
  Act("mnu_Importtexture")->trigger();
  Act("mnu_SaveProject")->trigger();
  const std::string lines = TreeLines(Tree());
  const std::string caption = w.windowTitle().toStdString();

  // A project of a model that is not installed.
  WriteText(home + "projects/female.cvp", "[General]\r\nModel=Female\r\n[Groups]\r\nabcd=A\r\n");
  env.Prompts.QueueOpenFiles(std::vector<std::string>{home + "projects/female.cvp"});
  Act("mnu_LoadProject")->trigger();
  EXPECT_EQ(env.Prompts.Messages(), (std::vector<std::string>{"ERROR: The model of this project is not installed!"}));
  EXPECT_EQ(TreeLines(Tree()), lines);
  EXPECT_EQ(w.windowTitle().toStdString(), caption);

  // A file that is no project (no [General] section): the error box names it; nothing changes,
  // so a later Save cannot write over it.
  WriteText(home + "projects/notes.cvp", std::string("\x7f"
                                                     "ELF\x02\x01\x01\0garbage",
                                                     16));
  env.Prompts.Shown.clear();
  env.Prompts.QueueOpenFiles(std::vector<std::string>{home + "projects/notes.cvp"});
  Act("mnu_LoadProject")->trigger();
  EXPECT_EQ(env.Prompts.Messages(),
            (std::vector<std::string>{"ERROR: " + ENotAProject(home + "projects/notes.cvp").Message}));
  EXPECT_EQ(TreeLines(Tree()), lines);
  EXPECT_EQ(w.windowTitle().toStdString(), caption);

  // New Project with the other model, cancelled at the file dialog: nothing changes.
  dialogs.Answers.push_back([](QDialog& d) {
    auto* list = C<QTreeWidget>(d, "lista_modelos");
    list->setCurrentItem(list->findItems("Other Model", Qt::MatchExactly).front());
    return 1;
  });
  env.Prompts.QueueSaveFile(std::nullopt);
  Act("mnu_NewProject")->trigger();
  EXPECT_EQ(env.Prompts.FileDialogs.back().Title, "Saving Corvane Project (prefix must be \"Oth\")");
  EXPECT_EQ(TreeLines(Tree()), lines);
  EXPECT_EQ(w.windowTitle().toStdString(), caption);
  EXPECT_EQ(w.State().CurrentModel()->Prefix, "Male");

  // A painted texture makes Load ask, even though the project itself is saved.
  w.Document().Tree().TextureNodes()[0]->Texture->Modified = true;
  EXPECT_FALSE(w.State().ProjectModified());
  fs::remove(tex + "mine1.bmp");
  env.Prompts.Shown.clear();
  env.Prompts.QueueAnswer(mrNo);
  env.Prompts.QueueOpenFiles(std::vector<std::string>{project});
  Act("mnu_LoadProject")->trigger();
  // The saved project's texture is gone now: listed once, and the project opens without it.
  EXPECT_EQ(env.Prompts.Messages(),
            (std::vector<std::string>{"Save Project: Save the project?",
                                      "WARNING: " + MissingFilesMessage({"textures\\mine1.bmp"})}));
  EXPECT_EQ(TreeLines(Tree()), "skins (Male)\n  Mine (mine)\n    Body\n    Head\n");

  // A texture file that cannot be read is listed with the reason; the rest of the project opens.
  WriteText(tex + "broken.bmp", "BM not a bitmap");
  editor_test::WritePicture(tex + "good.bmp", 64, 64, 2);
  WriteText(
      home + "projects/broken.cvp",
      "[General]\r\nModel=Male\r\n[Groups]\r\nbrok=Broken\r\n[brok#1#< Default >]\r\nFilename=textures\\broken.bmp\r\n"
      "[brok#2#< Default >]\r\nFilename=textures\\good.bmp\r\n");
  env.Prompts.Shown.clear();
  env.Prompts.QueueOpenFiles(std::vector<std::string>{home + "projects/broken.cvp"});
  Act("mnu_LoadProject")->trigger();
  ASSERT_EQ(env.Prompts.Messages().size(), 1u);
  const std::string warning = env.Prompts.Messages()[0];
  EXPECT_EQ(warning.rfind("WARNING: ", 0), 0u) << warning;
  EXPECT_NE(warning.find("textures\\broken.bmp: "), std::string::npos) << warning;
  EXPECT_EQ(TreeLines(Tree()), "broken (Male)\n  Broken (brok)\n    Body\n    Head\n      < Default >\n");
  EXPECT_EQ(env.Prompts.Pending(), 0u);
}

// A long load keeps the window painted: the hourglass, a running count in the status bar
// between texture lines, and the status text as it was afterwards.
TEST_F(ProjectWindow, ALongLoadShowsProgressAndKeepsTheWindowPainted) {
  Tmain_unificada& w = env.Create();
  w.show();
  editor_test::WritePicture(home + "textures/body.bmp", 64, 64, 1);
  editor_test::WritePicture(home + "textures/head.bmp", 32, 32, 2);
  std::string text = "[General]\r\nModel=Male\r\n[Groups]\r\n", textures;
  for (int k = 0; k < 150; ++k) {
    const std::string code = "s" + std::to_string(k);
    text += code + "=Skin " + std::to_string(k) + "\r\n";
    textures += "[" + code + "#1#< Default >]\r\nFilename=textures\\body.bmp\r\n[" + code +
                "#2#< Default >]\r\nFilename=textures\\head.bmp\r\n";
  }
  WriteText(project, text + textures);
  auto* status = C<QLabel>(w, "StatusBarText");
  status->setText("before");
  std::vector<std::string> shown;
  bool hourglass = false;
  TMessagePumpHook previous = SetMessagePumpHook([&] {
    shown.push_back(status->text().toStdString());
    const QCursor* c = QApplication::overrideCursor();
    hourglass = hourglass || (c && c->shape() == Qt::WaitCursor);
  });
  env.Prompts.QueueOpenFiles(std::vector<std::string>{project});
  Act("mnu_LoadProject")->trigger();
  SetMessagePumpHook(previous);
  EXPECT_EQ(w.Document().Tree().TextureNodes().size(), 300u);
  EXPECT_TRUE(hourglass);
  EXPECT_NE(std::find(shown.begin(), shown.end(), "Loading project: 128 of 302 sections"), shown.end());
  EXPECT_NE(std::find(shown.begin(), shown.end(), "Loading project: 302 of 302 sections"), shown.end());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(env.Prompts.Messages().empty());
}

// A fresh install has no model: the dialog says where model files go and what makes them.
TEST(SelectModel, AnEmptyCatalogueSaysWhereModelsGo) {
  TWindowEnv env;
  TDialogScript dialogs;
  Tmain_unificada& w = env.Create();
  ASSERT_TRUE(w.State().Models().empty());
  std::string text;
  bool visible = false;
  dialogs.Answers.push_back([&](QDialog& d) {
    auto* label = C<QLabel>(d, "lbl_nomodels");
    visible = label->isVisibleTo(&d);
    text = label->text().toStdString();
    EXPECT_FALSE(C<QPushButton>(d, "btn_ok")->isEnabled());
    return 2;
  });
  C<QAction>(w, "mnu_NewProject")->trigger();
  EXPECT_TRUE(visible);
  const std::string home = env.Home.string() + "/";
  EXPECT_NE(text.find(home + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find(home + "CustomModels"), std::string::npos) << text;
  EXPECT_NE(text.find("Model Compiler"), std::string::npos) << text;
}

TEST_F(ProjectWindow, RefreshTimerReloadsAChangedTextureAndRedrawsThePreview) {
  Tmain_unificada& w = env.Create();
  w.show();
  NewProject(w);
  const std::string file = editor_test::WritePicture(home + "textures/abcd1.bmp", 64, 64, 1);
  SetFileAge(file, kT0);
  env.Prompts.QueueOpenFiles(std::vector<std::string>{file});
  Act("mnu_Importtexture")->trigger();
  Tree()->setCurrentItem(Item(Tree(), "< Default >"));
  env.PreviewLog.clear();
  Fire(w, "TimerRefrescoTexturas");
  EXPECT_TRUE(env.PreviewLog.empty()) << "nothing changed, nothing redrawn";

  editor_test::WritePicture(file, 64, 64, 2);
  SetFileAge(file, kT0 + kSecond);
  {
    TBusyGuard busy;
    Fire(w, "TimerRefrescoTexturas");
  }
  EXPECT_TRUE(env.PreviewLog.empty()) << "not during a long operation";
  ASSERT_TRUE(w.Document().BeginStroke(SelectedNode(w)));
  Fire(w, "TimerRefrescoTexturas");
  EXPECT_TRUE(env.PreviewLog.empty()) << "not during a paint stroke";
  w.Document().EndStroke();
  env.PreviewLog.clear();  // the stroke's end is drawn
  {
    // A dialog's own event loop runs the timer too; the refresh waits until it is closed.
    QDialog box(&w);
    box.setModal(true);
    box.show();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeModalWidget(), &box);
    Fire(w, "TimerRefrescoTexturas");
    EXPECT_TRUE(env.PreviewLog.empty()) << "not while a box is open";
  }
  Fire(w, "TimerRefrescoTexturas");
  EXPECT_EQ(env.PreviewLog, (std::vector<std::string>{"Draw3D"}));
  EXPECT_TRUE(SelectedTexture(w)->Bitmap->SameAs(editor_test::MakePicture(64, 64, 2)));
  EXPECT_FALSE(w.Document().Tree().PalettesStale()) << "the new pixels' palette is built before the preview draws";

  // A change that cannot be read is reported under the timer's name, once.
  WriteText(file, "BM?");
  SetFileAge(file, kT0 + 2 * kSecond);
  env.Prompts.Shown.clear();
  Fire(w, "TimerRefrescoTexturas");
  ASSERT_EQ(env.Prompts.Shown.size(), 1u) << "a broken file is reported";
  EXPECT_EQ(env.Prompts.Shown[0].Icon, TMsgIcon::Stop);
  EXPECT_EQ(env.Prompts.Shown[0].Text.rfind("RefreshTextures: ", 0), 0u) << env.Prompts.Shown[0].Text;
  Fire(w, "TimerRefrescoTexturas");
  EXPECT_EQ(env.Prompts.Shown.size(), 1u) << "reported once";
}

TEST_F(ProjectWindow, SkinAndTextureCommandsThroughThePopup) {
  Tmain_unificada& w = env.Create();
  w.show();
  NewProject(w);
  // Neither a code nor a description to take one from: refused.
  AddSkin("", "");
  ASSERT_EQ(env.Prompts.Messages().size(), 1u);
  EXPECT_EQ(env.Prompts.Messages()[0].rfind("ERROR: ", 0), 0u);
  EXPECT_EQ(TreeLines(Tree()), "skins (Male)\n");
  AddSkin("My skin", "");
  AddSkin("Another", "MYXS");
  EXPECT_EQ(env.Prompts.Messages().back(),
            "ERROR: The skin code \"myxs\" is already used by another skin of this project.");
  const std::string tex = home + "textures/";
  editor_test::WritePicture(tex + "myxs2boss.bmp", 32, 32, 1);
  editor_test::WritePicture(tex + "myxs2grunt.bmp", 32, 32, 2);
  env.Prompts.QueueOpenFiles(std::vector<std::string>{tex + "myxs2boss.bmp", tex + "myxs2grunt.bmp"});
  Act("mnu_Importtexture")->trigger();
  EXPECT_EQ(TreeLines(Tree()), "skins (Male)\n  My skin (myxs)\n    Body\n    Head\n      boss\n      grunt\n");

  // Edit Skin: the dialog shows description and code; a blank code takes the description's.
  PopupOn(Item(Tree(), "My skin (myxs)"));
  dialogs.Answers.push_back([](QDialog& d) {
    EXPECT_EQ(C<QLineEdit>(d, "groupdescription")->text().toStdString(), "My skin");
    EXPECT_EQ(C<QLineEdit>(d, "groupcode")->text().toStdString(), "myxs");
    C<QLineEdit>(d, "groupdescription")->setText("My; (red)");
    C<QLineEdit>(d, "groupcode")->setText("");
    return 1;
  });
  Act("popuparbol_EditGroup")->trigger();
  ASSERT_NO_THROW(Item(Tree(), "My; (red) (myxx)"));

  // The code takes four letters or none: "zz" typed is refused by the dialog itself.
  PopupOn(Tree()->topLevelItem(0));
  dialogs.Answers.push_back([](QDialog& d) {
    auto* code = C<QLineEdit>(d, "groupcode");
    auto* ok = C<QPushButton>(d, "btn_ok");
    auto* description = C<QLineEdit>(d, "groupdescription");
    description->setText("Zed");
    d.show();
    QApplication::setActiveWindow(&d);
    description->setFocus();
    QTest::keyClick(description, Qt::Key_Tab);  // as a user reaches the code
    EXPECT_EQ(QApplication::focusWidget(), code);
    QTest::keyClicks(code, "zz");
    EXPECT_FALSE(ok->isEnabled());
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(d.result(), 0) << "two letters must not close the dialog";
    QTest::keyClicks(code, "z9y");
    EXPECT_EQ(code->text().toStdString(), "zzzy");
    EXPECT_TRUE(ok->isEnabled());
    QTest::mouseClick(ok, Qt::LeftButton);
    return d.result();
  });
  Act("popuparbol_NewGroup")->trigger();
  // The preview shows the new skin with its own teams and faces, not those of the skin before.
  EXPECT_EQ(C<QComboBox>(w, "skin_selection")->currentText().toStdString(), "Zed (zzzy)");
  EXPECT_EQ(C<QComboBox>(w, "face_selection")->count(), 0);
  PopupOn(Item(Tree(), "Zed (zzzy)"));
  Act("popuparbol_DeleteGroup")->trigger();

  // Edit Texture: a face name with "]" cannot be stored, and one the section already has would
  // be lost when the project is read again: both refused. Another name renames.
  env.Prompts.Shown.clear();
  for (const char* name : {"Big ]Boss", "GRUNT", "Big Boss"}) {
    QTreeWidgetItem* boss = Tree()->findItems("boss", Qt::MatchExactly | Qt::MatchRecursive).value(0);
    PopupOn(boss ? boss : Item(Tree(), "Big Boss (bigboss)"));
    dialogs.Answers.push_back([name](QDialog& d) {
      EXPECT_EQ(d.windowTitle().toStdString(), "Edit Texture");
      EXPECT_FALSE(C<QLineEdit>(d, "bitmap")->isEnabled());
      auto* combo = C<QComboBox>(d, "insert_as");
      EXPECT_TRUE(combo->isEditable()) << "a FACE section takes a typed face name";
      EXPECT_EQ(combo->currentText().toStdString(), "boss");
      combo->setEditText(name);
      return 1;
    });
    Act("popuparbol_EditTextureDescription")->trigger();
  }
  EXPECT_EQ(env.Prompts.Messages(),
            (std::vector<std::string>{"ERROR: A face name cannot contain \"]\".",
                                      "ERROR: The section \"Head\" already has the texture \"grunt\"."}));
  EXPECT_EQ(TreeLines(Tree()),
            "skins (Male)\n  My; (red) (myxx)\n    Body\n    Head\n      Big Boss (bigboss)\n      grunt\n");

  // Delete Texture, then Delete Skin: no question, the palettes of the deleted go.
  PopupOn(Item(Tree(), "Big Boss (bigboss)"));
  Act("popuparbol_DeleteTexture")->trigger();
  EXPECT_EQ(TreeLines(Tree()), "skins (Male)\n  My; (red) (myxx)\n    Body\n    Head\n      grunt\n");
  PopupOn(Item(Tree(), "My; (red) (myxx)"));
  Act("popuparbol_DeleteGroup")->trigger();
  EXPECT_EQ(TreeLines(Tree()), "skins (Male)\n");
  EXPECT_TRUE(w.Document().Tree().GroupPalettes().empty());
  EXPECT_TRUE(w.State().ProjectModified());
  EXPECT_EQ(dialogs.Answers.size(), 0u);
}

TEST_F(ProjectWindow, ClosingAsksAboutAPaintedTextureAndEachTextureInTurn) {
  Tmain_unificada& w = env.Create();
  w.show();
  NewProject(w);
  const std::string file = editor_test::WritePicture(home + "textures/abcd2boss.bmp", 32, 32, 1);
  env.Prompts.QueueOpenFiles(std::vector<std::string>{file});
  Act("mnu_Importtexture")->trigger();
  Act("mnu_SaveProject")->trigger();
  const std::string before = ReadText(file);

  // Painting sets only the texture's own flag; closing asks all the same, then about the
  // texture. Yes to the project, No to the texture: the project is written, the picture not.
  TObjetoTextura& t = *w.Document().Tree().TextureNodes().at(0)->Texture;
  t.Bitmap->Fill(RGBColor(9, 9, 9));
  t.Modified = true;
  EXPECT_FALSE(w.State().ProjectModified());
  env.Prompts.QueueAnswer(mrYes);
  env.Prompts.QueueAnswer(mrNo);
  EXPECT_TRUE(w.close());
  EXPECT_EQ(env.Prompts.Messages(), (std::vector<std::string>{"Save Project: Save the project?",
                                                              "Saving...: Save modified texture abcd/Head/boss ?"}));
  EXPECT_EQ(ReadText(file), before);
  EXPECT_TRUE(t.Modified);
  EXPECT_EQ(env.Prompts.Pending(), 0u);
}

TEST_F(ProjectWindow, EditSkinKeepsACodeItsFieldCannotShowAndFaceRenamesThatWouldCollideAreRefused) {
  // A model with two face sections, so a face lives in both.
  WriteText(env.Home / "male.cvmx", std::string(MaleFile) + "Section3=Talk, FACE, TextureIs32x32\r\n");
  Tmain_unificada& w = env.Create();
  w.show();
  NewProject(w);
  const std::string tex = home + "textures/";
  std::vector<std::string> files;
  for (const char* name : {"ab122boss.bmp", "ab123boss.bmp", "ab123grunt.bmp"})
    files.push_back(editor_test::WritePicture(tex + name, 32, 32, static_cast<int>(files.size())));
  env.Prompts.QueueOpenFiles(files);
  Act("mnu_Importtexture")->trigger();
  const std::string imported =
      "skins (Male)\n  ab12 (ab12)\n    Body\n    Head\n      boss\n    Talk\n      boss\n      grunt\n";
  ASSERT_EQ(TreeLines(Tree()), imported);

  // The code field takes letters only and shows "ab12" cut short; a new description alone
  // must not change the code (the package's texture names hang on it).
  PopupOn(Item(Tree(), "ab12 (ab12)"));
  dialogs.Answers.push_back([](QDialog& d) {
    C<QLineEdit>(d, "groupdescription")->setText("Renamed");
    return 1;
  });
  Act("popuparbol_EditGroup")->trigger();
  ASSERT_NO_THROW(Item(Tree(), "Renamed (ab12)")) << TreeLines(Tree());

  // Head's boss renamed to Grunt would rename Talk's boss too, beside Talk's own grunt.
  env.Prompts.Shown.clear();
  PopupOn(Item(Tree(), "boss"));
  dialogs.Answers.push_back([](QDialog& d) {
    C<QComboBox>(d, "insert_as")->setEditText("Grunt");
    return 1;
  });
  Act("popuparbol_EditTextureDescription")->trigger();
  EXPECT_EQ(env.Prompts.Messages(),
            (std::vector<std::string>{"ERROR: The section \"Talk\" already has the texture \"grunt\"."}));
  EXPECT_EQ(TreeLines(Tree()),
            "skins (Male)\n  Renamed (ab12)\n    Body\n    Head\n      boss\n    Talk\n      boss\n"
            "      grunt\n");
  EXPECT_EQ(w.Document().Tree().TextureNodes().size(), 3u);
  EXPECT_EQ(dialogs.Answers.size(), 0u);
}

TEST_F(ProjectWindow, RefreshThatMeetsABrokenFileStillShowsTheTexturesReadBeforeIt) {
  Tmain_unificada& w = env.Create();
  w.show();
  NewProject(w);
  const std::string good = editor_test::WritePicture(home + "textures/abcd1.bmp", 64, 64, 1);
  const std::string bad = editor_test::WritePicture(home + "textures/abcd2boss.bmp", 32, 32, 2);
  SetFileAge(good, kT0);
  SetFileAge(bad, kT0);
  env.Prompts.QueueOpenFiles(std::vector<std::string>{good, bad});
  Act("mnu_Importtexture")->trigger();
  Tree()->setCurrentItem(Item(Tree(), "< Default >"));  // Body's, read before Head's

  editor_test::WritePicture(good, 64, 64, 7);
  SetFileAge(good, kT0 + kSecond);
  WriteText(bad, "BM?");
  SetFileAge(bad, kT0 + kSecond);
  env.PreviewLog.clear();
  env.Prompts.Shown.clear();
  Fire(w, "TimerRefrescoTexturas");
  ASSERT_EQ(env.Prompts.Shown.size(), 1u) << "the broken file is reported";
  EXPECT_EQ(env.Prompts.Shown[0].Icon, TMsgIcon::Stop);
  ASSERT_TRUE(SelectedTexture(w)->Bitmap->SameAs(editor_test::MakePicture(64, 64, 7)));
  // The next tick sees nothing new, so this was the only chance to show the new picture.
  EXPECT_EQ(env.PreviewLog, (std::vector<std::string>{"Draw3D"}));
  const QImage shown = ShownTexture(w);
  const QImage expected = BitmapToQImage(*SelectedTexture(w)->Bitmap);
  ASSERT_EQ(shown.size(), expected.size());
  for (QPoint p : {QPoint(0, 0), QPoint(5, 9), QPoint(63, 63)}) EXPECT_EQ(shown.pixelColor(p), expected.pixelColor(p));
  EXPECT_FALSE(w.Document().ReloadChangedTextures().Done);
}

namespace {
// Two skins: the first (by name) with a team texture and two faces, the second with one texture.
std::string WriteTwoSkinProject(const std::string& folder) {
  for (const char* name : {"body", "red", "other"}) editor_test::WritePicture(folder + name + ".bmp", 64, 64, 1);
  for (const char* name : {"boss", "grunt"}) editor_test::WritePicture(folder + name + ".bmp", 32, 32, 1);
  WriteText(folder + "two.cvp",
            "[General]\r\nModel=Male\r\n[Groups]\r\nzred=Zulu Red\r\nablu=Alpha Blue\r\n"
            "[ablu#1#< Default >]\r\nFilename=body.bmp\r\n[ablu#1#<Red Team>]\r\nFilename=red.bmp\r\n"
            "[ablu#2#boss]\r\nFilename=boss.bmp\r\nIdentifier=boss\r\nDescription=boss\r\n"
            "[ablu#2#grunt]\r\nFilename=grunt.bmp\r\nIdentifier=grunt\r\nDescription=grunt\r\n"
            "[zred#1#< Default >]\r\nFilename=other.bmp\r\n");
  return folder + "two.cvp";
}

std::vector<std::string> Items(QComboBox* combo) {
  std::vector<std::string> items;
  for (int i = 0; i < combo->count(); ++i)
    items.push_back((i == combo->currentIndex() ? "*" : "") + combo->itemText(i).toStdString());
  return items;
}
}  // namespace

// Opening a project lists its skins for the preview panel, whatever preview is installed.
TEST_F(ProjectWindow, AnOpenedProjectListsItsSkinsWithAPreviewThatDrawsNothing) {
  env.Window = std::make_unique<Tmain_unificada>();
  Tmain_unificada& w = *env.Window;
  env.Prompts.QueueOpenFiles(std::vector<std::string>{WriteTwoSkinProject(home)});
  Act("mnu_LoadProject")->trigger();
  using Texts = std::vector<std::string>;
  EXPECT_EQ(Items(C<QComboBox>(w, "skin_selection")), (Texts{"*Alpha Blue (ablu)", "Zulu Red (zred)"}));
  EXPECT_EQ(Items(C<QComboBox>(w, "team_selection")), (Texts{"*< Default >", "<Red Team>"}));
  EXPECT_EQ(Items(C<QComboBox>(w, "face_selection")), (Texts{"*boss", "grunt"}));
  EXPECT_EQ(w.Document().Choices().Skins.size(), 2u);
}

// Whatever the user does to what the model wears, the preview is dressed again once.
TEST_F(ProjectWindow, EachUserActionRedrawsThePreviewOnce) {
  Tmain_unificada& w = env.Create();
  w.resize(1100, 760);
  w.show();
  const std::string file = WriteTwoSkinProject(home);
  auto select = [&](const char* text) { Tree()->setCurrentItem(Item(Tree(), text)); };
  QWidget* image = C<QWidget>(w, "texture_preview_image");
  auto mouse = [&](QEvent::Type type) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(3, 3), image->mapToGlobal(QPointF(3, 3)), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(image, &e);
  };
  struct {
    const char* action;
    std::function<void()> run;
  } rows[] = {
      {"load", [&] { env.Prompts.QueueOpenFiles(std::vector<std::string>{file}), Act("mnu_LoadProject")->trigger(); }},
      {"skin chosen",
       [&] {
         C<QComboBox>(w, "skin_selection")->setCurrentIndex(1);
         emit C<QComboBox>(w, "skin_selection")->activated(1);
       }},
      {"masking", [&] { C<QCheckBox>(w, "cbEnableMasking")->click(); }},
      {"palette option", [&] { C<QRadioButton>(w, "opt_reducepalettes1")->click(); }},
      {"refresh button", [&] { C<QPushButton>(w, "btn_refresh")->click(); }},
      {"stroke",
       [&] {
         select("boss"), env.PreviewLog.clear(), mouse(QEvent::MouseButtonPress), mouse(QEvent::MouseMove),
             mouse(QEvent::MouseButtonRelease);
       }},
      {"undo", [&] { C<QPushButton>(w, "btn_UndoEditedTexture")->click(); }},
      {"revert", [&] { C<QPushButton>(w, "btn_RevertEditedTexture")->click(); }},
      {"texture changed on disk",
       [&] {
         editor_test::WritePicture(home + "boss.bmp", 32, 32, 2);
         SetFileAge(home + "boss.bmp", kT0 + 9 * kSecond);
         Act("mnu_RefreshTextures")->trigger();
       }},
      {"texture deleted",
       [&] { PopupOn(Item(Tree(), "grunt")), C<QAction>(w, "popuparbol_DeleteTexture")->trigger(); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.action);
    env.PreviewLog.clear();
    row.run();
    EXPECT_EQ(std::count(env.PreviewLog.begin(), env.PreviewLog.end(), "Draw3D"), 1);
  }
}
