// The coroutine toolkit: a fault in a task is never swallowed.
#include <gtest/gtest.h>

#include "platform/async/Task.hpp"

namespace quelvar {
namespace {

TEST(Task, aFaultLeavesTheExecutor) {
  asio::io_context io;
  auto failing = Task::spawn(io.get_executor(), [](Task&) -> asio::awaitable<void> {
    throw std::runtime_error("fault");
    co_return;
  });
  EXPECT_THROW(io.poll(), std::runtime_error);
  EXPECT_TRUE(failing->isDone());
}

}  // namespace
}  // namespace quelvar
