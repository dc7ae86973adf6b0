// The program started where no X display can be had.
#include <gtest/gtest.h>

#include <QProcess>
#include <cstdlib>

TEST(Startup, WithoutAnXDisplaySaysSoAndExitsWithOne) {
  const struct {
    const char* display;  // nullptr: not set
    QStringList arguments;
    const char* says;
  } rows[] = {
      {nullptr, {}, "DISPLAY is not set"},
      // No server listens there: Qt would abort with its plugin advice.
      {":4711", {}, "the display \":4711\" cannot be opened"},
      // Qt's own argument names the display Qt opens, whatever DISPLAY says.
      {std::getenv("DISPLAY"), {"-display", ":4711"}, "the display \":4711\" cannot be opened"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments.join(' ').toStdString() + " " + row.says);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    if (row.display) env.insert("DISPLAY", row.display);
    env.remove("QT_QPA_PLATFORM");
    program.setProcessEnvironment(env);
    program.start(CORVANE_PROGRAM, row.arguments);
    ASSERT_TRUE(program.waitForFinished(30000)) << program.errorString().toStdString();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);  // not Qt's abort
    EXPECT_EQ(program.exitCode(), 1);
    const QStringList lines = QString::fromUtf8(program.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].startsWith("corvane: needs an X display, and ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains(row.says)) << lines[0].toStdString();
    EXPECT_TRUE(program.readAllStandardOutput().isEmpty());
  }
}
