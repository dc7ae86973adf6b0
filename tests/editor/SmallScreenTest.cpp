// Every window and dialog on the smallest screens the program is made for: 1024 x 768, and
// 1280 x 800 at a scale of 1.25 (1024 x 640 in Qt's pixels). A window may not grow past the
// screen, no control may lie outside its window or its parent, and no text may be cut.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "MainWindowTestSupport.h"
#include "editor/ModelPreview.h"
#include "editor/crvn_about.h"
#include "editor/crvn_newgroup.h"
#include "editor/crvn_newtexture.h"
#include "editor/crvn_selectmodel.h"
#include "modelcompiler/crvn_modelcompiler.h"
#include "platform/Bitmap.h"
#include "scene/GLInfo.h"
#include "scene/widgets/Info.h"

using namespace mainwindow_test;

namespace {

const QSize kScreens[] = {{1024, 768}, {1024, 640}};

std::string Name(const QWidget* w) {
  const QString name = w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName();
  return name.toStdString();
}

// Inside a scroll area's viewport, being cut is what scrolling is for.
bool Scrolled(const QWidget* w, const QWidget* window) {
  for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
    if (auto* area = qobject_cast<const QAbstractScrollArea*>(p); area && w != area->viewport()) {
      if (area->viewport()->isAncestorOf(w)) return true;
    }
  return false;
}

// Text a control shows that its width cannot hold, empty when it all fits.
std::string CutText(const QWidget* w) {
  if (auto* label = qobject_cast<const QLabel*>(w)) {
    if (label->wordWrap() || label->text().isEmpty()) return {};
    const int need = label->fontMetrics().horizontalAdvance(label->text()) + 2 * label->margin() +
                     (label->indent() > 0 ? label->indent() : 0) + 2 * label->frameWidth();
    return label->width() < need ? label->text().toStdString() : std::string();
  }
  if (auto* button = qobject_cast<const QPushButton*>(w)) {
    // The caption inside the frame and the style's margins.
    const QStyle* style = button->style();
    const int need = button->fontMetrics().horizontalAdvance(button->text()) +
                     2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                          style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button));
    return button->width() < need ? button->text().toStdString() : std::string();
  }
  if (auto* button = qobject_cast<const QAbstractButton*>(w)) {  // check and radio boxes
    if (button->text().isEmpty()) return {};
    return button->width() < button->minimumSizeHint().width() ? button->text().toStdString() : std::string();
  }
  if (auto* combo = qobject_cast<const QComboBox*>(w)) {
    QStyleOptionComboBox opt;
    opt.initFrom(combo);
    opt.rect = combo->rect();
    opt.editable = combo->isEditable();
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo);
    const QString shown = combo->currentText();
    return field.width() < combo->fontMetrics().horizontalAdvance(shown) ? shown.toStdString() : std::string();
  }
  if (auto* tabs = qobject_cast<const QTabBar*>(w)) {
    // Scroll arrows or elided captions.
    return tabs->width() < tabs->sizeHint().width() ? "tabs of " + Name(tabs) : std::string();
  }
  return {};
}

// What is wrong with a window at its present size.
std::vector<std::string> LayoutFaults(QWidget& window, QSize screen) {
  QApplication::processEvents();
  std::vector<std::string> faults;
  if (window.width() > screen.width() || window.height() > screen.height())
    faults.push_back(Name(&window) + " is " + std::to_string(window.width()) + " x " + std::to_string(window.height()));
  for (QWidget* w : window.findChildren<QWidget*>()) {
    if (w->isWindow() || !w->isVisibleTo(&window) || Scrolled(w, &window)) continue;
    const QRect r(w->mapTo(&window, QPoint(0, 0)), w->size());
    if (!QRect(QPoint(0, 0), screen).contains(r) || !window.rect().contains(r))
      faults.push_back(Name(w) + " lies outside the window");
    else if (!w->parentWidget()->rect().contains(w->geometry()))
      faults.push_back(Name(w) + " is cut by " + Name(w->parentWidget()));
    const std::string cut = CutText(w);
    if (!cut.empty()) faults.push_back(Name(w) + " cuts \"" + cut + "\"");
  }
  return faults;
}

// The window at the screen's size (as a maximised or default window gets it) and at its own
// minimum size.
void ExpectFits(QWidget& window, QSize screen, QSize defaultSize) {
  SCOPED_TRACE(Name(&window) + " on " + std::to_string(screen.width()) + " x " + std::to_string(screen.height()));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.resize(defaultSize.boundedTo(screen));
  EXPECT_EQ(LayoutFaults(window, screen), std::vector<std::string>{}) << "at the default size";
  const QSize least = window.minimumSize().expandedTo(window.minimumSizeHint());
  window.resize(least);
  EXPECT_EQ(LayoutFaults(window, screen), std::vector<std::string>{}) << "at the minimum size";
}

void SolidBmp(const std::filesystem::path& file, int size) {
  TBitmap b(size, size, TPixelFormat::pf24bit);
  b.Fill(RGBColor(200, 120, 40));
  std::filesystem::create_directories(file.parent_path());
  b.SaveToFile(file.string());
}

// The sample model with a project of one skin that has a texture in every section, the first
// texture selected: the painter's tools are shown.
struct TOpenProject {
  TWindowEnv env;
  TModelPreview* Preview = nullptr;
  Tmain_unificada* Window = nullptr;

  // extraSkins: more lines of [Groups]; extraTextures: more texture sections.
  explicit TOpenProject(bool realPreview, const std::string& extraSkins = "", const std::string& extraTextures = "") {
    const std::filesystem::path models = env.Home / "CustomModels";
    std::filesystem::create_directories(models);
    for (const auto& f : std::filesystem::directory_iterator(CORVANE_SAMPLE_MODELS))
      std::filesystem::copy_file(f.path(), models / f.path().filename());
    std::string project = "[General]\r\nModel=Corvy\r\n[Groups]\r\ncrv=Crimson Guard\r\n" + extraSkins;
    for (int section = 1; section <= 5; ++section) {
      const std::string name = "tex/s" + std::to_string(section) + ".bmp";
      SolidBmp(env.Home / name, section == 5 ? 64 : 256);
      project +=
          "[crv#" + std::to_string(section) + "#< Default >]\r\nFilename=tex\\s" + std::to_string(section) + ".bmp\r\n";
    }
    WriteText(env.Home / "corvy.cvp", project + extraTextures);
    std::unique_ptr<TPreview> preview;
    if (realPreview) {
      auto real = std::make_unique<TModelPreview>();
      Preview = real.get();
      preview = std::move(real);
    } else {
      preview = std::make_unique<TRecordingPreview>(&env.PreviewLog);
    }
    env.Window = std::make_unique<Tmain_unificada>(nullptr, std::move(preview));
    Window = env.Window.get();
    Window->show();
    env.Prompts.QueueOpenFiles(std::vector<std::string>{(env.Home / "corvy.cvp").string()});
    C<QAction>(*Window, "mnu_LoadProject")->trigger();
    auto* tree = C<QTreeWidget>(*Window, "ArbolTexturas");
    QTreeWidgetItem* texture = tree->topLevelItem(0);
    while (texture && texture->childCount() > 0) texture = texture->child(0);
    if (texture) tree->setCurrentItem(texture);
    QApplication::processEvents();
  }
};

}  // namespace

TEST(SmallScreen, MainWindowWithATextureSelectedFits) {
  TOpenProject p(false);
  Tmain_unificada& w = *p.Window;
  ASSERT_TRUE(C<QWidget>(w, "Panel_tools_texturas")->isVisibleTo(&w));
  // The widest read-outs the preview writes into its status panels.
  const char* readouts[] = {"Scale=(1.50 1.50 1.50)", "Position=(-1234.5 -1234.5 -1234.5)",
                            "Rotation=(-180 -180 -180)"};
  for (int i = 0; i < 3; ++i)
    C<QLabel>(w, ("StatusBarPreviewPanel" + std::to_string(i + 1)).c_str())->setText(readouts[i]);
  for (QSize screen : kScreens) ExpectFits(w, screen, screen);
}

TEST(SmallScreen, DialogsFit) {
  TWindowEnv env;
  TGLInfoTexts gl;
  gl.Vendor = "Mesa/X.org";
  gl.Acceleration = "Installable Client Driver";
  gl.Version = "4.5 (Compatibility Profile) Mesa 22.3.6";
  gl.Color = gl.Accum = "red: 16,  green: 16,  blue: 16,  alpha: 16  bits";
  const std::vector<std::function<std::unique_ptr<QWidget>()>> makers = {
      [] { return std::make_unique<Tfrm_AboutBox>(); },
      [] { return std::make_unique<Tfrm_newgroup>(); },
      [] { return std::make_unique<Tfrm_newtexture>(); },
      [] { return std::make_unique<Tfrm_selectmodel>(); },
      [] { return std::make_unique<Tmodelcompiler>(); },
      [&] {
        auto info = std::make_unique<TInfoForm>();
        info->ShowTexts(gl, "GLSceneViewer");
        return info;
      },
  };
  for (QSize screen : kScreens)
    for (const auto& make : makers) {
      std::unique_ptr<QWidget> dialog = make();
      const QSize defaultSize = dialog->size();
      ExpectFits(*dialog, screen, defaultSize);
    }
  // The information dialog's page tabs are its widest line: with a desktop font a size larger
  // they still need no scroll arrows.
  TInfoForm info;
  QFont font = info.font();
  font.setPointSizeF(font.pointSizeF() * 1.25);
  info.setFont(font);
  info.ShowTexts(gl, "GLSceneViewer");
  ExpectFits(info, kScreens[0], info.size());
}

// With the real preview (its status read-outs, the 3D view): the pictures of the window are
// saved when CORVANE_TEST_SCREENSHOTS names a folder (the X screen must hold 1600 x 1000).
TEST(SmallScreen, MainWindowWithTheRealPreviewFits) {
  TOpenProject p(true);
  Tmain_unificada& w = *p.Window;
  const char* folder = std::getenv("CORVANE_TEST_SCREENSHOTS");
  for (QSize size : {QSize(1024, 768), QSize(1600, 1000)}) {
    w.move(0, 0);
    w.resize(size);
    QTest::qWait(200);
    EXPECT_EQ(LayoutFaults(w, size), std::vector<std::string>{}) << size.width();
    if (!folder) continue;
    p.Preview->Draw3D();
    QTest::qWait(200);
    const QPixmap shot = w.screen()->grabWindow(0, 0, 0, w.width(), w.height());
    const QString file = QString("%1/main-%2x%3.png").arg(folder).arg(w.width()).arg(w.height());
    EXPECT_TRUE(shot.save(file)) << file.toStdString();
  }
}

namespace {

// A row of an item view that does not show its whole text: cut short, or out of reach of a
// scroll bar the user can move. Empty when it shows whole.
std::string CutRow(QAbstractItemView* view, const QModelIndex& index) {
  const QString text = index.data().toString();
  QScrollBar* bar = view->horizontalScrollBar();
  const int margin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
  if (view->visualRect(index).width() < view->fontMetrics().horizontalAdvance(text) + margin)
    return Name(view) + " cuts \"" + text.toStdString() + "\"";
  const int start = bar->value();
  bar->setValue(bar->maximum());
  const bool reached = view->visualRect(index).right() < view->viewport()->width();
  bar->setValue(start);
  if (!reached || (bar->maximum() > 0 && !view->isEnabled()))
    return Name(view) + " cannot show \"" + text.toStdString() + "\" whole";
  return {};
}

std::vector<std::string> CutRows(QAbstractItemView* view) {
  std::vector<std::string> cut;
  QAbstractItemModel* model = view->model();
  std::function<void(const QModelIndex&)> walk = [&](const QModelIndex& parent) {
    for (int row = 0; row < model->rowCount(parent); ++row) {
      const QModelIndex index = model->index(row, 0, parent);
      if (const std::string c = CutRow(view, index); !c.empty()) cut.push_back(c);
      walk(index);
    }
  };
  walk(QModelIndex());
  return cut;
}

// Items of a combo that its field cannot show whole.
std::vector<std::string> CutItems(QComboBox* combo) {
  QStyleOptionComboBox opt;
  opt.initFrom(combo);
  opt.rect = combo->rect();
  const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo);
  std::vector<std::string> cut;
  for (int i = 0; i < combo->count(); ++i)
    if (field.width() < combo->fontMetrics().horizontalAdvance(combo->itemText(i)))
      cut.push_back(Name(combo) + " cuts \"" + combo->itemText(i).toStdString() + "\"");
  return cut;
}

}  // namespace

// What a new user met at 1024 x 768: texts cut short where the whole text is wanted, and a code
// field that took no letters after a click in its middle.
TEST(SmallScreen, WholeTextsAndTypingWhereANewUserMetThem) {
  const struct {
    const char* name;
    std::function<std::vector<std::string>()> faults;
  } rows[] = {
      {"the tree's labels, a long face name far down included",
       [] {
         std::string skins, textures;
         for (const char* code : {"sk1", "sk2", "sk3", "sk4", "sk5", "sk6"}) {
           skins += std::string(code) + "=Skin " + code + "\r\n";
           for (int section = 1; section <= 5; ++section)
             textures +=
                 "[" + std::string(code) + "#" + std::to_string(section) + "#< Default >]\r\nFilename=tex\\s1.bmp\r\n";
         }
         textures += "[sk6#3#Commander of the Northern Gate (commanderofthenortherngate)]\r\nFilename=tex\\s1.bmp\r\n";
         TOpenProject p(false, skins, textures);
         p.Window->resize(1024, 768);
         QApplication::processEvents();
         return CutRows(C<QTreeWidget>(*p.Window, "ArbolTexturas"));
       }},
      {"the preview's team combo",
       [] {
         TOpenProject p(false, "", "[crv#1#<Green Team>]\r\nFilename=tex\\s1.bmp\r\n");
         p.Window->resize(1024, 768);
         auto* team = C<QComboBox>(*p.Window, "team_selection");
         team->setCurrentIndex(team->findText("<Green Team>"));
         QApplication::processEvents();
         return CutItems(team);
       }},
      {"the model compiler's lists",
       [] {
         Tmodelcompiler mc;
         mc.show();
         std::vector<std::string> cut;
         for (const char* name : {"lodmesh", "information_lm", "information", "lista_materiales"}) {
           auto* list = C<QListWidget>(mc, name);
           list->addItems({"Frames    = 1 (cannot select in this version)", "CommanderOfTheNorthernGate"});
           list->setVisible(true);
           list->parentWidget()->setVisible(true);
           QApplication::processEvents();
           for (const std::string& c : CutRows(list)) cut.push_back(c);
         }
         return cut;
       }},
      {"the skin code typed after a click in the middle of its empty field",
       [] {
         Tfrm_newgroup dialog;
         dialog.show();
         QApplication::setActiveWindow(&dialog);
         auto* code = C<QLineEdit>(dialog, "groupcode");
         QTest::mouseClick(code, Qt::LeftButton, Qt::NoModifier, code->rect().center());
         QTest::keyClicks(code, "abcd");
         return code->text() == "abcd"
                    ? std::vector<std::string>{}
                    : std::vector<std::string>{"the code took \"" + code->text().toStdString() + "\""};
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.faults(), std::vector<std::string>{});
  }
}
