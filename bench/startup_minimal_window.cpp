// The yardstick of bench/startup-process: the least a Qt 6 program of this kind does before its
// window is on screen. A main window with a menu bar and a tree, shown maximised; it prints
// "shown" once the window is exposed and ends, as corvane does with CORVANE_QUIT_WHEN_SHOWN.
// Linked against Qt Widgets only.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>
#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && qEnvironmentVariableIsSet("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle("Minimal");
  for (const char* title : {"&File", "&Actions", "&Help"}) {
    QMenu* menu = window.menuBar()->addMenu(title);
    menu->addAction("Open...");
    menu->addSeparator();
    menu->addAction("Exit");
  }
  auto* tree = new QTreeWidget(&window);
  tree->setHeaderHidden(true);
  for (int i = 0; i < 4; ++i) new QTreeWidgetItem(tree, QStringList(QString("Item %1").arg(i)));
  window.setCentralWidget(tree);
  if (const QScreen* screen = window.screen()) window.setGeometry(screen->availableGeometry());
  window.showMaximized();
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, &app, [&window, &probe] {
    if (!window.windowHandle() || !window.windowHandle()->isExposed()) return;
    probe.stop();
    std::fputs("shown\n", stdout);
    std::fflush(stdout);
    QCoreApplication::quit();
  });
  probe.start(1);
  return QApplication::exec();
}
