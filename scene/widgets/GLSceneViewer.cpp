#include "scene/widgets/GLSceneViewer.h"

#include "scene/widgets/Info.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPlatformSurfaceEvent>
#include <QPointer>
#include <QResizeEvent>
#include <QShowEvent>
#include <QWindow>
#include <QtDebug>

#include <cmath>

#include <xcb/xcb.h>

// Xlib and GLX last: their macros would break the Qt headers above.
#include "scene/OpenGLX.h"

// The X side of the viewer. When the widget's own visual cannot do OpenGL, the context draws on
// a child window with a GL visual; its expose events reach Qt's event loop as foreign events and
// are turned into repaints here.
struct TGLSceneViewer::TNative : public QObject, public QAbstractNativeEventFilter {
  explicit TNative(TGLSceneViewer* viewer) : Viewer(viewer) {}
  // Watches the widget's QWindow for the end of its native window.
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::PlatformSurface && static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
                                                        QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed)
      Viewer->ReleaseNativeWindow();
    return false;
  }
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (Child && type == "xcb_generic_event_t") {
      auto* ev = static_cast<xcb_generic_event_t*>(message);
      if ((ev->response_type & 0x7F) == XCB_EXPOSE && reinterpret_cast<xcb_expose_event_t*>(ev)->window == Child)
        Viewer->update();
    }
    return false;
  }
  TGLSceneViewer* Viewer;
  Display* Dpy = nullptr;
  Window Parent = 0;
  Window Child = 0;
  Colormap ChildColormap = 0;
  bool FilterInstalled = false;
  QPointer<QWindow> Watched;
  // The first paint only queues the first context; FirstContextDue is set when it may be made.
  bool FirstContextQueued = false;
  bool FirstContextDue = false;
};

namespace {

TShiftState ShiftOf(const QMouseEvent* e) {
  TShiftState s = 0;
  const Qt::KeyboardModifiers m = e->modifiers();
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::AltModifier) s |= ssAlt;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  const Qt::MouseButtons b = e->buttons();
  if (b & Qt::LeftButton) s |= ssLeft;
  if (b & Qt::RightButton) s |= ssRight;
  if (b & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

bool ButtonOf(const QMouseEvent* e, TMouseButton& button) {
  switch (e->button()) {
    case Qt::LeftButton: button = mbLeft; return true;
    case Qt::RightButton: button = mbRight; return true;
    case Qt::MiddleButton: button = mbMiddle; return true;
    default: return false;
  }
}

Display* QtX11Display() {
  const QString platform = QGuiApplication::platformName();
  if (platform != QLatin1String("xcb"))
    throw EOSError("The 3D view needs the X11 (xcb) platform; this session runs on \"" + platform.toStdString() + "\"");
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  Display* dpy = x11 ? x11->display() : nullptr;
  if (!dpy) throw EOSError("No X display is open for the 3D view");
  return dpy;
}

}  // namespace

// Exceptions never leave a Qt event handler: a failure is kept in LastError and reported, and
// the next event tries again.
template <typename F>
void TGLSceneViewer::Guard(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    LastError = e.what();
    qWarning("3D view: %s", e.what());
  }
}

TGLSceneViewer::TGLSceneViewer(QWidget* parent) : QWidget(parent), FNative(std::make_unique<TNative>(this)) {
  InstallQtGlyphOutlines();
  setAttribute(Qt::WA_NativeWindow);
  setAttribute(Qt::WA_PaintOnScreen);
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
  resize(100, 100);
}

TGLSceneViewer::~TGLSceneViewer() {
  try {
    DestroyContext();
  } catch (...) {
  }
  if (FNative->FilterInstalled && QCoreApplication::instance())
    QCoreApplication::instance()->removeNativeEventFilter(FNative.get());
  if (FNative->Watched) FNative->Watched->removeEventFilter(FNative.get());
  if (FNative->Child && OpenGLLoaded()) {
    GLX.XDestroyWindow(FNative->Dpy, FNative->Child);
    GLX.XFreeColormap(FNative->Dpy, FNative->ChildColormap);
    GLX.XFlush(FNative->Dpy);
  }
}

TGLViewerCore::TDrawable TGLSceneViewer::ViewerDrawable() const {
  return {FNative->Dpy, FNative->Child ? FNative->Child : FNative->Parent};
}

bool TGLSceneViewer::UsesChildWindow() const { return FNative->Child != 0; }

int TGLSceneViewer::DevicePixels(int logical) const {
  return static_cast<int>(std::lround(logical * devicePixelRatioF()));
}

void TGLSceneViewer::EnsureContext() {
  if (RenderingContext()) return;
  Display* dpy = QtX11Display();
  if (!InitOpenGL()) throw EOSError("Cannot load the OpenGL libraries libGL.so.1 and libGLU.so.1");
  const Window window = static_cast<Window>(winId());
  if (QWindow* w = windowHandle(); w && w != FNative->Watched) {
    w->installEventFilter(FNative.get());
    FNative->Watched = w;
  }
  FNative->Dpy = dpy;
  FNative->Parent = window;
  const TRCOptions options = (ContextOptions() & roDoubleBuffer) ? TRCOptions(opDoubleBuffered) : TRCOptions(0);
  if (!FNative->Child) {
    bool suits = false;
    {
      TXErrorTrap trap(dpy, "XGetWindowAttributes");
      XWindowAttributes wa;
      if (GLX.XGetWindowAttributes(dpy, window, &wa)) {
        XVisualInfo templ{};
        templ.visualid = wa.visual->visualid;
        int n = 0;
        if (XVisualInfo* vi = GLX.XGetVisualInfo(dpy, VisualIDMask, &templ, &n)) {
          suits = n > 0 && VisualSuitsOpenGL(dpy, vi, options);
          GLX.XFree(vi);
        }
      }
      trap.Check();
    }
    if (!suits) {
      XVisualInfo* vi = ChooseGLVisual(dpy, DefaultScreen(dpy), options);
      if (!vi) throw EOSError("No X visual can render OpenGL with a depth buffer");
      TXErrorTrap trap(dpy, "XCreateWindow");
      XSetWindowAttributes a{};
      a.colormap = GLX.XCreateColormap(dpy, window, vi->visual, AllocNone);
      a.border_pixel = 0;
      a.background_pixmap = None;
      a.event_mask = ExposureMask;  // mouse and keys go on to the widget's own window
      FNative->ChildColormap = a.colormap;
      FNative->Child = GLX.XCreateWindow(dpy, window, 0, 0, static_cast<unsigned>(std::max(ViewerWidth(), 1)),
                                         static_cast<unsigned>(std::max(ViewerHeight(), 1)), 0, vi->depth, InputOutput,
                                         vi->visual, CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask, &a);
      GLX.XFree(vi);
      GLX.XMapWindow(dpy, FNative->Child);
      trap.Check();
      QCoreApplication::instance()->installNativeEventFilter(FNative.get());
      FNative->FilterInstalled = true;
    }
  }
  CreateContext();
}

void TGLSceneViewer::paintEvent(QPaintEvent*) {
  // Loading the GL driver and making the first context take longer than showing the rest of the
  // window: they wait for a queued call, so the window reaches the screen first and the first
  // frame follows at once.
  if (!FNative->FirstContextDue && !RenderingContext()) {
    if (!FNative->FirstContextQueued) {
      FNative->FirstContextQueued = true;
      QMetaObject::invokeMethod(
          this,
          [this] {
            FNative->FirstContextDue = true;
            update();
          },
          Qt::QueuedConnection);
    }
    return;
  }
  Guard([this] {
    EnsureContext();
    ++PaintCount;
    Paint();
    LastError.clear();
  });
}

void TGLSceneViewer::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Guard([this] {
    if (FNative->Child) {
      GLX.XMoveResizeWindow(FNative->Dpy, FNative->Child, 0, 0, static_cast<unsigned>(std::max(ViewerWidth(), 1)),
                            static_cast<unsigned>(std::max(ViewerHeight(), 1)));
      GLX.XFlush(FNative->Dpy);
    }
    Resize(ViewerWidth(), ViewerHeight());
  });
}

void TGLSceneViewer::ReleaseNativeWindow() {
  Guard([this] {
    DestroyContext();
    if (FNative->Child) {
      TXErrorTrap trap(FNative->Dpy, "XDestroyWindow");
      GLX.XDestroyWindow(FNative->Dpy, FNative->Child);
      GLX.XFreeColormap(FNative->Dpy, FNative->ChildColormap);
      trap.Check();
    }
    FNative->Child = 0;
    FNative->ChildColormap = 0;
    FNative->Parent = 0;
  });
}

void TGLSceneViewer::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Guard([this] {
    // The preview stays windowed at the screen's mode; only a viewer whose options ask for a
    // screen mode builds the mode table. (The context itself comes with the first paint.)
    if (DisplayOptions.FullScreen || DisplayOptions.ScreenResolution != 0) {
      EnsureContext();
      TDisplayModes* display = nullptr;
      if (TGLScreen* screen = ScreenModes(&display))
        ApplyDisplayOptions(*screen, *display, DisplayOptions, width(), height());
    }
  });
}

void TGLSceneViewer::mousePressEvent(QMouseEvent* event) {
  TMouseButton b;
  if (OnMouseDown && ButtonOf(event, b))
    Guard([&] {
      OnMouseDown(this, b, ShiftOf(event), event->position().toPoint().x(), event->position().toPoint().y());
    });
}

void TGLSceneViewer::mouseDoubleClickEvent(QMouseEvent* event) {
  TMouseButton b;
  if (OnMouseDown && ButtonOf(event, b))
    Guard([&] {
      OnMouseDown(this, b, ShiftOf(event) | ssDouble, event->position().toPoint().x(), event->position().toPoint().y());
    });
}

void TGLSceneViewer::mouseReleaseEvent(QMouseEvent* event) {
  TMouseButton b;
  if (!ButtonOf(event, b)) return;
  if (OnMouseUp)
    Guard(
        [&] { OnMouseUp(this, b, ShiftOf(event), event->position().toPoint().x(), event->position().toPoint().y()); });
  if (OnClick && b == mbLeft && rect().contains(event->position().toPoint())) Guard([&] { OnClick(this); });
}

void TGLSceneViewer::mouseMoveEvent(QMouseEvent* event) {
  if (OnMouseMove)
    Guard([&] { OnMouseMove(this, ShiftOf(event), event->position().toPoint().x(), event->position().toPoint().y()); });
}

void TGLSceneViewer::ShowInfo() {
  TInfoForm form(window());
  form.GetInfoFrom(*this);
  form.exec();
}
