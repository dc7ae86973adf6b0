#pragma once
// What the main-window tests share: the application object, a private program folder and
// registry file, a scripted prompter, and a preview that records what the window asks of it.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <sstream>
#include <string>
#include <vector>

#include "controls/ColorPickerButton.h"
#include "controls/LabelScrollBar.h"
#include "editor/PreviewInterface.h"
#include "editor/crvn_unificado.h"
#include "platform/qt/Prompter.h"
#include "platform/qt/ScriptedPrompter.h"
#include "tests/support/Files.h"
#include "tests/support/Scratch.h"

namespace mainwindow_test {

// One QApplication for the whole suite (xcb under Xvfb).
inline QApplication& App() {
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
  static int argc = 1;
  static char arg0[] = "test_editor";
  static char* argv[] = {arg0, nullptr};
  QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
  // Never destroyed: Qt's exit routines after a file dialog crash when the application object
  // goes with the other statics.
  static QApplication* app = new QApplication(argc, argv);
  SetApplicationTitle("Corvane");
  return *app;
}

using testsupport::ReadText;
inline void WriteText(const std::filesystem::path& p, const std::string& text) { testsupport::WriteBytes(p, text); }

// A component of a window by its name; fails the test when it is missing.
template <class T>
T* C(QObject& window, const char* name) {
  T* c = window.findChild<T*>(name);
  if (!c) throw std::runtime_error(std::string("no component ") + name);
  return c;
}

// The window's parts as the user works them.
inline QAction* Act(QObject& window, const char* name) { return C<QAction>(window, name); }
inline void Press(QObject& window, const char* button) { C<QAbstractButton>(window, button)->click(); }
// A combo's item chosen by the user (the window follows only the user's choices).
inline void Choose(QObject& window, const char* combo, int index) {
  QComboBox* c = C<QComboBox>(window, combo);
  c->setCurrentIndex(index);
  emit c->activated(index);
}
// The interval of one of the window's timers runs out.
inline void Fire(QObject& window, const char* timer) {
  if (!QMetaObject::invokeMethod(C<QTimer>(window, timer), "timeout")) throw std::runtime_error("no timeout");
}

// The colour the painter paints with (0x00BBGGRR), as its picker button shows it.
inline uint32_t PaintColor(QObject& window) {
  return ColorToRGB(C<TColorPickerButton>(window, "ColorPickerButton1")->SelectionColor());
}
inline void SetPaintColor(QObject& window, uint32_t color) {
  C<TColorPickerButton>(window, "ColorPickerButton1")->SetSelectionColor(color);
}

// The skin tree's items hold their nodes.
inline QTreeWidget* SkinTreeView(QObject& window) { return C<QTreeWidget>(window, "ArbolTexturas"); }
inline TSkinNode* NodeOf(const QTreeWidgetItem* item) {
  return item ? reinterpret_cast<TSkinNode*>(item->data(0, Qt::UserRole).value<quintptr>()) : nullptr;
}
inline QTreeWidgetItem* ItemOf(QObject& window, const TSkinNode* node) {
  for (QTreeWidgetItemIterator it(SkinTreeView(window)); *it; ++it)
    if (NodeOf(*it) == node) return *it;
  throw std::runtime_error("no tree item shows the node");
}
inline TSkinNode* SelectedNode(QObject& window) { return NodeOf(SkinTreeView(window)->currentItem()); }
inline TObjetoTextura* SelectedTexture(QObject& window) {
  TSkinNode* n = SelectedNode(window);
  return n && n->Level() == 3 ? n->Texture.get() : nullptr;
}
// A click on the node's item.
inline void Select(QObject& window, const TSkinNode* node) {
  SkinTreeView(window)->setCurrentItem(ItemOf(window, node));
}
// A right click on an item (which selects it): the tree's pop-up offers that item's commands.
// The menu is closed again at once, so that nothing counts as a popup open; its actions still
// run when triggered. The pointer is left alone: it is the display's, shared with every other
// program on it.
inline void PopupOn(QTreeWidgetItem* item) {
  QTreeWidget* tree = item->treeWidget();
  tree->scrollToItem(item);
  emit tree->customContextMenuRequested(tree->visualItemRect(item).center());
  for (QObject* o = tree; o; o = o->parent())
    if (auto* menu = o->findChild<QMenu*>("PopupArbol")) {
      menu->hide();
      break;
    }
}

// What the painter's view draws, through its paint events.
inline QImage ShownTexture(QObject& window) { return C<QWidget>(window, "texture_preview_image")->grab().toImage(); }

// A preview that records the calls it gets, in order.
class TRecordingPreview : public TPreview {
 public:
  std::vector<std::string>* Log;
  explicit TRecordingPreview(std::vector<std::string>* log) : Log(log) {}
  void HideHUD() override { Log->push_back("HideHUD"); }
  void UpdateCaption() override { Log->push_back("UpdateCaption"); }
  void Draw3D() override { Log->push_back("Draw3D"); }
  void KeyPress(char key) override { Log->push_back(std::string("Key ") + key); }
  void MouseWheel(int delta) override { Log->push_back("Wheel " + std::to_string(delta)); }
  void MouseDown(Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, int x, int y) override {
    Log->push_back("Down " + std::to_string(x) + "," + std::to_string(y));
  }
  void MouseMove(Qt::MouseButtons, Qt::KeyboardModifiers, int x, int y) override {
    Log->push_back("Move " + std::to_string(x) + "," + std::to_string(y));
  }
  void MouseUp(Qt::MouseButton, Qt::MouseButtons, Qt::KeyboardModifiers, int x, int y) override {
    Log->push_back("Up " + std::to_string(x) + "," + std::to_string(y));
  }
  void PresetNewClick() override { Log->push_back("PresetNew"); }
  void PresetRemoveClick() override { Log->push_back("PresetRemove"); }
  void PresetRenameClick() override { Log->push_back("PresetRename"); }
  void PresetSetClick() override { Log->push_back("PresetSet"); }
};

// A private program folder and registry file for one test; the window is created on demand.
class TWindowEnv {
  testsupport::TScratchDir FScratch{"mainwindow"};

 public:
  std::filesystem::path Root = FScratch.Path(), Home, Registry;
  TScriptedPrompter Prompts;
  std::vector<std::string> PreviewLog;

  TWindowEnv() {
    App();
    Home = Root / "home";
    Registry = Root / "config" / "registry.ini";
    std::filesystem::create_directories(Home);
    setenv("CORVANE_HOME", Home.c_str(), 1);
    setenv("CORVANE_REGISTRY", Registry.c_str(), 1);
    FPrevious = SetCurrentPrompter(&Prompts);
  }
  ~TWindowEnv() {
    Window.reset();
    SetCurrentPrompter(FPrevious);
    unsetenv("CORVANE_HOME");
    unsetenv("CORVANE_REGISTRY");
  }
  TWindowEnv(const TWindowEnv&) = delete;
  TWindowEnv& operator=(const TWindowEnv&) = delete;

  Tmain_unificada& Create() {
    Window = std::make_unique<Tmain_unificada>(nullptr, std::make_unique<TRecordingPreview>(&PreviewLog));
    return *Window;
  }

  std::unique_ptr<Tmain_unificada> Window;

 private:
  Prompter* FPrevious = nullptr;
};

// The whole tree as lines, indented by level.
inline std::string TreeLines(QTreeWidget* tree) {
  std::string out;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) {
    int level = 0;
    for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent()) ++level;
    out += std::string(static_cast<size_t>(level) * 2, ' ') + (*it)->text(0).toStdString() + "\n";
  }
  return out;
}

}  // namespace mainwindow_test
