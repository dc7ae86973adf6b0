#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <thread>

#include "QtTestApp.h"
#include "platform/MessagePump.h"
#include "platform/qt/QtMessagePump.h"

using namespace std::chrono_literals;

namespace {
struct TPumpInstalled {
  explicit TPumpInstalled(std::chrono::milliseconds interval) { InstallQtMessagePump(interval); }
  ~TPumpInstalled() { UninstallQtMessagePump(); }
};
}  // namespace

TEST(QtMessagePump, HandlesPendingEventsAtMostOncePerInterval) {
  TestApp();
  QCoreApplication::processEvents();
  TPumpInstalled pump(1000ms);
  int fired = 0;
  QTimer::singleShot(0, [&] { ++fired; });
  ProcessMessages();
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(QtMessagePumpRuns(), 1);

  // Within the interval a call does nothing.
  QTimer::singleShot(0, [&] { ++fired; });
  ProcessMessages();
  ProcessMessages();
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(QtMessagePumpRuns(), 1);

  std::this_thread::sleep_for(1050ms);
  ProcessMessages();
  EXPECT_EQ(fired, 2);
  EXPECT_EQ(QtMessagePumpRuns(), 2);
}

TEST(QtMessagePump, NeverRunsInsideItself) {
  TestApp();
  QCoreApplication::processEvents();
  TPumpInstalled pump(0ms);
  int outer = 0, inner = 0;
  // The first event pumps again from inside its handler: that nested pump must not handle
  // the second event, which the outer pump handles after it.
  QTimer::singleShot(0, [&] {
    ++outer;
    ProcessMessages();
    EXPECT_EQ(inner, 0);
  });
  QTimer::singleShot(0, [&] { ++inner; });
  ProcessMessages();
  EXPECT_EQ(outer, 1);
  EXPECT_EQ(inner, 1);
  EXPECT_EQ(QtMessagePumpRuns(), 1);
}

TEST(QtMessagePump, UninstalledPumpDoesNothing) {
  TestApp();
  QCoreApplication::processEvents();
  int fired = 0;
  { TPumpInstalled pump(0ms); }
  QTimer::singleShot(0, [&] { ++fired; });
  ProcessMessages();
  EXPECT_EQ(fired, 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(fired, 1);
}
