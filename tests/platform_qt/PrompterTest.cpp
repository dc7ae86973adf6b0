#include <gtest/gtest.h>

#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "QtTestApp.h"
#include "platform/qt/Prompter.h"
#include "platform/qt/QtPrompter.h"
#include "platform/qt/ScriptedPrompter.h"

namespace {
// Runs fn on the dialog that is about to be shown modally, once it is up.
template <class Dialog, class F>
void WhenShown(F fn) {
  QTimer::singleShot(0, [fn] {
    auto tries = std::make_shared<int>(0);
    auto tick = std::make_shared<std::function<void()>>();
    *tick = [fn, tries, tick] {
      if (auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
        fn(d);
        return;
      }
      if (++*tries < 500) {
        QTimer::singleShot(10, *tick);
        return;
      }
      // Never hang the suite: close whatever dialog is up and fail.
      ADD_FAILURE() << "the expected dialog did not appear";
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
    };
    (*tick)();
  });
}
}  // namespace

TEST(ScriptedPrompter, AnswersFromItsQueuesAndRecordsEveryPrompt) {
  TScriptedPrompter p;
  TScopedPrompter use(p);
  p.QueueAnswer(mrNo);
  p.QueueAnswer(mrYes);
  p.QueueInput("Preset#7 renamed");
  p.QueueInput(std::nullopt);
  p.QueueSaveFile("/tmp/x.cvp");
  p.QueueOpenFiles(std::vector<std::string>{"/a.bmp", "/b.bmp"});
  p.QueueColor(0x0000FFu);
  EXPECT_EQ(p.Pending(), 7u);

  EXPECT_EQ(MessageBox("Save Project", "Save the project?", TMsgButtons::YesNo, TMsgIcon::Question), mrNo);
  EXPECT_EQ(MessageBox("Warning", "The CVMX file already exists, overwrite?", TMsgButtons::YesNo), mrYes);
  // A box with only OK needs no answer.
  ShowMessage("Project compiled");
  EXPECT_EQ(MessageBox("ERROR", "The model of this project is not installed!"), mrOk);
  EXPECT_EQ(InputBox("Preset Rename", "Preset Name:", "Preset#7"), "Preset#7 renamed");
  EXPECT_EQ(InputBox("New Preset", "Preset Name:", "Preset#8"), "Preset#8");  // cancelled
  std::string saved;
  TFileDialogOptions save;
  save.Title = "Saving Corvane Project";
  EXPECT_TRUE(CurrentPrompter().SaveFileDialog(save, saved));
  EXPECT_EQ(saved, "/tmp/x.cvp");
  std::vector<std::string> opened{"stale"};
  TFileDialogOptions open;
  open.Filter = "Bitmaps (*.bmp)|*.bmp";
  EXPECT_TRUE(CurrentPrompter().OpenFileDialog(open, opened));
  EXPECT_EQ(opened, (std::vector<std::string>{"/a.bmp", "/b.bmp"}));
  uint32_t colour = 0;
  EXPECT_TRUE(CurrentPrompter().ColorDialog(colour));
  EXPECT_EQ(colour, 0x0000FFu);
  EXPECT_EQ(p.Pending(), 0u);

  EXPECT_EQ(p.Messages(),
            (std::vector<std::string>{"Save Project: Save the project?",
                                      "Warning: The CVMX file already exists, overwrite?", "Corvane: Project compiled",
                                      "ERROR: The model of this project is not installed!"}));
  ASSERT_EQ(p.Shown.size(), 9u);
  EXPECT_EQ(p.Shown[0].Buttons, TMsgButtons::YesNo);
  EXPECT_EQ(p.Shown[0].Icon, TMsgIcon::Question);
  EXPECT_EQ(p.Shown[4].Kind, TPromptRecord::pkInput);
  EXPECT_EQ(p.Shown[4].Caption, "Preset Rename");
  EXPECT_EQ(p.Shown[4].Text, "Preset Name:");
  EXPECT_EQ(p.Shown[6].Caption, "Saving Corvane Project");
  EXPECT_EQ(p.Shown[7].Text, "Bitmaps (*.bmp)|*.bmp");
  ASSERT_EQ(p.FileDialogs.size(), 2u);
}

// A notice shown before a question must not take the question's answer.
TEST(ScriptedPrompter, AnOkBoxLeavesTheQueuedAnswersToTheQuestions) {
  TScriptedPrompter p;
  std::vector<std::string> failures;
  p.OnUnexpected = [&](const std::string& m) { failures.push_back(m); };
  TScopedPrompter use(p);
  p.QueueAnswer(mrYes);
  ShowMessage("Project compiled");
  EXPECT_EQ(p.Pending(), 1u);
  EXPECT_EQ(MessageBox("Warning", "Overwrite?", TMsgButtons::YesNo), mrYes);
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(p.Pending(), 0u);
}

TEST(ScriptedPrompter, AQuestionWithoutAnAnswerIsAFailure) {
  TScriptedPrompter p;
  std::vector<std::string> failures;
  p.OnUnexpected = [&](const std::string& m) { failures.push_back(m); };
  TScopedPrompter use(p);
  EXPECT_EQ(MessageBox("Save Project", "Save the project?", TMsgButtons::YesNo), mrNo);
  EXPECT_EQ(MessageBox("Q", "Three ways", TMsgButtons::YesNoCancel), mrCancel);
  std::string v = "default";
  EXPECT_FALSE(InputQuery("New Preset", "Preset Name:", v));
  EXPECT_EQ(v, "default");
  uint32_t c = 5;
  EXPECT_FALSE(CurrentPrompter().ColorDialog(c));
  EXPECT_EQ(c, 5u);
  ASSERT_EQ(failures.size(), 4u);
  EXPECT_EQ(failures[0], "Scripted prompter: no answer queued for Yes/No box \"Save Project\": \"Save the project?\"");
}

TEST(ScriptedPrompterDeathTest, AbortsByDefault) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        TScriptedPrompter p;
        p.MessageBox("Save Project", "Save the project?", TMsgButtons::YesNo, TMsgIcon::Question);
      },
      "no answer queued for Yes/No box");
}

TEST(Prompter, ScopedPromptersNestAndRestore) {
  Prompter& qt = CurrentPrompter();
  EXPECT_NE(dynamic_cast<TQtPrompter*>(&qt), nullptr);
  TScriptedPrompter a, b;
  {
    TScopedPrompter ua(a);
    EXPECT_EQ(&CurrentPrompter(), &a);
    {
      TScopedPrompter ub(b);
      EXPECT_EQ(&CurrentPrompter(), &b);
    }
    EXPECT_EQ(&CurrentPrompter(), &a);
  }
  EXPECT_EQ(&CurrentPrompter(), &qt);
  EXPECT_EQ(ApplicationTitle(), "Corvane");
}

// Escape, or closing the box, puts a question away unanswered: callers must not take that for
// No ("Save the project?" answered No closes the window and loses the work).
TEST(QtPrompter, AYesNoBoxPutAwayGivesNoAnswer) {
  TestApp();
  TQtPrompter p;
  const struct {
    const char* name;
    std::function<void(QMessageBox*)> act;
    int answer;
  } rows[] = {
      {"Escape",
       [](QMessageBox* b) {
         QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : b;
         QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
         QApplication::sendEvent(focus, &press);
       },
       mrCancel},
      {"closed", [](QMessageBox* b) { b->close(); }, mrCancel},
      {"No", [](QMessageBox* b) { b->button(QMessageBox::No)->click(); }, mrNo},
      {"Yes", [](QMessageBox* b) { b->button(QMessageBox::Yes)->click(); }, mrYes},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    WhenShown<QMessageBox>(row.act);
    EXPECT_EQ(p.MessageBox("Save Project", "Save the project?", TMsgButtons::YesNo, TMsgIcon::Question), row.answer);
  }
}

TEST(QtPrompter, ShowsRealDialogsWithTheCallersTexts) {
  TestApp();
  TQtPrompter p;

  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  WhenShown<QMessageBox>([&](QMessageBox* box) {
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(p.MessageBox("Save Project", "Save the project?", TMsgButtons::YesNo, TMsgIcon::Question), mrNo);
  EXPECT_EQ(title, "Save Project");
  EXPECT_EQ(text, "Save the project?");
  EXPECT_EQ(icon, QMessageBox::Question);

  WhenShown<QMessageBox>([&](QMessageBox* box) {
    icon = box->icon();
    box->button(QMessageBox::Cancel)->click();
  });
  EXPECT_EQ(p.MessageBox("c", "t", TMsgButtons::YesNoCancel, TMsgIcon::Stop), mrCancel);
  EXPECT_EQ(icon, QMessageBox::Critical);

  // Closing an OK box any way counts as OK.
  WhenShown<QMessageBox>([&](QMessageBox* box) { box->close(); });
  EXPECT_EQ(p.MessageBox("c", "t", TMsgButtons::OK, TMsgIcon::Information), mrOk);

  WhenShown<QInputDialog>([&](QInputDialog* d) {
    title = d->windowTitle();
    text = d->textValue();
    d->setTextValue(QString::fromUtf8("Côté"));
    d->accept();
  });
  std::string value = "Preset#3";
  EXPECT_TRUE(p.InputQuery("New Preset", "Preset Name:", value));
  EXPECT_EQ(title, "New Preset");
  EXPECT_EQ(text, "Preset#3");
  EXPECT_EQ(value, "C\xC3\xB4t\xC3\xA9");

  WhenShown<QInputDialog>([&](QInputDialog* d) { d->reject(); });
  EXPECT_FALSE(p.InputQuery("New Preset", "Preset Name:", value));
  EXPECT_EQ(value, "C\xC3\xB4t\xC3\xA9");

  // Colours are 0x00BBGGRR both ways.
  QColor start;
  WhenShown<QColorDialog>([&](QColorDialog* d) {
    start = d->currentColor();
    d->setCurrentColor(QColor(0x10, 0x20, 0x30));
    d->accept();
  });
  uint32_t colour = 0x00FF0000;  // blue
  EXPECT_TRUE(p.ColorDialog(colour));
  EXPECT_EQ(start, QColor(0, 0, 255));
  EXPECT_EQ(colour, 0x00302010u);

  // Filters in the "description|patterns" form become Qt name filters.
  QStringList filters;
  QString selected, dialogTitle;
  WhenShown<QFileDialog>([&](QFileDialog* d) {
    filters = d->nameFilters();
    selected = d->selectedNameFilter();
    dialogTitle = d->windowTitle();
    d->reject();
  });
  TFileDialogOptions o;
  o.Title = "Opening Corvane Project";
  o.Filter = "Corvane Projects (*.cvp)|*.cvp|Pictures|*.bmp;*.jpg|All files (*.*)|*.*";
  o.FilterIndex = 2;
  std::vector<std::string> files{"kept"};
  EXPECT_FALSE(p.OpenFileDialog(o, files));
  EXPECT_EQ(files, (std::vector<std::string>{"kept"}));
  EXPECT_EQ(dialogTitle, "Opening Corvane Project");
  EXPECT_EQ(filters, (QStringList{"Corvane Projects (*.cvp)", "Pictures (*.bmp *.jpg)", "All files (*)"}));
  EXPECT_EQ(selected, "Pictures (*.bmp *.jpg)");
}
