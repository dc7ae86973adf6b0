#include "platform/qt/QtMessagePump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <utility>

#include "platform/MessagePump.h"
#include "platform/ScopeGuard.h"

namespace {
using Clock = std::chrono::steady_clock;
std::chrono::milliseconds gInterval{20};
TPumpClock gClock = Clock::now;
Clock::time_point gLast{};
bool gInside = false;
int gRuns = 0;

void Pump() {
  // An event handled here may start another long operation that pumps again: skip, the outer
  // call is already handling events.
  if (gInside || !QCoreApplication::instance()) return;
  Clock::time_point now = gClock();
  if (gRuns > 0 && now - gLast < gInterval) return;
  gInside = true;
  ++gRuns;
  {
    TScopeGuard done([] {
      gInside = false;
      gLast = gClock();
    });
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
}
}  // namespace

void InstallQtMessagePump(std::chrono::milliseconds interval, TPumpClock clock) {
  gInterval = interval;
  gClock = std::move(clock);
  gRuns = 0;
  SetMessagePumpHook(Pump);
}

void UninstallQtMessagePump() { SetMessagePumpHook({}); }

int QtMessagePumpRuns() { return gRuns; }
