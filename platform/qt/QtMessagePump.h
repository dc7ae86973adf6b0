#pragma once
// The message pump behind ProcessMessages(): handles pending events except user input, at
// most once per interval, never inside itself.
#include <chrono>
#include <functional>

// Where the pump reads the time; tests pass a clock they move by hand.
using TPumpClock = std::function<std::chrono::steady_clock::time_point()>;

// Installs the pump as the ProcessMessages() hook.
void InstallQtMessagePump(std::chrono::milliseconds interval = std::chrono::milliseconds(20),
                          TPumpClock clock = std::chrono::steady_clock::now);
void UninstallQtMessagePump();
// Times the pump actually processed events since installation (for tests).
int QtMessagePumpRuns();
