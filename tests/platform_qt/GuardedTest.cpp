#include <gtest/gtest.h>

#include <QAction>
#include <QObject>

#include "QtTestApp.h"
#include "platform/Exceptions.h"
#include "platform/qt/ErrorBox.h"
#include "platform/qt/Guarded.h"
#include "platform/qt/ScriptedPrompter.h"

TEST(Guarded, ShowsTheExceptionInTheErrorBoxAndReportsFailure) {
  TScriptedPrompter p;
  TScopedPrompter use(p);
  EXPECT_TRUE(Guarded([] {}));
  EXPECT_TRUE(p.Shown.empty());

  EXPECT_FALSE(Guarded([] { throw EConvertError("FormCreate: 'abc' is not a valid floating point value"); }));
  EXPECT_FALSE(Guarded([] { throw std::runtime_error("plain"); }));
  EXPECT_FALSE(Guarded([] { throw 42; }));
  ASSERT_EQ(p.Shown.size(), 3u);
  EXPECT_EQ(p.Shown[0].Caption, "Corvane");
  EXPECT_EQ(p.Shown[0].Text, "FormCreate: 'abc' is not a valid floating point value");
  EXPECT_EQ(p.Shown[0].Icon, TMsgIcon::Stop);
  EXPECT_EQ(p.Shown[0].Buttons, TMsgButtons::OK);
  EXPECT_EQ(p.Shown[1].Text, "plain");
  EXPECT_EQ(p.Shown[2].Text, "Unknown exception");
}

TEST(Guarded, NoExceptionCrossesASignal) {
  TestApp();
  TScriptedPrompter p;
  TScopedPrompter use(p);
  QAction action;
  action.setCheckable(true);
  bool seen = false;
  int runs = 0;
  QObject::connect(&action, &QAction::triggered, &action, GuardedSlot([&](bool checked) {
    seen = checked;
    ++runs;
    throw EInOutError("Disk full");
  }));
  QObject::connect(&action, &QAction::triggered, &action, GuardedSlot([&] { ++runs; }));
  EXPECT_NO_THROW(action.trigger());
  EXPECT_TRUE(seen);
  EXPECT_EQ(runs, 2);  // the second slot still ran
  ASSERT_EQ(p.Messages(), (std::vector<std::string>{"Corvane: Disk full"}));
}

namespace {
class TRefusingPrompter : public TScriptedPrompter {
 public:
  int MessageBox(const std::string&, const std::string&, TMsgButtons, TMsgIcon) override {
    throw std::runtime_error("no display");
  }
};
}  // namespace

TEST(Guarded, AnErrorBoxThatFailsDoesNotEscapeEither) {
  TRefusingPrompter p;
  TScopedPrompter use(p);
  bool result = true;
  EXPECT_NO_THROW(result = Guarded([] { throw Exception("first"); }));
  EXPECT_FALSE(result);
  EXPECT_THROW(ShowErrorBox("direct"), std::runtime_error);
}
