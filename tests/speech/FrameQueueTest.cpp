// The frame queue between the reader thread and the main loop: order, bound and end.
#include "QuelvarSpeech/FrameQueue.hpp"

#include <gtest/gtest.h>

#include <thread>

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
  FrameQueue queue(io.get_executor());
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

TEST(FrameQueueTest, bodiesPushedFromAnotherThreadWakeTheLoop) {
  asio::io_context io;
  FrameQueue queue(io.get_executor(), 1000);
  std::vector<std::string> bodies;
  bool ended = false;
  asio::co_spawn(io, drainInto(queue, bodies, ended), asio::detached);
  int refused = 0;
  std::thread reader([&] {
    for (int i = 0; i < 1000; ++i) {
      refused += queue.push(std::to_string(i)) ? 0 : 1;
    }
    queue.finish();
  });
  io.run();  // returns once the loop has seen the end
  reader.join();
  EXPECT_EQ(refused, 0);
  ASSERT_EQ(bodies.size(), 1000u);
  EXPECT_EQ(bodies[999], "999");
  EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace quelvar
