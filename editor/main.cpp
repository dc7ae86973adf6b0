// Corvane's entry point: the application, the main window, the message loop.
#include <QApplication>

#include "editor/crvn_unificado.h"
#include "platform/qt/Prompter.h"
#include "platform/qt/QtMessagePump.h"

int main(int argc, char** argv) {
  // Native child windows (the 3D viewer) must not turn their siblings native too.
  QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Corvane");
  SetApplicationTitle("Corvane");
  InstallQtMessagePump();

  // The main window is created first, so it is the application's main window.
  Tmain_unificada mainWindow;
  mainWindow.showMaximized();
  const int rc = QApplication::exec();
  UninstallQtMessagePump();
  return rc;
}
