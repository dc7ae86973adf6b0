#include "platform/qt/QtMessagePump.h"

#include <QCoreApplication>
#include <QEventLoop>

#include "platform/MessagePump.h"

namespace {
using Clock = std::chrono::steady_clock;
std::chrono::milliseconds gInterval{20};
Clock::time_point gLast{};
bool gInside = false;
int gRuns = 0;

void Pump() {
  // An event handled here may start another long operation that pumps again: skip, the outer
  // call is already handling events.
  if (gInside || !QCoreApplication::instance()) return;
  Clock::time_point now = Clock::now();
  if (gRuns > 0 && now - gLast < gInterval) return;
  gInside = true;
  ++gRuns;
  try {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  } catch (...) {
    gInside = false;
    gLast = Clock::now();
    throw;
  }
  gInside = false;
  gLast = Clock::now();
}
}  // namespace

void InstallQtMessagePump(std::chrono::milliseconds interval) {
  gInterval = interval;
  gRuns = 0;
  SetMessagePumpHook(Pump);
}

void UninstallQtMessagePump() { SetMessagePumpHook({}); }

int QtMessagePumpRuns() { return gRuns; }
