// Work on a thread of its own: a job replaced by a newer one is told to stop, its copies go as
// soon as it returns, at most one runs and one waits, and a waiting one replaced never starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "editor/BackgroundJob.h"

namespace {

// Waits up to five seconds for a condition another thread makes true.
template <typename F>
bool Eventually(F condition) {
  for (int i = 0; i < 5000 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return condition();
}

}  // namespace

TEST(BackgroundJob, AReplacedJobStopsAndOnlyTheNewestRunsAfterIt) {
  std::atomic<int> running{0}, most{0}, copies{0};
  std::atomic<bool> aStopRequested{false}, aMayReturn{false};
  std::string started;  // written by the worker, read once it is idle
  // A work that holds a copy (counted while alive) and runs until told to stop; "a" then waits
  // for the test's go-ahead before it returns.
  auto work = [&](char name) {
    ++copies;
    std::shared_ptr<int> copy(new int(0), [&](int* p) {
      --copies;
      delete p;
    });
    return [&, name, copy](std::stop_token stop) {
      started += name;
      const int now = ++running;
      most = std::max(most.load(), now);
      if (name == 'a') {
        while (!stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        aStopRequested = true;
        while (!aMayReturn) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      --running;
      return std::string(1, name);
    };
  };
  TBackgroundJob<std::string> job;
  job.Start(work('a'));
  ASSERT_TRUE(Eventually([&] { return running == 1; }));
  job.Start(work('b'));
  EXPECT_TRUE(Eventually([&] { return aStopRequested.load(); })) << "the replaced job was not told to stop";
  EXPECT_EQ(running, 1) << "the newer job started beside the one it replaced";
  job.Start(work('c'));
  EXPECT_EQ(copies, 2) << "the waiting job replaced still holds its copies";
  EXPECT_FALSE(job.Ready());
  aMayReturn = true;
  EXPECT_EQ(job.Wait(), std::optional<std::string>("c"));
  EXPECT_TRUE(Eventually([&] { return copies == 0; })) << "copies kept after their work returned";
  EXPECT_EQ(started, "ac");
  EXPECT_EQ(most, 1);
  EXPECT_FALSE(job.Running());
}
