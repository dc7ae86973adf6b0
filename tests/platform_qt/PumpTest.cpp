#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <utility>

#include "QtTestApp.h"
#include "platform/MessagePump.h"
#include "platform/qt/QtMessagePump.h"

using namespace std::chrono_literals;

namespace {
struct TPumpInstalled {
  explicit TPumpInstalled(std::chrono::milliseconds interval, TPumpClock clock = std::chrono::steady_clock::now) {
    InstallQtMessagePump(interval, std::move(clock));
  }
  ~TPumpInstalled() { UninstallQtMessagePump(); }
};
}  // namespace

TEST(QtMessagePump, HandlesPendingEventsAtMostOncePerInterval) {
  TestApp();
  QCoreApplication::processEvents();
  auto now = std::chrono::steady_clock::time_point{} + 1h;
  TPumpInstalled pump(1000ms, [&] { return now; });
  int fired = 0;
  auto post = [&](std::chrono::milliseconds takes) {
    QTimer::singleShot(0, [&, takes] {
      ++fired;
      now += takes;
    });
  };
  post(0ms);
  ProcessMessages();
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(QtMessagePumpRuns(), 1);

  // Within the interval a call does nothing; once it has passed, the next call pumps.
  post(0ms);
  now += 999ms;
  ProcessMessages();
  ProcessMessages();
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(QtMessagePumpRuns(), 1);
  now += 1ms;
  ProcessMessages();
  EXPECT_EQ(fired, 2);
  EXPECT_EQ(QtMessagePumpRuns(), 2);

  // The interval counts from the end of the last handling: after a handler that took 5 s, the
  // window must not get another round of events at once.
  post(5000ms);
  now += 1000ms;
  ProcessMessages();
  EXPECT_EQ(fired, 3);
  post(0ms);
  now += 999ms;
  ProcessMessages();
  EXPECT_EQ(fired, 3);
  EXPECT_EQ(QtMessagePumpRuns(), 3);
  now += 1ms;
  ProcessMessages();
  EXPECT_EQ(fired, 4);
  EXPECT_EQ(QtMessagePumpRuns(), 4);
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
