#pragma once
// TScopeGuard runs an undo step when the scope ends, however it ends: the cleanup is written
// once, next to what it undoes, instead of once in a catch block and again after it.
//
//   GL.glPushMatrix();
//   TScopeGuard pop([] { GL.glPopMatrix(); });
//
// Dismiss() keeps what was done (an undo meant only for the failure path). When the scope is
// left by an exception, an exception from the undo step is dropped: the first error is the one
// the user must see. On a normal exit the undo step's exception goes to the caller.
#include <exception>
#include <utility>

template <class F>
class TScopeGuard {
 public:
  explicit TScopeGuard(F undo) : FUndo(std::move(undo)), FExceptions(std::uncaught_exceptions()) {}
  TScopeGuard(const TScopeGuard&) = delete;
  TScopeGuard& operator=(const TScopeGuard&) = delete;
  ~TScopeGuard() noexcept(false) {
    if (!FActive) return;
    if (std::uncaught_exceptions() == FExceptions) {
      FUndo();
      return;
    }
    try {
      FUndo();
    } catch (...) {
    }
  }
  void Dismiss() { FActive = false; }

 private:
  F FUndo;
  int FExceptions;
  bool FActive = true;
};
