// Corvane's entry point.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
  // Native child windows (the 3D viewer) must not turn their siblings native too.
  QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Corvane");
  QMainWindow w;
  w.setWindowTitle("Corvane v2.4.1");
  w.resize(1024, 720);
  w.show();
  return QApplication::exec();
}
