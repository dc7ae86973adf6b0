#pragma once
// What the benchmarks that drive the main window share: the process's application object and a
// texture as a painted skin has it (BenchTexture.h).
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <cstdint>
#include <memory>
#include <string>

#include "bench/BenchTexture.h"
#include "controls/LabelScrollBar.h"
#include "editor/EditorDocument.h"
#include "editor/crvn_unificado.h"
#include "model/crvn_struc.h"
#include "platform/Bitmap.h"

// The application object, of class App (a QApplication), made on first use.
template <typename App = QApplication>
App* BenchApplication(const char* name) {
  static App* app = [name] {
    static int argc = 1;
    static std::string arg0 = name;
    static char* argv[] = {arg0.data(), nullptr};
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    return new App(argc, argv);
  }();
  return app;
}

// The window opened on a project of one skin whose first section holds `texture`, shown, with
// that texture chosen in the tree and the brush of the given size: the texture view, where
// strokes are painted, comes back.
inline QWidget* ShowTextureInWindow(Tmain_unificada& w, std::unique_ptr<TModelo> model, TBitmap texture,
                                    int brushSize) {
  w.Document().Tree().SetRoot("bench (Bench)");
  TSkinNode* skin = AddSkin(w.Document().Tree(), "Skin", "skin", *model);
  auto t = std::make_unique<TObjetoTextura>();
  t->Bitmap = std::make_unique<TBitmap>(std::move(texture));
  TSkinNode* node = AddTexture(skin->Child(0), std::move(t), "< Default >");
  w.Document().SetUp({.Model = std::move(model)});
  w.resize(1024, 740);
  w.show();
  QTreeWidget* tree = w.findChild<QTreeWidget*>("ArbolTexturas");
  for (QTreeWidgetItemIterator it(tree); *it; ++it)
    if ((*it)->data(0, Qt::UserRole).value<quintptr>() == reinterpret_cast<quintptr>(node)) tree->setCurrentItem(*it);
  w.findChild<TLabelScrollBar*>("brush_size")->SetValue(brushSize);
  return w.findChild<QLabel*>("texture_preview_image");
}

// A mouse event with the left button at (x, y) of the widget, delivered as the window system
// delivers it.
inline void SendMouse(QWidget* widget, QEvent::Type type, int x, int y) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent e(type, QPointF(x, y), widget->mapToGlobal(QPointF(x, y)), Qt::LeftButton, held, Qt::NoModifier);
  QApplication::sendEvent(widget, &e);
}
