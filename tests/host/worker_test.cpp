// The host's worker runs batch tasks on its own thread, one after another.
#include "host/Worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "host/SMDController.h"

namespace {

TEST(Worker, RunsTasksInTheOrderPosted) {
  Worker worker;
  std::vector<int> order;  // touched only by the worker until WaitIdle returns
  for (int i = 0; i < 100; ++i) worker.Post([&order, i] { order.push_back(i); });
  worker.WaitIdle();
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
}

TEST(Worker, WaitIdleWaitsForTheRunningTask) {
  Worker worker;
  std::atomic<bool> done{false};
  worker.Post([&done] {
    // Gives WaitIdle the chance to return too early while the task still runs.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    done = true;
  });
  worker.WaitIdle();
  EXPECT_TRUE(done);
}

TEST(Worker, WaitIdleWithNothingPostedReturns) {
  Worker worker;
  worker.WaitIdle();
  SUCCEED();
}

TEST(Worker, KeepsRunningAfterATaskThrows) {
  Worker worker;
  bool ran = false;
  worker.Post([] { throw std::runtime_error("task failed on purpose"); });
  worker.Post([&ran] { ran = true; });
  worker.WaitIdle();
  EXPECT_TRUE(ran);
}

TEST(Worker, DestructionRunsWhatIsQueued) {
  auto count = std::make_shared<std::atomic<int>>(0);
  {
    Worker worker;
    for (int i = 0; i < 10; ++i) worker.Post([count] { ++*count; });
  }
  EXPECT_EQ(*count, 10);
}

TEST(Worker, ReleasesATasksCapturesBeforeReportingIdle) {
  Worker worker;
  auto held = std::make_shared<int>(0);
  worker.Post([held] {});
  std::weak_ptr<int> watch = held;
  held.reset();
  worker.WaitIdle();
  EXPECT_TRUE(watch.expired());
}

TEST(SMDController, PostRunsTasksOnItsWorker) {
  SMDController controller;
  std::thread::id ran_on;
  controller.Post([&ran_on] { ran_on = std::this_thread::get_id(); });
  controller.WaitIdle();
  EXPECT_NE(ran_on, std::thread::id());
  EXPECT_NE(ran_on, std::this_thread::get_id());
}

}  // namespace
