// The result stream: coalescing of unread partials, its bound and its end.
#include <gtest/gtest.h>

#include "platform/linux/pocketsphinx/PocketSphinxError.hpp"
#include "platform/linux/pocketsphinx/ResultStream.hpp"

namespace quelvar::pocketsphinx {
namespace {

using Seen = std::vector<std::string>;

std::string errorLine(ErrorCode code) {
  return "error " + std::to_string(static_cast<int>(code));
}

struct ResultStreamTest : ::testing::Test {
  asio::io_context io;
  ResultStream stream{io.get_executor(), 4};
  Seen seen;  // each result as "P:text" or "F:text", then "end" or "error <code>"

  // Starts a reader that records until the stream ends or fails, and runs what is ready.
  void startReading() {
    asio::co_spawn(
        io,
        [this]() -> asio::awaitable<void> {
          for (;;) {
            SpeechResultEvent event = co_await stream.next();
            if (auto* result = std::get_if<SpeechResult>(&event)) {
              seen.push_back((result->isFinal ? "F:" : "P:") + result->text);
              continue;
            }
            auto* error = std::get_if<PlatformError>(&event);
            seen.push_back(error ? "error " + std::to_string(error->code) : "end");
            co_return;
          }
        },
        asio::detached);
    io.restart();
    io.poll();
  }
};

// A failure is not hidden by the end that a stopping pipeline adds after it.
TEST_F(ResultStreamTest, unreadPartialsGiveWayToNewerResultsAndTheFirstFailureStays) {
  stream.publish({"hel", false});
  stream.publish({"hello", false});       // replaces the unread partial
  stream.publish({"hello world", true});  // closes the utterance: its partials are moot
  stream.publish({"the", false});
  stream.publish({"the weather", false});
  stream.fail(makeError(ErrorCode::decoderFailed, "broken"));
  stream.end();
  startReading();
  startReading();
  EXPECT_EQ(seen, (Seen{"F:hello world", "P:the weather", errorLine(ErrorCode::decoderFailed),
                        errorLine(ErrorCode::decoderFailed)}));
}

TEST_F(ResultStreamTest, tooManyUnreadFinalsFailTheStreamInsteadOfDroppingOne) {
  for (int i = 0; i < 4; ++i) {
    stream.publish({"final " + std::to_string(i), true});
  }
  stream.publish({"partial", false});  // no room, but a final of its own will follow
  EXPECT_FALSE(stream.isTerminated());
  stream.publish({"final 4", true});
  startReading();
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen.back(), errorLine(ErrorCode::resultsOverflowed));
}

}  // namespace
}  // namespace quelvar::pocketsphinx
