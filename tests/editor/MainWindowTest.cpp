// The main window under Xvfb: what its menus run, its start state, the About box, closing, the
// key and wheel preview, Help > Contents and the project options.
#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QTabBar>
#include <QWheelEvent>

#include <deque>
#include <functional>

#include "MainWindowTestSupport.h"
#include "editor/DialogExec.h"
#include "editor_core/SkinTreeTestModel.h"
#include "platform/MessagePump.h"
#include "editor/crvn_about.h"

using namespace mainwindow_test;

namespace {
// Answers the program's own dialogs with Cancel (or as a queued answer says) and records their
// classes, for as long as it lives.
class TDialogRecorder {
 public:
  std::vector<std::string> Shown;
  std::deque<std::function<int(QDialog&)>> Answers;
  TDialogRecorder() {
    FPrevious = SetDialogExecHook([this](QDialog& d) {
      Shown.push_back(d.metaObject()->className());
      if (Answers.empty()) return 2;
      auto answer = std::move(Answers.front());
      Answers.pop_front();
      return answer(d);
    });
  }
  ~TDialogRecorder() { SetDialogExecHook(FPrevious); }
  TDialogRecorder(const TDialogRecorder&) = delete;
  TDialogRecorder& operator=(const TDialogRecorder&) = delete;

 private:
  TDialogExecHook FPrevious;
};

}  // namespace

// Each menu and pop-up item as the user reaches it runs its own command: seen through the dialog
// or prompt the command opens (cancelled, unless the test answers it) or the change it makes.
// The tree's pop-up offers only the items of the clicked node's level.
TEST(MainWindow, MenuItemsRunTheirCommands) {
  TWindowEnv env;
  WriteText(env.Home / "male.cvmx",
            "[Model-Male]\r\nName=Male Soldier\r\nPrefix=Male\r\nSection1=Body, TEAM, TextureIs64x64\r\n");
  const std::string home = env.Home.string() + "/", project = home + "skins.cvp";
  env.Prompts.OnUnexpected = [](const std::string&) {};  // anything not queued is cancelled
  TDialogRecorder dialogs;
  Tmain_unificada& w = env.Create();
  w.resize(1100, 700);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

  // What an item opened: the dialogs' classes, then the prompts' kinds and captions.
  auto run = [&](QAction* item) {
    dialogs.Shown.clear();
    env.Prompts.Shown.clear();
    item->trigger();
    std::string out;
    for (const std::string& d : dialogs.Shown) out += "dialog " + d + "; ";
    for (const TPromptRecord& r : env.Prompts.Shown) {
      static const char* const kinds[] = {"message", "input", "open", "save", "colour"};
      out += std::string(kinds[r.Kind]) + " " + r.Caption + "; ";
    }
    return out;
  };
  auto menu = [&](const char* name) { return run(C<QAction>(w, name)); };
  struct TCase {
    const char* item;
    std::string opens;
  };
  // Before a project: the project items do nothing.
  for (const TCase& c : {TCase{"mnu_NewProject", "dialog Tfrm_selectmodel; "},
                         TCase{"mnu_LoadProject", "open Opening Corvane Project; "},
                         TCase{"mnu_ModelCompiler", "dialog Tmodelcompiler; "}, TCase{"mnu_SaveAs", ""},
                         TCase{"mnu_Importtexture", ""}, TCase{"mnu_SaveProject", ""}})
    EXPECT_EQ(menu(c.item), c.opens) << c.item;
  EXPECT_EQ(w.State().ProjectFileName(), "");
  // The project dialogs start in the program folder.
  ASSERT_FALSE(env.Prompts.FileDialogs.empty());
  EXPECT_EQ(env.Prompts.FileDialogs.back().InitialDir, home);

  // New Project: the model's row, then the file name.
  dialogs.Answers.push_back([](QDialog& d) {
    auto* list = C<QTreeWidget>(d, "lista_modelos");
    list->setCurrentItem(list->topLevelItem(0));
    return 1;
  });
  env.Prompts.QueueSaveFile(project);
  menu("mnu_NewProject");
  ASSERT_EQ(w.State().ProjectFileName(), project);
  QTreeWidget* tree = C<QTreeWidget>(w, "ArbolTexturas");
  EXPECT_EQ(TreeLines(tree), "skins (Male)\n");

  for (const TCase& c : {TCase{"mnu_SaveAs", "save Saving Corvane Project (prefix must be \"Male\"); "},
                         TCase{"mnu_Importtexture", "open Select Texture file; "}, TCase{"mnu_SaveProject", ""}})
    EXPECT_EQ(menu(c.item), c.opens) << c.item;
  // Save writes without asking; the cancelled Save As and import changed nothing.
  EXPECT_TRUE(std::filesystem::exists(project));
  EXPECT_EQ(w.State().ProjectFileName(), project);
  EXPECT_FALSE(w.State().ProjectModified());
  // The picture dialog offers every registered picture format, all of them first.
  const TFileDialogOptions& pictures = env.Prompts.FileDialogs.back();
  EXPECT_TRUE(pictures.MultiSelect);
  EXPECT_EQ(pictures.Filter.rfind("All (", 0), 0u) << pictures.Filter;
  for (const char* mask : {"*.bmp", "*.jpg", "*.ico"}) EXPECT_NE(pictures.Filter.find(mask), std::string::npos) << mask;

  env.Prompts.QueueOpenFiles(std::vector<std::string>{editor_test::WritePicture(home + "zzzz1.bmp", 64, 64, 1)});
  menu("mnu_Importtexture");
  ASSERT_EQ(TreeLines(tree), "skins (Male)\n  zzzz (zzzz)\n    Body\n      < Default >\n");
  menu("mnu_SaveProject");
  ASSERT_FALSE(w.State().ProjectModified());

  // The tree's pop-up at each level of node, opened where the node is shown.
  QMenu* popupArbol = C<QMenu>(w, "PopupArbol");
  auto popup = [&](const char* node) {
    QList<QTreeWidgetItem*> found = tree->findItems(node, Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty()) throw std::runtime_error(std::string("no tree item ") + node);
    const QPoint at = tree->viewport()->mapToGlobal(tree->visualItemRect(found.front()).center());
    PopupOn(found.front());
    EXPECT_EQ(w.PopupArbolAt(), at);
    std::vector<std::string> offered;
    for (QAction* a : popupArbol->actions())
      if (a->isVisible()) offered.push_back(a->objectName().toStdString());
    return offered;
  };
  using Items = std::vector<std::string>;
  EXPECT_EQ(popup("skins (Male)"), Items{"popuparbol_NewGroup"});
  EXPECT_EQ(run(C<QAction>(*popupArbol, "popuparbol_NewGroup")), "dialog Tfrm_newgroup; ");
  EXPECT_EQ(popup("zzzz (zzzz)"), (Items{"popuparbol_EditGroup", "popuparbol_DeleteGroup"}));
  EXPECT_EQ(run(C<QAction>(*popupArbol, "popuparbol_EditGroup")), "dialog Tfrm_newgroup; ");
  EXPECT_EQ(popup("Body"), Items{"popuparbol_AddTexture"});
  EXPECT_EQ(run(C<QAction>(*popupArbol, "popuparbol_AddTexture")), "dialog Tfrm_newtexture; ");
  EXPECT_EQ(popup("< Default >"), (Items{"popuparbol_EditTextureDescription", "popuparbol_DeleteTexture"}));
  EXPECT_EQ(run(C<QAction>(*popupArbol, "popuparbol_EditTextureDescription")), "dialog Tfrm_newtexture; ");
  EXPECT_EQ(TreeLines(tree), "skins (Male)\n  zzzz (zzzz)\n    Body\n      < Default >\n") << "all cancelled";
  EXPECT_FALSE(w.State().ProjectModified());
  // The two deletions do not ask.
  popup("< Default >");
  EXPECT_EQ(run(C<QAction>(*popupArbol, "popuparbol_DeleteTexture")), "");
  EXPECT_EQ(TreeLines(tree), "skins (Male)\n  zzzz (zzzz)\n    Body\n");
  popup("zzzz (zzzz)");
  EXPECT_EQ(run(C<QAction>(*popupArbol, "popuparbol_DeleteGroup")), "");
  EXPECT_EQ(TreeLines(tree), "skins (Male)\n");
  EXPECT_TRUE(w.State().ProjectModified());

  // The camera presets' pop-up hands each item to the preview.
  env.PreviewLog.clear();
  for (const char* item : {"mnu_PresetNew", "mnu_PresetRemove", "mnu_PresetRename", "mnu_PresetSet"})
    run(C<QAction>(*C<QMenu>(w, "PopupPresets"), item));
  EXPECT_EQ(env.PreviewLog, (std::vector<std::string>{"PresetNew", "PresetRemove", "PresetRename", "PresetSet"}));
}

TEST(MainWindow, PainterToolsHaveRoomOnceShown) {
  TWindowEnv env;
  Tmain_unificada& w = env.Create();
  w.resize(1100, 760);
  w.show();
  C<QWidget>(w, "Panel_tools_texturas")->setVisible(true);
  QApplication::processEvents();
  // The tool tabs are added after the form's layout was built; they must still be visible.
  QTabBar* tools = C<QTabBar>(w, "tools");
  EXPECT_GE(tools->height(), tools->sizeHint().height());
  EXPECT_GE(tools->width(), tools->tabRect(4).right());
}

TEST(MainWindow, ClosingWithUnsavedChangesAsksOnceAndClosesEitherWay) {
  TWindowEnv env;
  Tmain_unificada& w = env.Create();
  w.show();
  // Nothing changed: no question.
  EXPECT_TRUE(w.close());
  EXPECT_TRUE(env.Prompts.Shown.empty());

  w.show();
  w.Document().SetUp({.Modified = true});
  env.Prompts.QueueAnswer(mrNo);
  EXPECT_TRUE(w.close());
  ASSERT_EQ(env.Prompts.Messages(), (std::vector<std::string>{"Save Project: Save the project?"}));
  EXPECT_EQ(env.Prompts.Shown[0].Buttons, TMsgButtons::YesNo);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(env.Prompts.Pending(), 0u);

  // File > Exit goes the same way.
  w.show();
  env.Prompts.Shown.clear();
  env.Prompts.QueueAnswer(mrNo);
  C<QAction>(w, "mnu_Exit")->trigger();
  EXPECT_EQ(env.Prompts.Messages().size(), 1u);
  EXPECT_FALSE(w.isVisible());
}

// Escape on "Save the project?" (or closing its box) is no answer: closing, New and Load do
// nothing, and the work stays open and unsaved.
TEST(MainWindow, ASaveQuestionPutAwayLeavesTheWindowAndTheProject) {
  const struct {
    const char* name;
    std::function<void(Tmain_unificada&)> run;
  } rows[] = {
      {"close", [](Tmain_unificada& w) { EXPECT_FALSE(w.close()); }},
      {"File > Exit", [](Tmain_unificada& w) { C<QAction>(w, "mnu_Exit")->trigger(); }},
      {"New", [](Tmain_unificada& w) { C<QAction>(w, "mnu_NewProject")->trigger(); }},
      {"Load", [](Tmain_unificada& w) { C<QAction>(w, "mnu_LoadProject")->trigger(); }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TWindowEnv env;
    std::vector<std::string> unexpected;
    env.Prompts.OnUnexpected = [&](const std::string& m) { unexpected.push_back(m); };
    TDialogRecorder dialogs;
    Tmain_unificada& w = env.Create();
    w.Document().Tree().SetRoot("demo (Alp)");
    w.Document().SetUp({.ProjectFileName = (env.Root / "demo.cvp").string(), .Modified = true});
    w.show();
    env.Prompts.QueueAnswer(mrCancel);
    row.run(w);
    EXPECT_EQ(env.Prompts.Messages(), (std::vector<std::string>{"Save Project: Save the project?"}));
    EXPECT_TRUE(unexpected.empty()) << unexpected.front();
    EXPECT_TRUE(dialogs.Shown.empty());
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.State().ProjectModified());
    EXPECT_EQ(w.State().ProjectFileName(), (env.Root / "demo.cvp").string());
    EXPECT_FALSE(std::filesystem::exists(env.Root / "demo.cvp"));
    // The window still closes once answered.
    env.Prompts.QueueAnswer(mrNo);
    EXPECT_TRUE(w.close());
  }
}

TEST(MainWindow, ClosingSavesOnYesAndStaysOpenWhenTheSaveFails) {
  TWindowEnv env;
  Tmain_unificada& w = env.Create();
  w.Document().Tree().SetRoot("demo (Alp)");
  w.State().CurrentModel()->Prefix = "Alp";
  w.Document().SetUp({.ProjectFileName = (env.Root / "demo.cvp").string(), .Modified = true});
  w.show();
  env.Prompts.QueueAnswer(mrYes);
  EXPECT_TRUE(w.close());
  EXPECT_FALSE(w.isVisible());
  EXPECT_NE(ReadText(env.Root / "demo.cvp").find("Model=Alp"), std::string::npos);

  // The project cannot be written: the error is shown and the window stays, so the user can
  // still save it elsewhere.
  w.show();
  w.Document().SetUp({.ProjectFileName = (env.Root / "no such folder" / "demo.cvp").string(), .Modified = true});
  env.Prompts.Shown.clear();
  env.Prompts.QueueAnswer(mrYes);
  EXPECT_FALSE(w.close());
  EXPECT_TRUE(w.isVisible());
  ASSERT_EQ(env.Prompts.Shown.size(), 2u);
  EXPECT_EQ(env.Prompts.Shown[1].Icon, TMsgIcon::Stop);
  EXPECT_TRUE(w.State().ProjectModified());
  w.Document().SetUp({.Modified = false});
}

TEST(MainWindow, TypedCharactersGoToThePreviewAndNoWhereElse) {
  TWindowEnv env;
  Tmain_unificada& w = env.Create();
  // A text field of the window stands for any control that would take typed text.
  auto* edit = new QLineEdit(C<QWidget>(w, "centralwidget"));
  w.show();
  QApplication::setActiveWindow(&w);
  edit->setFocus();
  env.PreviewLog.clear();
  for (char c : std::string("xS")) {
    QKeyEvent press(QEvent::KeyPress, c == 'x' ? Qt::Key_X : Qt::Key_S, c == 'S' ? Qt::ShiftModifier : Qt::NoModifier,
                    QString(QChar(c)));
    QApplication::sendEvent(edit, &press);
  }
  EXPECT_EQ(edit->text().toStdString(), "");
  EXPECT_EQ(env.PreviewLog, (std::vector<std::string>{"Key x", "Key S"}));

  // Navigation keys and shortcuts are not characters: they reach the control.
  env.PreviewLog.clear();
  edit->setText("ab");
  edit->setCursorPosition(2);
  QKeyEvent left(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
  QApplication::sendEvent(edit, &left);
  EXPECT_EQ(edit->cursorPosition(), 1);
  QKeyEvent ctrlA(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, QString(QChar(1)));
  QApplication::sendEvent(edit, &ctrlA);
  EXPECT_TRUE(env.PreviewLog.empty());

  // Another window (a dialog) keeps its typing.
  QLineEdit other;
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, "q");
  QApplication::sendEvent(&other, &press);
  EXPECT_EQ(other.text().toStdString(), "q");
  EXPECT_TRUE(env.PreviewLog.empty());
}

// Buttons, check boxes, radio buttons, lists and the tree act on the key, not on the typed
// character: Space, Enter and the arrows keep working on them while the preview still gets the
// character, and a text field still gets none.
TEST(MainWindow, SpaceEnterAndArrowsReachFocusedControls) {
  TWindowEnv env;
  Tmain_unificada& w = env.Create();
  w.show();
  QApplication::setActiveWindow(&w);
  auto* parent = C<QWidget>(w, "centralwidget");
  auto* button = new QPushButton("b", parent);
  auto* check = new QCheckBox("c", parent);
  auto* radioA = new QRadioButton("a", parent);
  auto* radioB = new QRadioButton("b", parent);
  radioB->move(0, 40);  // arrows move between radio buttons by their places
  auto* list = new QListWidget(parent);
  list->addItems({"one", "two", "three"});
  list->setCurrentRow(0);
  auto* edit = new QLineEdit(parent);
  for (QWidget* x : std::initializer_list<QWidget*>{button, check, radioA, radioB, list, edit}) x->show();
  int clicks = 0;
  QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
  QString activated;
  QObject::connect(list, &QListWidget::itemActivated, [&](QListWidgetItem* i) { activated = i->text(); });

  env.PreviewLog.clear();
  QTest::keyClick(button, Qt::Key_Space);
  EXPECT_EQ(clicks, 1);
  QTest::keyClick(check, Qt::Key_Space);
  EXPECT_TRUE(check->isChecked());
  radioA->setChecked(true);
  radioA->setFocus();
  QTest::keyClick(radioA, Qt::Key_Down);
  EXPECT_TRUE(radioB->isChecked());
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(list->currentRow(), 1);
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(activated.toStdString(), "two");
  EXPECT_EQ(env.PreviewLog, (std::vector<std::string>{"Key  ", "Key  ", "Key \r"}));

  // Other typed characters stay the window's, and a text field gets no Space either.
  env.PreviewLog.clear();
  QTest::keyClick(list, Qt::Key_T);
  EXPECT_EQ(list->currentRow(), 1) << "no type-ahead";
  QTest::keyClick(edit, Qt::Key_Space);
  EXPECT_EQ(edit->text().toStdString(), "");
  EXPECT_EQ(env.PreviewLog, (std::vector<std::string>{"Key t", "Key  "}));
}

TEST(MainWindow, WheelAnywhereAndMouseOverTheViewerReachThePreview) {
  TWindowEnv env;
  Tmain_unificada& w = env.Create();
  w.resize(1100, 760);
  env.PreviewLog.clear();
  // The tree does not scroll: the wheel belongs to the preview's camera.
  QWidget* viewport = C<QTreeWidget>(w, "ArbolTexturas")->viewport();
  QWheelEvent wheel(QPointF(5, 5), viewport->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(viewport, &wheel);
  EXPECT_EQ(env.PreviewLog, (std::vector<std::string>{"Wheel -120"}));

  env.PreviewLog.clear();
  QWidget* viewer = C<QWidget>(w, "GLSceneViewer");
  QMouseEvent down(QEvent::MouseButtonPress, QPointF(10, 20), viewer->mapToGlobal(QPointF(10, 20)), Qt::LeftButton,
                   Qt::LeftButton, Qt::NoModifier);
  QMouseEvent move(QEvent::MouseMove, QPointF(15, 22), viewer->mapToGlobal(QPointF(15, 22)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QMouseEvent up(QEvent::MouseButtonRelease, QPointF(15, 22), viewer->mapToGlobal(QPointF(15, 22)), Qt::LeftButton,
                 Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(viewer, &down);
  QApplication::sendEvent(viewer, &move);
  QApplication::sendEvent(viewer, &up);
  EXPECT_EQ(env.PreviewLog, (std::vector<std::string>{"Down 10,20", "Move 15,22", "Up 15,22"}));
}

TEST(MainWindow, OptionClicksMarkTheProjectChangedButSettingThemDoesNot) {
  TWindowEnv env;
  Tmain_unificada& w = env.Create();
  C<QTabWidget>(w, "PageControl1")->setEnabled(true);  // as once a project is open
  C<QCheckBox>(w, "opt_mipmaps")->setChecked(true);
  C<QRadioButton>(w, "opt_reducepalettes1")->setChecked(true);
  EXPECT_FALSE(w.State().ProjectModified());
  C<QCheckBox>(w, "opt_clientoptional")->click();
  EXPECT_TRUE(w.State().ProjectModified());
  w.Document().SetUp({.Modified = false});
  env.PreviewLog.clear();
  C<QRadioButton>(w, "opt_reducepalettes2")->click();
  EXPECT_TRUE(w.State().ProjectModified());
  EXPECT_EQ(w.Document().PaletteMode(), pmPerPackage);
  // A new palette option redraws the preview.
  EXPECT_EQ(env.PreviewLog, (std::vector<std::string>{"Draw3D"}));
}

TEST(MainWindow, HelpContentsOpensTheHelpPageAtItsContents) {
  TWindowEnv env;
  // The page shipped with the program has the anchor the menu opens.
  const std::string page = ReadText(std::filesystem::path(CORVANE_SOURCE_DIR) / "editor/help/corvane.html");
  ASSERT_NE(page.find("id=\"contents\""), std::string::npos);
  // Every link of the page's contents leads somewhere in it.
  for (size_t at = page.find("href=\"#"); at != std::string::npos; at = page.find("href=\"#", at + 1)) {
    const size_t from = at + 7, to = page.find('"', from);
    EXPECT_NE(page.find("id=\"" + page.substr(from, to - from) + "\""), std::string::npos)
        << page.substr(from, to - from);
  }
  WriteText(env.Home / "corvane.html", page);

  Tmain_unificada& w = env.Create();
  std::vector<std::string> opened;
  auto saved = Tmain_unificada::OpenUrl;
  Tmain_unificada::OpenUrl = [&](const std::string& url) {
    opened.push_back(url);
    return true;
  };
  C<QAction>(w, "mnu_HelpContents")->trigger();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], "file://" + env.Home.string() + "/corvane.html#contents");
  EXPECT_TRUE(env.Prompts.Shown.empty());

  // No browser: the user is told where the page is.
  Tmain_unificada::OpenUrl = [](const std::string&) { return false; };
  C<QAction>(w, "mnu_HelpContents")->trigger();
  ASSERT_EQ(env.Prompts.Shown.size(), 1u);
  EXPECT_NE(env.Prompts.Shown[0].Text.find(env.Home.string() + "/corvane.html"), std::string::npos);

  // The page is missing: said so, no browser started.
  std::filesystem::remove(env.Home / "corvane.html");
  opened.clear();
  Tmain_unificada::OpenUrl = [&](const std::string& url) {
    opened.push_back(url);
    return true;
  };
  C<QAction>(w, "mnu_HelpContents")->trigger();
  EXPECT_TRUE(opened.empty());
  ASSERT_EQ(env.Prompts.Shown.size(), 2u);
  EXPECT_NE(env.Prompts.Shown[1].Text.find("missing"), std::string::npos);
  Tmain_unificada::OpenUrl = saved;
}

// The real launcher's exit status decides: a launcher that finds no browser (or no launcher at
// all) gives the box instead of silence.
TEST(MainWindow, HelpContentsTellsWhenTheLauncherStartsNoBrowser) {
  TWindowEnv env;
  WriteText(env.Home / "corvane.html", "<p id=\"contents\">help</p>");
  const std::filesystem::path bin = env.Home / "bin";
  std::filesystem::create_directories(bin);
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  Tmain_unificada& w = env.Create();
  const std::string opens = "#!/bin/sh\necho \"$1\" > '" + (bin / "opened").string() + "'\nexit 0\n";
  const struct {
    const char* Script;  // nullptr: no launcher on the path
    bool Box;
  } cases[] = {{opens.c_str(), false},
               {"#!/bin/sh\necho 'xdg-open: no method available for opening' >&2\nexit 3\n", true},
               {nullptr, true}};
  for (const auto& c : cases) {
    std::filesystem::remove(bin / "xdg-open");
    std::filesystem::remove(bin / "opened");
    if (c.Script) {
      WriteText(bin / "xdg-open", c.Script);
      std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    }
    setenv("PATH", bin.c_str(), 1);
    env.Prompts.Shown.clear();
    C<QAction>(w, "mnu_HelpContents")->trigger();
    setenv("PATH", oldPath.c_str(), 1);
    ASSERT_EQ(env.Prompts.Shown.size(), c.Box ? 1u : 0u) << (c.Script ? c.Script : "no launcher");
    if (c.Box) {
      EXPECT_EQ(env.Prompts.Shown[0].Text.rfind("No web browser could be started", 0), 0u);
    } else {
      EXPECT_EQ(ReadText(bin / "opened"), "file://" + env.Home.string() + "/corvane.html#contents\n");
    }
  }
}

TEST(MainWindow, ACloseRequestDuringALongOperationIsRefusedWithoutAsking) {
  TWindowEnv env;
  Tmain_unificada& w = env.Create();
  w.show();
  w.Document().SetUp({.Modified = true});
  {
    // What the window manager's close does while a compile or an import pumps messages.
    TBusyGuard busy;
    EXPECT_FALSE(w.close());
  }
  EXPECT_TRUE(w.isVisible());
  EXPECT_TRUE(env.Prompts.Shown.empty());
  // Once the operation is over, closing asks as usual.
  env.Prompts.QueueAnswer(mrNo);
  EXPECT_TRUE(w.close());
  EXPECT_EQ(env.Prompts.Messages(), (std::vector<std::string>{"Save Project: Save the project?"}));
}
