#pragma once
// The message pump behind ProcessMessages(): handles pending events except user input, at
// most once per interval, never inside itself.
#include <chrono>

// Installs the pump as the ProcessMessages() hook.
void InstallQtMessagePump(std::chrono::milliseconds interval = std::chrono::milliseconds(20));
void UninstallQtMessagePump();
// Times the pump actually processed events since installation (for tests).
int QtMessagePumpRuns();
