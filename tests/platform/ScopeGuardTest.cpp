#include "platform/ScopeGuard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {
enum class Exit { Normal, Throws };

// Runs a scope that leaves normally or by an exception, with an undo step that may itself
// throw, and reports how many times the undo ran and which error reached the caller.
struct Outcome {
  int Undone = 0;
  std::string Error;
};
Outcome RunScope(Exit exit, bool undoThrows, bool dismiss) {
  Outcome o;
  try {
    TScopeGuard guard([&] {
      ++o.Undone;
      if (undoThrows) throw std::runtime_error("undo");
    });
    if (dismiss) guard.Dismiss();
    if (exit == Exit::Throws) throw std::runtime_error("body");
  } catch (const std::exception& e) {
    o.Error = e.what();
  }
  return o;
}
}  // namespace

TEST(ScopeGuard, UndoRunsOnceOnEveryExitAndTheFirstErrorWins) {
  struct Case {
    Exit exit;
    bool undoThrows, dismiss;
    int undone;
    const char* error;
  } cases[] = {
      {Exit::Normal, false, false, 1, ""},
      {Exit::Throws, false, false, 1, "body"},
      // Leaving normally, the failed undo is the error to report.
      {Exit::Normal, true, false, 1, "undo"},
      // Leaving by an exception, a failing undo must neither end the program nor hide it.
      {Exit::Throws, true, false, 1, "body"},
      {Exit::Normal, true, true, 0, ""},
      {Exit::Throws, true, true, 0, "body"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "throws=" << (c.exit == Exit::Throws) << " undoThrows=" << c.undoThrows
                                    << " dismiss=" << c.dismiss);
    const Outcome o = RunScope(c.exit, c.undoThrows, c.dismiss);
    EXPECT_EQ(o.Undone, c.undone);
    EXPECT_EQ(o.Error, c.error);
  }
}

TEST(ScopeGuard, AGuardInsideAnUnwindingDestructorStillThrowsOnItsNormalExit) {
  // A guard built while another exception is in flight (cleanup code run during unwinding) must
  // compare with the exceptions in flight when it was made, not with zero.
  struct Cleanup {
    std::string* Seen;
    ~Cleanup() {
      try {
        TScopeGuard g([] { throw std::runtime_error("inner undo"); });
      } catch (const std::exception& e) {
        *Seen = e.what();
      }
    }
  };
  std::string seen;
  try {
    Cleanup c{&seen};
    throw std::runtime_error("outer");
  } catch (const std::exception&) {
  }
  EXPECT_EQ(seen, "inner undo");
}
