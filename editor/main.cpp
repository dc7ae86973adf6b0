// Corvane's entry point: the application, the main window, the message loop.
#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "codecs/GraphicCompression.h"
#include "editor/ModelPreview.h"
#include "editor/crvn_unificado.h"
#include "platform/qt/IconPicture.h"
#include "platform/qt/Prompter.h"
#include "platform/qt/QtMessagePump.h"
#include "scene/widgets/GLSceneViewer.h"

namespace {

// Whether the X display answers, asked as Qt's X11 platform will ask it (libxcb, which that
// platform loads anyway). Without the library Qt says itself what is missing.
bool XDisplayAnswers(const char* display) {
  void* xcb = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
  if (!xcb) return true;
  using TConnect = void* (*)(const char*, int*);
  using TConnectionCall = int (*)(void*);
  using TDisconnect = void (*)(void*);
  const auto connect = reinterpret_cast<TConnect>(dlsym(xcb, "xcb_connect"));
  const auto hasError = reinterpret_cast<TConnectionCall>(dlsym(xcb, "xcb_connection_has_error"));
  const auto disconnect = reinterpret_cast<TDisconnect>(dlsym(xcb, "xcb_disconnect"));
  bool answers = true;
  if (connect && hasError && disconnect) {
    // A failed connection is an object too, and is freed the same way.
    void* connection = connect(display, nullptr);
    answers = connection && hasError(connection) == 0;
    if (connection) disconnect(connection);
  }
  dlclose(xcb);
  return answers;
}

// Without an X display Qt would abort with its plugin advice; say in one line what is missing.
// Empty when there is nothing to say (a display given with -display is left to Qt).
std::string XDisplayProblem(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "-display") == 0) return "";
  const QByteArray display = qgetenv("DISPLAY");
  if (display.isEmpty()) return "corvane: needs an X display, and DISPLAY is not set";
  if (!XDisplayAnswers(display.constData()))
    return "corvane: needs an X display, and the display \"" + display.toStdString() + "\" cannot be opened";
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  // Native child windows (the 3D viewer) must not turn their siblings native too.
  QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
  // The 3D view draws with GLX on an X11 window: on a Wayland desktop the program runs through
  // XWayland, unless the user chose a platform.
  const bool choosePlatform = !qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
  if (choosePlatform || qgetenv("QT_QPA_PLATFORM").startsWith("xcb")) {
    const std::string problem = XDisplayProblem(argc, argv);
    if (!problem.empty()) {
      std::fprintf(stderr, "%s\n", problem.c_str());
      return 1;
    }
  }
  if (choosePlatform) qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  QApplication::setApplicationName("Corvane");
  SetApplicationTitle("Corvane");
  InstallQtMessagePump();
  // Picture classes register before the main window builds its picture dialog's filter.
  RegisterQtPictureReaders();
  // A decoder that meets damaged data it can go on from (a JPEG strip cut short) says so in a box.
  SetDecoderWarningHandler([](const std::string& caption, const std::string& text) {
    CurrentPrompter().MessageBox(caption, text, TMsgButtons::OK, TMsgIcon::Warning);
  });

  // The main window is created first, so it is the application's main window.
  Tmain_unificada mainWindow(nullptr, std::make_unique<TModelPreview>());
  // Maximised; without a window manager (which would do it) the window still fills the screen.
  if (const QScreen* screen = mainWindow.screen()) mainWindow.setGeometry(screen->availableGeometry());
  mainWindow.showMaximized();
  // For bench/startup-process: says "shown" once the window is on screen and "drawn" once the 3D
  // view has drawn its first frame (or given up on it), then ends.
  if (qEnvironmentVariableIsSet("CORVANE_QUIT_WHEN_SHOWN")) {
    auto* probe = new QTimer(&app);
    const auto* viewer = mainWindow.findChild<TGLSceneViewer*>();
    QObject::connect(probe, &QTimer::timeout, &app, [&mainWindow, probe, viewer, shown = false]() mutable {
      if (!shown) {
        if (!mainWindow.windowHandle() || !mainWindow.windowHandle()->isExposed()) return;
        shown = true;
        std::fputs("shown\n", stdout);
        std::fflush(stdout);
      }
      if (viewer && viewer->isVisible() && viewer->PaintCount == 0 && viewer->LastError.empty()) return;
      probe->stop();
      std::fputs("drawn\n", stdout);
      std::fflush(stdout);
      QCoreApplication::quit();
    });
    probe->start(1);
  }
  const int rc = QApplication::exec();
  UninstallQtMessagePump();
  return rc;
}
