// The model compiler window through File > Model Compiler, driven as a user would: choose a
// model file, read its information and mesh, reorder the materials, compile; the catalogue then
// holds the model and New Project offers it.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QTest>
#include <QTreeWidget>

#include "MainWindowTestSupport.h"
#include "controls/EditCtrls.h"
#include "editor/DialogExec.h"
#include "editor/crvn_selectmodel.h"
#include "modelcompiler/ModelCompilerCore.h"
#include "modelcompiler/SampleModel.h"
#include "modelcompiler/crvn_modelcompiler.h"
#include "modelcompiler_core/SyntheticPackages.h"

using namespace mainwindow_test;

namespace {

std::vector<std::string> Rows(QListWidget* list) {
  std::vector<std::string> rows;
  for (int i = 0; i < list->count(); ++i) rows.push_back(list->item(i)->text().toStdString());
  return rows;
}

void Shot(QWidget& w, const char* name) {
  if (const char* shots = std::getenv("CORVANE_TEST_SCREENSHOTS")) w.grab().save(QString("%1/%2.png").arg(shots, name));
}

class ScopedDialogHook {
 public:
  explicit ScopedDialogHook(TDialogExecHook hook) : FPrevious(SetDialogExecHook(std::move(hook))) {}
  ~ScopedDialogHook() { SetDialogExecHook(FPrevious); }

 private:
  TDialogExecHook FPrevious;
};

}  // namespace

TEST(ModelCompilerWindow, ExternalFileToCatalogueAndNewProject) {
  TWindowEnv env;
  const std::string file = (env.Root / "models" / "Knight.ms3d").string();
  std::filesystem::create_directories(env.Root / "models");
  const std::vector<uint8_t> bytes = MilkShape3DBytes(MakeSampleFigure());
  WriteText(file, std::string(bytes.begin(), bytes.end()));
  Tmain_unificada& w = env.Create();
  std::vector<std::string> shown;
  int step = 0;
  ScopedDialogHook hook([&](QDialog& d) -> int {
    shown.push_back(d.windowTitle().toStdString());
    if (step++ == 0) {
      auto& mc = dynamic_cast<Tmodelcompiler&>(d);
      mc.show();
      QApplication::setActiveWindow(&mc);
      EXPECT_EQ(mc.size(), QSize(490, 359));
      EXPECT_EQ(C<QComboBox>(mc, "game")->currentText().toStdString(), "Unreal Tournament");
      EXPECT_EQ(mc.findChild<QStatusBar*>("StatusBar")->currentMessage().toStdString(),
                "Select model file or UT package.");
      C<QWidget>(mc, "Panel_package")->setVisible(true);
      C<QWidget>(mc, "Panel_modelo")->setVisible(true);
      Shot(mc, "modelcompiler-package-tab");
      C<QWidget>(mc, "Panel_package")->setVisible(false);
      C<QTabWidget>(mc, "PageControl")->setCurrentIndex(1);
      // The file dialog of the model file edit, answered with the model.
      env.Prompts.QueueOpenFiles(std::vector<std::string>{file});
      C<TFilenameEdit>(mc, "modelfile")->DoClick();
      EXPECT_EQ(Rows(C<QListWidget>(mc, "information")),
                (std::vector<std::string>{"MilkShape3D model", "Triangles = 500",
                                          "Frames    = 1 (cannot select in this version)"}));
      // One frame only: the mesh was read at once.
      EXPECT_FALSE(C<QSpinBox>(mc, "meshnum")->isEnabled());
      auto* materials = C<QListWidget>(mc, "lista_materiales");
      EXPECT_EQ(Rows(materials), (std::vector<std::string>{"SKIN", "LEGS", "FACE", "VISOR"}));
      EXPECT_EQ(C<QLineEdit>(mc, "edMenuName2")->text().toStdString(), "Knight");
      materials->setCurrentRow(3);
      C<QToolButton>(mc, "btn_matup")->click();
      materials->setCurrentRow(0);
      C<QToolButton>(mc, "btn_matup")->click();  // the first row does not move
      EXPECT_EQ(Rows(materials), (std::vector<std::string>{"SKIN", "LEGS", "VISOR", "FACE"}));
      C<QLineEdit>(mc, "edMenuName2")->setText("Knight Errant");
      Shot(mc, "modelcompiler-materials");
      C<QPushButton>(mc, "btn_Compilar")->click();
      EXPECT_EQ(mc.findChild<QStatusBar*>("StatusBar")->currentMessage().toStdString(),
                "End of compilation, press the \"Finish\" button to leave.");
      C<QPushButton>(mc, "btn_ok_lm")->click();
      return mc.result();
    }
    auto& select = dynamic_cast<Tfrm_selectmodel&>(d);
    auto* list = C<QTreeWidget>(select, "lista_modelos");
    auto found = list->findItems("Knight Errant", Qt::MatchExactly);
    EXPECT_EQ(found.size(), 1);
    if (!found.empty()) {
      EXPECT_EQ(found.front()->text(1).toStdString(), "Yes");
    }
    return 2;
  });
  C<QAction>(w, "mnu_ModelCompiler")->trigger();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "Model Compiler");
  EXPECT_EQ(env.Prompts.Messages(), (std::vector<std::string>{"Compilation: Model compilation finished!"}));
  const TModelo* knight = nullptr;
  for (const auto& m : w.State().Models())
    if (m->Prefix == "Knight") knight = m.get();
  ASSERT_NE(knight, nullptr);
  EXPECT_EQ(knight->Name, "Knight Errant");
  EXPECT_EQ(knight->PartName(2), "VISOR");
  EXPECT_TRUE(knight->Part(2)->Flags & mpMASKED);
  EXPECT_NE(knight->Part(0)->WireBitmap, nullptr);
  env.Prompts.QueueSaveFile((env.Root / "p.cvp").string());
  C<QAction>(w, "mnu_NewProject")->trigger();
  EXPECT_EQ(shown.size(), 2u);
}

TEST(ModelCompilerWindow, GameChoiceAndRefusedFiles) {
  TWindowEnv env;
  WriteText(env.Registry,
            "[unreal\\Shell\\open\\command]\r\n@=\"\\\"D:\\Games\\UT\\System\\UnrealTournament.exe\\\" %1\"\r\n");
  Tmodelcompiler mc;
  EXPECT_EQ(mc.Core().Game, TGameKind::UnrealTournament);
  auto* edit = C<TFilenameEdit>(mc, "utpackage");
  EXPECT_NE(edit->Dialog.InitialDir.find("UT/System"), std::string::npos) << edit->Dialog.InitialDir;
  C<QComboBox>(mc, "game")->setCurrentIndex(3);
  EXPECT_FALSE(C<QCheckBox>(mc, "cbUseINT")->isChecked());
  C<QComboBox>(mc, "game")->setCurrentIndex(1);
  EXPECT_NE(edit->Dialog.InitialDir.find("DeusEx/System"), std::string::npos) << edit->Dialog.InitialDir;
  const std::string bad = (env.Root / "bad.p3d").string();
  WriteText(bad, "nothing\n");
  mc.LoadModelInfo(bad);
  mc.LoadModelInfo((env.Root / "x.obj").string());
  EXPECT_EQ(env.Prompts.Messages(), (std::vector<std::string>{"ERROR: " + bad + " is not a valid Painter 3D file.",
                                                              "ERROR: Unknown file format."}));
  EXPECT_FALSE(C<QWidget>(mc, "Panel_datos")->isVisibleTo(&mc));
}

// The package route: the .int file chosen in the package edit lists the player classes, the
// first row's mesh is read at once with "Breath1" preselected, and the compile adds the model.
TEST(ModelCompilerWindow, PackageRouteToCatalogue) {
  TWindowEnv env;
  mctest::TFixture pkg(mctest::MakePackage(mctest::LodSpec(), mctest::PlainSpec()));
  Tmain_unificada& w = env.Create();
  int shown = 0;
  ScopedDialogHook hook([&](QDialog& d) -> int {
    ++shown;
    auto& mc = dynamic_cast<Tmodelcompiler&>(d);
    mc.show();
    env.Prompts.QueueOpenFiles(std::vector<std::string>{pkg.Int});
    C<TFilenameEdit>(mc, "utpackage")->DoClick();
    EXPECT_EQ(env.Prompts.FileDialogs.back().Filter.substr(0, 30), "UT Package Definitions (*.int)");
    EXPECT_EQ(Rows(C<QListWidget>(mc, "lodmesh")), (std::vector<std::string>{"Commando", "Trooper Mk2"}));
    EXPECT_TRUE(C<QWidget>(mc, "Panel_modelo")->isVisible());
    EXPECT_EQ(Rows(C<QListWidget>(mc, "information_lm")),
              (std::vector<std::string>{"Unreal LodMesh model", "Triangles = 1", "Frames    = 2"}));
    EXPECT_EQ(C<QComboBox>(mc, "animseq_lm")->currentText().toStdString(), "Breath1");
    EXPECT_EQ(C<QLabel>(mc, "label_maxframe_lm")->text().toStdString(), "(max. 0)");
    EXPECT_EQ(C<QLabel>(mc, "label_maxframe_lm_abs")->text().toStdString(), "(max. 1)");
    EXPECT_EQ(C<QLineEdit>(mc, "edMenuname")->text().toStdString(), "Commando");
    Shot(mc, "modelcompiler-package");
    C<QPushButton>(mc, "btn_compile_lm")->click();
    EXPECT_TRUE(C<QWidget>(mc, "tab_lodmesh")->isEnabled());
    return mrOk;
  });
  C<QAction>(w, "mnu_ModelCompiler")->trigger();
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(env.Prompts.Messages(), (std::vector<std::string>{"Compilation: Model compilation finished!"}));
  const TModelo* soldier = nullptr;
  for (const auto& m : w.State().Models())
    if (m->Prefix == "SoldierMesh") soldier = m.get();
  ASSERT_NE(soldier, nullptr);
  EXPECT_EQ(soldier->Name, "Commando");
  EXPECT_EQ(soldier->LodMesh, "MyPkg.SoldierMesh");
  EXPECT_EQ(soldier->ScaleX, 1.5f);
}

// The file edits typed into from the keyboard, as a user who knows the path does: the name is
// read as the browse button's choice is, and Finish does not drop it silently.
TEST(ModelCompilerWindow, TypedNamesAreReadAndFinishSaysWhenOneIsNot) {
  TWindowEnv env;
  const std::string file = (env.Root / "Knight.ms3d").string();
  const std::vector<uint8_t> bytes = MilkShape3DBytes(MakeSampleFigure());
  WriteText(file, std::string(bytes.begin(), bytes.end()));
  mctest::TFixture pkg(mctest::MakePackage(mctest::LodSpec(), mctest::PlainSpec()));
  Tmodelcompiler mc;
  mc.show();
  QApplication::setActiveWindow(&mc);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&mc));
  auto* finish = C<QPushButton>(mc, "btn_ok_lm");
  auto* modelfile = C<TFilenameEdit>(mc, "modelfile");
  auto* utpackage = C<TFilenameEdit>(mc, "utpackage");

  // Both edits show the ellipsis on a 13-pixel button: a 7-pixel glyph.
  for (TFilenameEdit* edit : {modelfile, utpackage}) {
    EXPECT_EQ(edit->Button()->width(), 13);
    EXPECT_EQ(edit->Button()->Glyph().width(), 7);
  }

  // A typed name, then Finish: nothing was read, the window says so and stays open.
  C<QTabWidget>(mc, "PageControl")->setCurrentIndex(1);
  modelfile->setFocus();
  QTest::keyClicks(modelfile, QString::fromStdString(file));
  QTest::mouseClick(finish, Qt::LeftButton);
  ASSERT_TRUE(mc.isVisible());
  ASSERT_EQ(env.Prompts.Messages().size(), 1u);
  EXPECT_NE(env.Prompts.Messages()[0].find("Nothing has been read from " + file), std::string::npos)
      << env.Prompts.Messages()[0];
  // Enter reads it (the mesh of a one-frame model at once), and does not finish.
  QTest::keyClick(modelfile, Qt::Key_Return);
  EXPECT_TRUE(mc.isVisible());
  EXPECT_EQ(Rows(C<QListWidget>(mc, "lista_materiales")), (std::vector<std::string>{"SKIN", "LEGS", "FACE", "VISOR"}));

  // A package name typed, then Tab to the next control: it is scanned.
  C<QTabWidget>(mc, "PageControl")->setCurrentIndex(0);
  utpackage->setFocus();
  QTest::keyClicks(utpackage, QString::fromStdString(pkg.Int));
  QTest::keyClick(utpackage, Qt::Key_Tab);
  EXPECT_EQ(Rows(C<QListWidget>(mc, "lodmesh")), (std::vector<std::string>{"Commando", "Trooper Mk2"}));
  // Leaving it again unchanged scans nothing more (a scan would choose the first row again).
  auto* lodmesh = C<QListWidget>(mc, "lodmesh");
  lodmesh->setCurrentRow(1);
  utpackage->setFocus();
  QTest::keyClick(utpackage, Qt::Key_Tab);
  EXPECT_EQ(lodmesh->currentRow(), 1);
  EXPECT_EQ(env.Prompts.Messages().size(), 1u);

  // Everything typed was read: Finish closes.
  QTest::mouseClick(finish, Qt::LeftButton);
  EXPECT_FALSE(mc.isVisible());
  EXPECT_EQ(mc.result(), mrOk);
}

// A package search that fails ends as one that finds no models: the status no longer says it
// searches, and the box says why.
TEST(ModelCompilerWindow, StatusShowsHowThePackageSearchEnded) {
  TWindowEnv env;
  mctest::TFixture noPlayers(mctest::MakePackage(mctest::LodSpec(), mctest::PlainSpec()), "[Public]\r\n");
  const std::string gone = (env.Root / "Gone.int").string();
  const struct {
    const char* name;
    std::string file;
    std::string box;
  } rows[] = {
      {"no player class", noPlayers.Int, "NOTE: The package does not have any model object."},
      {"the file is missing", gone, "Corvane: " + gone + ": File not found"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    env.Prompts.Shown.clear();
    Tmodelcompiler mc;
    env.Prompts.QueueOpenFiles(std::vector<std::string>{row.file});
    C<TFilenameEdit>(mc, "utpackage")->DoClick();
    EXPECT_EQ(mc.findChild<QStatusBar*>("StatusBar")->currentMessage().toStdString(), "");
    EXPECT_EQ(env.Prompts.Messages(), std::vector<std::string>{row.box});
  }
}
