#include "platform/MessagePump.h"

namespace {
TMessagePumpHook& Hook() {
  static TMessagePumpHook hook;
  return hook;
}
int gBusy = 0;
}  // namespace

void ProcessMessages() {
  if (Hook()) Hook()();
}

TMessagePumpHook SetMessagePumpHook(TMessagePumpHook hook) {
  TMessagePumpHook previous = std::move(Hook());
  Hook() = std::move(hook);
  return previous;
}

TBusyGuard::TBusyGuard() { ++gBusy; }
TBusyGuard::~TBusyGuard() { --gBusy; }
bool IsBusy() { return gBusy > 0; }
