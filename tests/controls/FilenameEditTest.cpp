// The file-name edit: its text rules, the dialog flow with its two events, and dropped files.
#include <gtest/gtest.h>

#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "controls/CtrlUtils.h"
#include "controls/EditCtrls.h"
#include "controls/FileUtil.h"
#include "platform/qt/ScriptedPrompter.h"
#include "platform_qt/QtTestApp.h"
#include "tests/support/Files.h"
#include "tests/support/Scratch.h"

namespace fs = std::filesystem;

namespace {

// A scratch folder with a blank in its name and one file in it.
struct TScratch {
  testsupport::TScratchDir Scratch{"controls with blank"};
  fs::path Dir = Scratch.Path();
  std::string File = (Dir / "my model.3ds").string();
  TScratch() { testsupport::WriteBytes(File, "x"); }
};

}  // namespace

TEST(FileUtil, TextRules) {
  TScratch s;
  struct {
    std::string text, firstWord;
  } words[] = {
      {"", ""},
      {"   ", ""},
      {"plain.u", "plain.u"},
      {"  lead.u trail", "lead.u"},
      {"\"C:\\Unreal Tournament\\x.u\" more", "C:\\Unreal Tournament\\x.u"},
      {"a\"b c\"d e", "ab cd"},
      {"\"unclosed quote", "unclosed quote"},
      {"tab\tsep", "tab"},
  };
  for (const auto& c : words) EXPECT_EQ(ExtractFirstWord(c.text), c.firstWord) << c.text;

  // An existing file with a blank is taken whole even without quotes; a missing one is cut.
  EXPECT_EQ(UnquotedFileName(s.File), s.File);
  EXPECT_EQ(UnquotedFileName("/no such/file"), "/no");
  EXPECT_EQ(UnquotedFileName(QuotedFileName(s.File)), s.File);

  struct {
    std::string name, quoted;
  } quotes[] = {{"plain.u", "plain.u"}, {"a b.u", "\"a b.u\""}, {"\"a b.u\"", "\"a b.u\""}, {"", ""}};
  for (const auto& c : quotes) EXPECT_EQ(QuotedFileName(c.name), c.quoted) << c.name;

  for (const char* bad : {"", "a|b", "a<b", "a>b", "a\"b", "a[1]", "x]"}) EXPECT_FALSE(ValidFileName(bad)) << bad;
  for (const char* good : {"a", "C:\\UT\\System\\Botpack.u", "/tmp/a b.u", "a{b}.u"})
    EXPECT_TRUE(ValidFileName(good)) << good;
}

TEST(FileUtil, EllipsisGlyph) {
  struct {
    int buttonWidth, width, gap, x0;
  } cases[] = {
      {13, 7, 1, 0},   // the model compiler's buttons
      {21, 15, 3, 1},  // the default button width
      {15, 9, 1, 0},   {17, 11, 2, 0},
      {40, 34, 3, 11}, {3, 1, 1, -3},  // narrower than the dots: clipped, never negative in size
  };
  for (const auto& c : cases) {
    const TEllipsisGlyph g = EllipsisGlyph(c.buttonWidth);
    EXPECT_EQ(g.Width, c.width) << c.buttonWidth;
    EXPECT_EQ(g.Height, 4);
    EXPECT_EQ(g.Gap, c.gap) << c.buttonWidth;
    EXPECT_EQ(g.DotX[0], c.x0) << c.buttonWidth;
    EXPECT_EQ(g.DotX[2] - g.DotX[1], g.DotX[1] - g.DotX[0]);
    EXPECT_EQ(g.DotX[1] - g.DotX[0], c.gap + 2);
  }
}

TEST(FilenameEdit, FileNameProperty) {
  TestApp();
  TFilenameEdit e;
  e.SetFileName("/tmp/a b/model.3ds");
  EXPECT_EQ(e.text().toStdString(), "\"/tmp/a b/model.3ds\"");
  EXPECT_TRUE(e.isModified());
  EXPECT_EQ(e.FileName(), "/tmp/a b/model.3ds");
  e.SetFileName("plain.u");
  EXPECT_EQ(e.text().toStdString(), "plain.u");

  try {
    e.SetFileName("a|b");
    FAIL() << "no error";
  } catch (const EComboEditError& err) {
    EXPECT_STREQ(err.what(), "Invalid file name - a|b");
  }
  EXPECT_EQ(e.text().toStdString(), "plain.u");
  e.SetFileName("");
  EXPECT_TRUE(e.text().isEmpty());
}

TEST(FilenameEdit, DialogFlow) {
  TestApp();
  TScratch s;
  TScriptedPrompter prompts;
  TScopedPrompter scope(prompts);
  TFilenameEdit e;
  e.Dialog.Title = "Select model file";
  e.Dialog.Filter = "3DStudio (*.3ds)|*.3ds";
  std::vector<std::string> log;
  e.OnBeforeDialog = [&](QObject* sender, std::string& name, bool&) {
    EXPECT_EQ(sender, &e);
    log.push_back("before " + name);
  };
  e.OnAfterDialog = [&](QObject*, std::string& name, bool& action) {
    log.push_back(std::string("after ") + (action ? "ok " : "cancel ") + name);
  };

  // The edit names a file in an existing folder: the dialog starts there with that file.
  e.setText(QString::fromStdString(QuotedFileName(s.File)));
  prompts.QueueOpenFiles(std::vector<std::string>{s.File});
  e.Button()->click();
  ASSERT_EQ(prompts.FileDialogs.size(), 1u);
  EXPECT_EQ(prompts.FileDialogs[0].Title, "Select model file");
  EXPECT_EQ(prompts.FileDialogs[0].Filter, "3DStudio (*.3ds)|*.3ds");
  EXPECT_EQ(prompts.FileDialogs[0].InitialDir, s.Dir.string() + "/");
  EXPECT_EQ(prompts.FileDialogs[0].FileName, "my model.3ds");
  EXPECT_EQ(e.text().toStdString(), "\"" + s.File + "\"");
  EXPECT_EQ(e.FileName(), s.File);

  // Cancelled: the text stays; the after event hears of it.
  e.setText("other.3ds");
  prompts.QueueOpenFiles(std::nullopt);
  e.Button()->click();
  EXPECT_EQ(e.text().toStdString(), "other.3ds");

  // A veto before the dialog: no dialog, no after event.
  e.OnBeforeDialog = [&](QObject*, std::string&, bool& action) { action = false; };
  e.Button()->click();
  EXPECT_EQ(prompts.FileDialogs.size(), 2u);

  // The after event may take a cancelled dialog as a choice and change the name.
  e.OnBeforeDialog = nullptr;
  e.OnAfterDialog = [&](QObject*, std::string& name, bool& action) {
    action = true;
    name = "forced name.3ds";
  };
  prompts.QueueOpenFiles(std::nullopt);
  e.Button()->click();
  EXPECT_EQ(e.text().toStdString(), "\"forced name.3ds\"");

  // Read-only: the button does nothing. Alt+Down in the edit clicks it.
  e.SetReadOnly(true);
  e.Button()->click();
  EXPECT_EQ(prompts.FileDialogs.size(), 3u);
  e.SetReadOnly(false);
  e.OnAfterDialog = nullptr;
  e.SetDialogKind(dkSave);
  prompts.QueueSaveFile(std::string("/tmp/saved.cvmx"));
  QKeyEvent altDown(QEvent::KeyPress, Qt::Key_Down, Qt::AltModifier);
  QApplication::sendEvent(&e, &altDown);
  EXPECT_EQ(prompts.FileDialogs.size(), 4u);
  EXPECT_EQ(e.text().toStdString(), "/tmp/saved.cvmx");
  EXPECT_EQ(e.Dialog.InitialDir, "/tmp/");

  EXPECT_EQ(log, (std::vector<std::string>{"before " + s.File, "after ok " + s.File, "before other.3ds",
                                           "after cancel other.3ds"}));
  EXPECT_EQ(prompts.Pending(), 0u);
}

TEST(FilenameEdit, DroppedFiles) {
  TestApp();
  TFilenameEdit e;
  std::vector<std::string> dropped;
  e.OnDropFiles = [&](QObject*, const std::vector<std::string>& names) { dropped = names; };
  auto drop = [&] {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/tmp/first file.u"), QUrl::fromLocalFile("/tmp/second.u")});
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    // Straight to the widget: the application routes drops only from a real drag.
    static_cast<QObject&>(e).event(&event);
  };
  // Files are taken only when the edit accepts them.
  drop();
  EXPECT_TRUE(dropped.empty());
  EXPECT_TRUE(e.text().isEmpty());
  e.SetAcceptFiles(true);
  drop();
  EXPECT_EQ(dropped, (std::vector<std::string>{"/tmp/first file.u", "/tmp/second.u"}));
  EXPECT_EQ(e.text().toStdString(), "\"/tmp/first file.u\"");
}
