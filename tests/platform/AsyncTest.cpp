// The coroutine building blocks: cancellable tasks, the reader queue and the fake clock.
#include <gtest/gtest.h>

#include "fakes/FakeClock.hpp"
#include "platform/async/AsyncQueue.hpp"
#include "platform/async/Task.hpp"

namespace quelvar {
namespace {

using namespace std::chrono_literals;

struct AsyncTest : ::testing::Test {
  asio::io_context io;
  testing::FakeClock clock{io.get_executor()};
};

TEST_F(AsyncTest, sleepEndsWhenTheClockReachesItsDeadline) {
  bool slept = false;
  auto task = Task::spawn(io.get_executor(), [&](Task&) -> asio::awaitable<void> {
    slept = co_await clock.sleepFor(700ms);
  });
  io.poll();
  clock.advance(699ms);
  io.poll();
  EXPECT_FALSE(task->isDone());
  clock.advance(1ms);
  io.poll();
  EXPECT_TRUE(task->isDone());
  EXPECT_TRUE(slept);
}

TEST_F(AsyncTest, cancellingATaskInterruptsItsSleepAndJoinWaitsForTheEnd) {
  std::optional<bool> slept;
  auto task = Task::spawn(io.get_executor(), [&](Task&) -> asio::awaitable<void> {
    slept = co_await clock.sleepFor(10s);
  });
  io.poll();
  bool joined = false;
  asio::co_spawn(
      io,
      [&]() -> asio::awaitable<void> {
        task->cancel();
        co_await task->join();
        joined = true;
      },
      asio::detached);
  io.poll();
  EXPECT_TRUE(joined);
  ASSERT_TRUE(slept.has_value());
  EXPECT_FALSE(*slept);
  EXPECT_EQ(clock.sleeping(), 0u);
}

TEST_F(AsyncTest, queueDeliversInOrderRefusesWhenFullAndEndsWhenClosed) {
  AsyncQueue<int> queue(io.get_executor(), 2);
  std::vector<int> seen;
  bool ended = false;
  auto task = Task::spawn(io.get_executor(), [&](Task&) -> asio::awaitable<void> {
    while (auto item = co_await queue.next()) {
      seen.push_back(*item);
    }
    ended = true;
  });
  EXPECT_TRUE(queue.push(1));
  EXPECT_TRUE(queue.push(2));
  EXPECT_FALSE(queue.push(3));
  io.poll();
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
  queue.close();
  io.poll();
  EXPECT_TRUE(ended);
}

TEST_F(AsyncTest, cancelledReaderGetsNothing) {
  AsyncQueue<int> queue(io.get_executor(), 2);
  std::optional<int> got = 42;
  auto task = Task::spawn(io.get_executor(),
                          [&](Task&) -> asio::awaitable<void> { got = co_await queue.next(); });
  io.poll();
  task->cancel();
  io.poll();
  EXPECT_TRUE(task->isDone());
  EXPECT_FALSE(got.has_value());
}

TEST_F(AsyncTest, aTaskCancelledBeforeItRunsNeverStartsItsBody) {
  bool ran = false;
  auto task = Task::spawn(io.get_executor(), [&](Task&) -> asio::awaitable<void> {
    ran = true;
    co_return;
  });
  task->cancel();
  io.poll();
  EXPECT_FALSE(ran);
  EXPECT_TRUE(task->isDone());
}

TEST_F(AsyncTest, anExceptionFromARunningTaskLeavesTheExecutorButNotFromACancelledOne) {
  auto failing = Task::spawn(io.get_executor(), [&](Task&) -> asio::awaitable<void> {
    throw std::runtime_error("fault");
    co_return;
  });
  EXPECT_THROW(io.poll(), std::runtime_error);
  EXPECT_TRUE(failing->isDone());

  auto cancelled = Task::spawn(io.get_executor(), [&](Task& task) -> asio::awaitable<void> {
    co_await clock.sleepFor(10s);
    if (task.isCancelled()) {
      throw std::runtime_error("interrupted");
    }
  });
  io.restart();
  io.poll();
  cancelled->cancel();
  EXPECT_NO_THROW(io.poll());
  EXPECT_TRUE(cancelled->isDone());
}

}  // namespace
}  // namespace quelvar
