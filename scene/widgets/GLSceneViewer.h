#pragma once
// The scene viewer as a Qt widget: a native X11 window on which a GLX context draws the scene
// of its camera inside every paint event. Property changes anywhere in the scene arrive as one
// merged update() request. No GL or X11 header is included here (moc reads this file).
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "scene/GLViewerCore.h"

// Mouse events as the window's handlers receive them: the button, and the set of buttons and
// modifier keys held.
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftStateFlag : unsigned {
  ssShift = 1,
  ssAlt = 2,
  ssCtrl = 4,
  ssLeft = 8,
  ssRight = 16,
  ssMiddle = 32,
  ssDouble = 64
};
using TShiftState = unsigned;
using TMouseEvent = std::function<void(TPersistent* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TPersistent* sender, TShiftState shift, int x, int y)>;

// Hands Qt's font outlines to the extruded text of the scene (done by every viewer).
void InstallQtGlyphOutlines();

class TGLSceneViewer : public QWidget, public TGLViewerCore {
  Q_OBJECT

 public:
  explicit TGLSceneViewer(QWidget* parent = nullptr);
  ~TGLSceneViewer() override;

  // Nothing paints through Qt: the GL context owns the window's pixels.
  QPaintEngine* paintEngine() const override { return nullptr; }

  TDrawable ViewerDrawable() const override;
  // The viewport, the child window and the frame are sized in device pixels: on a scaled
  // display the native window is larger than the widget's logical size. The resolution is
  // scaled alike, so the camera's view is the same on every display.
  int ViewerWidth() const override { return DevicePixels(width()); }
  int ViewerHeight() const override { return DevicePixels(height()); }
  bool ViewerVisible() const override { return isVisible(); }
  int ScreenDPI() const override { return DevicePixels(logicalDpiX()); }
  int ColorDepth() const override { return depth(); }
  void InvalidateWindow() override { update(); }

  // Creates the context now (normally done by the first paint after the widget is shown, on a
  // queued call so that the rest of the window is on screen first). Raises EOSError
  // when the platform is not xcb or no X display is open.
  void EnsureContext();
  // Whether the GL context draws on a child window with a GL visual (the widget's own visual
  // could not do OpenGL).
  bool UsesChildWindow() const;
  // A length in the widget's logical pixels, in the native window's pixels.
  int DevicePixels(int logical) const;
  // Help > OpenGL Information: the modal information dialog on this viewer's context.
  void ShowInfo();
  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnClick;

  // The message of the last frame that failed (exceptions never leave a Qt event handler).
  std::string LastError;
  int PaintCount = 0;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  template <typename F>
  void Guard(F&& f);
  // The native window is about to go (Qt re-creates native windows in some moves): the context
  // goes first, keeping the capability set for the next one.
  void ReleaseNativeWindow();
  struct TNative;
  std::unique_ptr<TNative> FNative;
};
