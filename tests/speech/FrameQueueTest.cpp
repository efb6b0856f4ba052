// The frame queue between the standard input reader and the main loop: order, bound and end.
#include "QuelvarSpeech/FrameQueue.hpp"

#include <gtest/gtest.h>

namespace quelvar {
namespace {

// Takes every body until the queue ends, on the executor.
asio::awaitable<void> drainInto(FrameQueue& queue, std::vector<std::string>& bodies, bool& ended) {
  while (auto body = co_await queue.next()) {
    bodies.push_back(std::move(*body));
  }
  ended = true;
}

TEST(FrameQueueTest, refusesTheSeventeenthWaitingBodyAndDeliversTheRestInOrder) {
  asio::io_context io;
  FrameQueue queue;
  for (int i = 0; i < 16; ++i) {
    ASSERT_TRUE(queue.push(std::to_string(i)));
  }
  EXPECT_FALSE(queue.push("16"));
  queue.finish();
  std::vector<std::string> bodies;
  bool ended = false;
  asio::co_spawn(io, drainInto(queue, bodies, ended), asio::detached);
  io.run();
  ASSERT_EQ(bodies.size(), 16u);
  EXPECT_EQ(bodies.front(), "0");
  EXPECT_EQ(bodies.back(), "15");
  EXPECT_TRUE(ended);
}

// "start" and sixteen pings in one write: the first is the loop's at once, the rest may wait.
TEST(FrameQueueTest, aBodyHandedToTheWaitingLoopDoesNotCountAsWaiting) {
  asio::io_context io;
  FrameQueue queue;
  std::vector<std::string> bodies;
  bool ended = false;
  asio::co_spawn(io, drainInto(queue, bodies, ended), asio::detached);
  io.poll();
  for (int i = 0; i < 17; ++i) {
    ASSERT_TRUE(queue.push(std::to_string(i))) << i;
  }
  EXPECT_FALSE(queue.push("17"));
  queue.finish();
  io.run();
  ASSERT_EQ(bodies.size(), 17u);
  EXPECT_EQ(bodies.front(), "0");
  EXPECT_EQ(bodies.back(), "16");
  EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace quelvar
