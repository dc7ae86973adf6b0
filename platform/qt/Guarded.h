#pragma once
// Runs a command and shows any exception it raises in the error box, so no exception ever
// leaves a Qt slot. Connect slots as connect(w, &W::sig, this, GuardedSlot([this] { ... })).
#include <concepts>
#include <functional>
#include <utility>

// Returns true when fn finished without an exception.
bool Guarded(const std::function<void()>& fn);

template <class F>
auto GuardedSlot(F fn) {
  // Constrained so that Qt sees how many of the signal's arguments the command takes.
  return [fn = std::move(fn)](auto&&... args) requires std::invocable<const F&, decltype(args)...> {
    Guarded([&] { fn(std::forward<decltype(args)>(args)...); });
  };
}
