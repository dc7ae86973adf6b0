#pragma once
// Work run on a thread of its own, its result taken on the thread that started it. The work must
// own everything it reads (copies made before it starts), so nothing changes under it and it
// changes nothing of its starter's. A job started while another runs replaces it: the older one is
// left to finish on its own and its result is dropped, so the starter never waits for it. The
// destructor waits for every job still running.
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

template <typename T>
class TBackgroundJob {
 public:
  TBackgroundJob() = default;
  TBackgroundJob(const TBackgroundJob&) = delete;
  TBackgroundJob& operator=(const TBackgroundJob&) = delete;
  ~TBackgroundJob() {
    Drop();
    for (TRun& run : FDropped) run.Thread.join();
  }

  void Start(std::function<T()> work) {
    Drop();
    FRun.State = std::make_shared<TState>();
    FRun.Thread = std::thread([state = FRun.State, work = std::move(work)] {
      try {
        state->Result = work();
      } catch (...) {
        state->Error = std::current_exception();
      }
      state->Done.store(true, std::memory_order_release);
    });
  }
  // Started and not yet taken or dropped.
  bool Running() const { return FRun.State != nullptr; }
  bool Ready() const { return FRun.State && FRun.State->Done.load(std::memory_order_acquire); }
  // The result once the work is done (its exception is raised here); nothing before.
  std::optional<T> Take() {
    if (!Ready()) return std::nullopt;
    return Finish();
  }
  // The result, waiting for the work; nothing when no job runs.
  std::optional<T> Wait() { return Running() ? Finish() : std::nullopt; }
  // The running job's result is not wanted any more.
  void Drop() {
    // Jobs dropped earlier that have finished are joined now, so they do not pile up.
    for (size_t i = 0; i < FDropped.size();)
      if (FDropped[i].State->Done.load(std::memory_order_acquire)) {
        FDropped[i].Thread.join();
        FDropped.erase(FDropped.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        ++i;
      }
    if (Running()) FDropped.push_back(std::move(FRun));
    FRun = TRun();
  }

 private:
  struct TState {
    std::atomic<bool> Done{false};
    std::optional<T> Result;
    std::exception_ptr Error;
  };
  struct TRun {
    std::shared_ptr<TState> State;
    std::thread Thread;
  };

  std::optional<T> Finish() {
    FRun.Thread.join();
    const std::shared_ptr<TState> state = std::move(FRun.State);
    FRun = TRun();
    if (state->Error) std::rethrow_exception(state->Error);
    return std::move(state->Result);
  }

  TRun FRun;
  std::vector<TRun> FDropped;
};
