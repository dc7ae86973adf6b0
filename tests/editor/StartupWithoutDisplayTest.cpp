// The program started where no X display can be had.
#include <gtest/gtest.h>

#include <QProcess>

TEST(Startup, WithoutAnXDisplaySaysSoAndExitsWithOne) {
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("DISPLAY");
  env.remove("QT_QPA_PLATFORM");
  program.setProcessEnvironment(env);
  program.start(CORVANE_PROGRAM, QStringList());
  ASSERT_TRUE(program.waitForFinished(30000)) << program.errorString().toStdString();
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);  // not Qt's abort
  EXPECT_EQ(program.exitCode(), 1);
  const QStringList lines = QString::fromUtf8(program.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 1) << lines.join('\n').toStdString();
  EXPECT_TRUE(lines[0].contains("X display")) << lines[0].toStdString();
  EXPECT_TRUE(program.readAllStandardOutput().isEmpty());
}
