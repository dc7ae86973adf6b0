#pragma once
// Long operations call ProcessMessages() so the window stays painted. The Qt side installs
// a hook that handles pending events; without one (tests, tools) it does nothing.
#include <functional>

using TMessagePumpHook = std::function<void()>;

void ProcessMessages();
// Installs hook (an empty one removes it) and returns the previous hook.
TMessagePumpHook SetMessagePumpHook(TMessagePumpHook hook);

// Marks a long operation: while one lives, IsBusy() is true, so timers and commands that
// must not run in the middle of it (they can, through ProcessMessages) stay out.
class TBusyGuard {
 public:
  TBusyGuard();
  ~TBusyGuard();
  TBusyGuard(const TBusyGuard&) = delete;
  TBusyGuard& operator=(const TBusyGuard&) = delete;
};
bool IsBusy();
