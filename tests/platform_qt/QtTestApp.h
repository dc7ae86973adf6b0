#pragma once
// One QApplication for the whole test executable, created on first use.
#include <QApplication>

inline QApplication& TestApp() {
  static int argc = 1;
  static char name[] = "test_platform_qt";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    QApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    return new QApplication(argc, argv);
  }();
  return *app;
}
