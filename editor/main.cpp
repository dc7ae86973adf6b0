// Corvane's entry point: the application, the main window, the message loop.
#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <string>

#include "codecs/GraphicCompression.h"
#include "editor/ModelPreview.h"
#include "editor/XDisplayProbe.h"
#include "editor/crvn_unificado.h"
#include "platform/qt/IconPicture.h"
#include "platform/qt/Prompter.h"
#include "platform/qt/QtMessagePump.h"
#include "scene/widgets/GLSceneViewer.h"

int main(int argc, char** argv) {
  // A file-size limit (ulimit -f) must not kill the program: the libraries write files too (the
  // GL driver's shader cache, Qt's settings lock), some before the program's own first write.
  // Ignored, their writes fail like the program's, which say "File too large".
  std::signal(SIGXFSZ, SIG_IGN);
  // Native child windows (the 3D viewer) must not turn their siblings native too.
  QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
  // The 3D view draws with GLX on an X11 window: on a Wayland desktop the program runs through
  // XWayland, unless the user chose a platform.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
  // Without an X display Qt would abort with its plugin advice; say in one line what is missing.
  const TQtDisplayChoice display =
      QtDisplayChoice(argc, argv, qgetenv("QT_QPA_PLATFORM").toStdString(), std::getenv("DISPLAY"));
  std::unique_ptr<TXDisplayProbe> displayProbe;
  if (display.X11) {
    if (!display.DisplayGiven) {
      std::fputs("corvane: needs an X display, and DISPLAY is not set\n", stderr);
      return 1;
    }
    displayProbe = std::make_unique<TXDisplayProbe>(display.Display);
    if (!displayProbe->Answers()) {
      std::fprintf(stderr, "corvane: needs an X display, and the display \"%s\" cannot be opened\n",
                   display.Display.c_str());
      return 1;
    }
  }
  QApplication app(argc, argv);
  // Qt holds its own connection now: the probe's kept the server from resetting until then.
  displayProbe.reset();
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
