// The result stream: order, coalescing of unread partials, its bound, its end and a cancelled
// reader.
#include <gtest/gtest.h>

#include "platform/async/Task.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxError.hpp"
#include "platform/linux/pocketsphinx/ResultStream.hpp"

namespace quelvar::pocketsphinx {
namespace {

struct ResultStreamTest : ::testing::Test {
  asio::io_context io;
  ResultStream stream{io.get_executor(), 4};

  // Reads until the stream ends or fails; each result as "P:text" or "F:text".
  std::vector<std::string> drain() {
    std::vector<std::string> seen;
    auto task = Task::spawn(io.get_executor(), [&](Task&) -> asio::awaitable<void> {
      for (;;) {
        SpeechResultEvent event = co_await stream.next();
        if (auto* result = std::get_if<SpeechResult>(&event)) {
          seen.push_back((result->isFinal ? "F:" : "P:") + result->text);
        } else if (auto* error = std::get_if<PlatformError>(&event)) {
          seen.push_back("error " + std::to_string(error->code));
          co_return;
        } else {
          seen.push_back("end");
          co_return;
        }
      }
    });
    io.restart();
    io.poll();
    return seen;
  }
};

TEST_F(ResultStreamTest, unreadPartialsGiveWayToNewerResultsOfTheirUtterance) {
  stream.publish({"hel", false});
  stream.publish({"hello", false});       // replaces the unread partial
  stream.publish({"hello world", true});  // closes the utterance: its partials are moot
  stream.publish({"the", false});
  stream.publish({"the weather", false});
  stream.end();
  EXPECT_EQ(drain(), (std::vector<std::string>{"F:hello world", "P:the weather", "end"}));
}

TEST_F(ResultStreamTest, aReaderThatKeepsUpSeesEveryResultInOrder) {
  std::vector<std::string> seen;
  auto task = Task::spawn(io.get_executor(), [&](Task&) -> asio::awaitable<void> {
    for (;;) {
      SpeechResultEvent event = co_await stream.next();
      auto* result = std::get_if<SpeechResult>(&event);
      if (result == nullptr) {
        co_return;
      }
      seen.push_back(result->text);
    }
  });
  for (const char* text : {"a", "ab", "abc"}) {
    stream.publish({text, false});
    io.poll();
  }
  stream.publish({"abc!", true});
  stream.end();
  io.poll();
  EXPECT_TRUE(task->isDone());
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "ab", "abc", "abc!"}));
}

TEST_F(ResultStreamTest, tooManyUnreadFinalsFailTheStreamInsteadOfDroppingOne) {
  for (int i = 0; i < 4; ++i) {
    stream.publish({"final " + std::to_string(i), true});
  }
  stream.publish({"partial", false});  // no room, but a final of its own will follow
  EXPECT_FALSE(stream.isTerminated());
  stream.publish({"final 4", true});
  EXPECT_TRUE(stream.isTerminated());
  auto seen = drain();
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen.back(), "error " + std::to_string(static_cast<int>(ErrorCode::resultsOverflowed)));
}

TEST_F(ResultStreamTest, theFirstEndOrFailureWinsAndRepeatsToLaterReads) {
  stream.fail(makeError(ErrorCode::decoderFailed, "broken"));
  stream.end();
  stream.publish({"late", true});
  EXPECT_EQ(drain(), std::vector<std::string>{
                         "error " + std::to_string(static_cast<int>(ErrorCode::decoderFailed))});
  EXPECT_EQ(drain().size(), 1u);
}

TEST_F(ResultStreamTest, aCancelledReaderGetsTheCancelledError) {
  std::optional<SpeechResultEvent> got;
  auto task = Task::spawn(io.get_executor(),
                          [&](Task&) -> asio::awaitable<void> { got = co_await stream.next(); });
  io.poll();
  EXPECT_FALSE(got.has_value());
  task->cancel();
  io.poll();
  ASSERT_TRUE(got.has_value());
  auto* error = std::get_if<PlatformError>(&*got);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->domain, cancelledError().domain);
}

}  // namespace
}  // namespace quelvar::pocketsphinx
