#pragma once
// Work run on a thread of its own, its result taken on the thread that started it. The work must
// own everything it reads (copies made before it starts), so nothing changes under it and it
// changes nothing of its starter's. A job started while another runs replaces it: the older one
// is told to stop (its stop token) and its result is dropped, and the newer one waits until it
// has stopped, so at most one runs and one waits; a waiting job replaced never starts. The
// starter never waits for a replaced job. The work is freed, with its copies, as soon as it
// returns. The destructor stops the running job and waits for it.
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>

template <typename T>
class TBackgroundJob {
 public:
  // Returns early, with whatever it likes, once its token says stop: that result is dropped.
  using TWork = std::function<T(std::stop_token)>;

  TBackgroundJob() = default;
  TBackgroundJob(const TBackgroundJob&) = delete;
  TBackgroundJob& operator=(const TBackgroundJob&) = delete;
  ~TBackgroundJob() {
    Drop();
    if (FThread.joinable()) FThread.join();
  }

  void Start(TWork work) {
    TWork replaced;
    {
      std::lock_guard lock(FShared->Mutex);
      replaced = std::exchange(FShared->Next, std::move(work));
      FShared->Stop.request_stop();
      FShared->Done = false;
      FShared->Result.reset();
      FShared->Error = nullptr;
      if (!FShared->WorkerAlive) {
        // The last worker has left its loop, or there was none.
        if (FThread.joinable()) FThread.join();
        FShared->WorkerAlive = true;
        FThread = std::jthread([shared = FShared] { Worker(*shared); });
      }
    }
    FPending = true;
  }
  // Started and not yet taken or dropped.
  bool Running() const { return FPending; }
  bool Ready() const {
    if (!FPending) return false;
    std::lock_guard lock(FShared->Mutex);
    return FShared->Done;
  }
  // The result once the work is done (its exception is raised here); nothing before.
  std::optional<T> Take() {
    if (!Ready()) return std::nullopt;
    return Finish();
  }
  // The result, waiting for the work; nothing when no job runs.
  std::optional<T> Wait() {
    if (!FPending) return std::nullopt;
    {
      std::unique_lock lock(FShared->Mutex);
      FShared->Changed.wait(lock, [this] { return FShared->Done; });
    }
    return Finish();
  }
  // The job's result is not wanted any more: it is told to stop, and one waiting never starts.
  void Drop() {
    TWork waiting;
    {
      std::lock_guard lock(FShared->Mutex);
      waiting = std::move(FShared->Next);
      FShared->Next = nullptr;
      FShared->Stop.request_stop();
      FShared->Done = false;
      FShared->Result.reset();
      FShared->Error = nullptr;
    }
    FPending = false;
  }

 private:
  struct TShared {
    std::mutex Mutex;
    std::condition_variable Changed;
    TWork Next;                // waits for the running work to stop
    std::stop_source Stop;     // of the running work
    bool WorkerAlive = false;  // a worker runs its loop
    bool Done = false;         // the latest work's result (or its exception) is in
    std::optional<T> Result;
    std::exception_ptr Error;
  };

  // Runs the works started, one after the other, until none waits.
  static void Worker(TShared& shared) {
    std::unique_lock lock(shared.Mutex);
    while (shared.Next) {
      TWork work = std::exchange(shared.Next, nullptr);
      shared.Stop = std::stop_source();
      const std::stop_token token = shared.Stop.get_token();
      lock.unlock();
      std::optional<T> result;
      std::exception_ptr error;
      try {
        result = work(token);
      } catch (...) {
        error = std::current_exception();
      }
      // Its copies go now, not when the next work comes.
      work = nullptr;
      if (token.stop_requested()) result.reset();
      lock.lock();
      if (!token.stop_requested()) {
        shared.Result = std::move(result);
        shared.Error = error;
        shared.Done = true;
        shared.Changed.notify_all();
      }
    }
    shared.WorkerAlive = false;
  }

  std::optional<T> Finish() {
    std::optional<T> result;
    std::exception_ptr error;
    {
      std::lock_guard lock(FShared->Mutex);
      result = std::move(FShared->Result);
      error = FShared->Error;
      FShared->Done = false;
      FShared->Result.reset();
      FShared->Error = nullptr;
    }
    FPending = false;
    if (error) std::rethrow_exception(error);
    return result;
  }

  std::shared_ptr<TShared> FShared = std::make_shared<TShared>();
  std::jthread FThread;
  bool FPending = false;
};
