#include "platform/qt/Guarded.h"

#include <cstdio>
#include <exception>

#include "platform/qt/ErrorBox.h"

namespace {
// Showing the box may itself fail (a test prompter that refuses, no display): the command has
// already failed, so say so on stderr and carry on rather than let anything escape a slot.
void Show(const std::string& message) {
  try {
    ShowErrorBox(message);
  } catch (...) {
    std::fprintf(stderr, "Corvane: %s\n", message.c_str());
  }
}
}  // namespace

bool Guarded(const std::function<void()>& fn) {
  try {
    fn();
    return true;
  } catch (const std::exception& e) {
    Show(e.what());
  } catch (...) {
    Show("Unknown exception");
  }
  return false;
}
