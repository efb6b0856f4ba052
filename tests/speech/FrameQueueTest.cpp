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

// "start" and sixteen pings in one write: the first goes to the waiting loop at once and does not
// count among the sixteen that may wait.
TEST(FrameQueueTest, refusesTheBodyAfterSixteenWaitingOnesAndDeliversTheRestInOrder) {
  for (const bool loopWaits : {false, true}) {
    asio::io_context io;
    FrameQueue queue(io.get_executor());
    std::vector<std::string> bodies;
    bool ended = false;
    asio::co_spawn(io, drainInto(queue, bodies, ended), asio::detached);
    if (loopWaits) {
      io.poll();
    }
    std::vector<std::string> sent;
    for (int i = 0; i < (loopWaits ? 17 : 16); ++i) {
      sent.push_back(std::to_string(i));
      ASSERT_TRUE(queue.push(sent.back())) << i;
    }
    EXPECT_FALSE(queue.push("over")) << loopWaits;
    queue.finish();
    io.run();
    EXPECT_EQ(bodies, sent);
    EXPECT_TRUE(ended);
  }
}

}  // namespace
}  // namespace quelvar
