// The OpenGL information dialog filled from a real context (Xvfb and Mesa); the application
// object is made by the suite's environment in GLSceneViewerTest.cpp.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>

#include <cstdlib>
#include <filesystem>

#include "scene/widgets/GLSceneViewer.h"
#include "scene/widgets/Info.h"
#include <QTabWidget>

TEST(InfoForm, EveryLabelIsFilledFromTheContext) {
  TGLSceneViewer viewer;
  viewer.setObjectName("GLSceneViewer1");
  viewer.resize(120, 90);
  viewer.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer, 120000));
  TInfoForm form;
  form.GetInfoFrom(viewer);
  int labels = 0;
  for (QLabel* label : form.findChildren<QLabel*>()) {
    if (label->objectName().endsWith("Caption")) continue;
    ++labels;
    EXPECT_NE(label->text(), "???") << label->objectName().toStdString();
    EXPECT_FALSE(label->text().isEmpty()) << label->objectName().toStdString();
  }
  EXPECT_EQ(labels, 25);
  EXPECT_EQ(form.windowTitle(), "OpenGL implementation info (current context in GLSceneViewer1)");
  EXPECT_EQ(form.findChild<QLabel*>("DoubleLabel")->text(), viewer.DoubleBuffered() ? "yes" : "no");
  EXPECT_TRUE(form.findChild<QPlainTextEdit*>("Extensions")->toPlainText().contains("GL_"));
  EXPECT_EQ(form.findChild<QLabel*>("ColorLabel")->text().left(5), "red: ");
  // A picture of the dialog for a person to look at, when asked for.
  if (const char* dir = std::getenv("CORVANE_SCREENSHOTS")) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, 120000));
    auto* pages = form.findChild<QTabWidget*>("PageControl");
    for (int page = 0; page < pages->count(); ++page) {
      pages->setCurrentIndex(page);
      QTest::qWait(50);
      form.grab().save(QString("%1/info-page%2.png").arg(dir).arg(page));
    }
  }
}
