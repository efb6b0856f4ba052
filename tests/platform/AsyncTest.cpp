// The coroutine toolkit: what a task's cancellation does to its waits, and how a fault ends it.
#include <gtest/gtest.h>

#include "platform/async/Channel.hpp"
#include "platform/async/Event.hpp"
#include "platform/async/Task.hpp"

namespace quelvar {
namespace {

TEST(Task, aFaultLeavesTheExecutorUnlessTheTaskWasCancelledAndACancelledTaskNeverStarts) {
  asio::io_context io;
  auto failing = Task::spawn(io.get_executor(), [](Task&) -> asio::awaitable<void> {
    throw std::runtime_error("fault");
    co_return;
  });
  EXPECT_THROW(io.poll(), std::runtime_error);
  EXPECT_TRUE(failing->isDone());

  Event never(io.get_executor());
  auto cancelled = Task::spawn(io.get_executor(), [&](Task& task) -> asio::awaitable<void> {
    co_await never.waitUnlessCancelled();
    if (task.isCancelled()) {
      throw std::runtime_error("interrupted");
    }
  });
  bool ran = false;
  auto unstarted = Task::spawn(io.get_executor(), [&](Task&) -> asio::awaitable<void> {
    ran = true;
    co_return;
  });
  unstarted->cancel();
  io.restart();
  io.poll();
  cancelled->cancel();
  EXPECT_NO_THROW(io.poll());
  EXPECT_TRUE(cancelled->isDone());
  EXPECT_TRUE(unstarted->isDone());
  EXPECT_FALSE(ran);
}

// A wait that must see its condition through (a thread's exit before its join) holds when the
// task is cancelled; a cancellable one after that ends at once.
TEST(Event, onlyACancellableWaitEndsWhenTheTaskIsCancelled) {
  asio::io_context io;
  Event event(io.get_executor());
  std::optional<bool> later;
  auto task = Task::spawn(io.get_executor(), [&](Task&) -> asio::awaitable<void> {
    co_await event.wait();
    later = co_await event.waitUnlessCancelled();
  });
  io.poll();
  task->cancel();
  io.poll();
  EXPECT_FALSE(task->isDone());
  event.notify();
  io.poll();
  EXPECT_EQ(later, false);
}

// What already waits is delivered even to a cancelled reader; after that it gets nothing.
TEST(Channel, aCancelledReaderStillTakesWhatWaitsThenNothing) {
  asio::io_context io;
  Channel<int> channel(io.get_executor(), 2);
  std::vector<std::optional<int>> got;
  Event step(io.get_executor());
  auto task = Task::spawn(io.get_executor(), [&](Task&) -> asio::awaitable<void> {
    got.push_back(co_await channel.receive());
    co_await step.wait();
    got.push_back(co_await channel.receive());
    got.push_back(co_await channel.receive());
  });
  io.poll();
  channel.trySend(1);
  task->cancel();
  io.poll();
  channel.trySend(2);
  step.notify();
  io.poll();
  EXPECT_EQ(got, (std::vector<std::optional<int>>{1, 2, std::nullopt}));
}

}  // namespace
}  // namespace quelvar
