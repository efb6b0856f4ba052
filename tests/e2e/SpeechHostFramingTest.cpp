// The speech host over real pipes: frame lengths, broken streams, reassembly and exit statuses.
#include <gtest/gtest.h>

#include "HostProcess.hpp"

namespace quelvar::e2e {
namespace {

const std::string kPing = R"({"version":1,"type":"ping"})";
const std::string kPongFrame = std::string("\x0f\0\0\0", 4) + R"({"type":"pong"})";

HostProcess speechHost() {
  return HostProcess(QUELVAR_SPEECH_BINARY, {"chrome-extension://x/"});
}

// A ping padded with an ignored key to exactly `size` bytes.
std::string paddedPing(std::size_t size) {
  const std::string head = R"({"version":1,"type":"ping","pad":")";
  const std::string tail = R"("})";
  return head + std::string(size - head.size() - tail.size(), 'x') + tail;
}

TEST(SpeechHostFramingTest, aPingIsAnsweredWithTheExactPongBytesAndEndOfInputExitsCleanly) {
  HostProcess host = speechHost();
  ASSERT_TRUE(host.write(frame(kPing)));
  const HostExit exit = host.finish();
  EXPECT_EQ(exit.output, kPongFrame);
  EXPECT_EQ(exit.errors, "");
  EXPECT_EQ(exit.status, 0);
}

TEST(SpeechHostFramingTest, theLargestFrameIsReadWhole) {
  HostProcess host = speechHost();
  ASSERT_TRUE(host.write(frame(paddedPing(65536)) + frame(kPing)));
  const HostExit exit = host.finish();
  EXPECT_EQ(exit.output, kPongFrame + kPongFrame);
  EXPECT_EQ(exit.status, 0);
}

struct BrokenCase {
  const char* name;
  std::string bytes;
};

class SpeechHostBrokenStreamTest : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(SpeechHostBrokenStreamTest, endsWithStatusOneAndWritesNothing) {
  HostProcess host = speechHost();
  host.write(GetParam().bytes);  // the host may stop reading early; that is the point
  const HostExit exit = host.finish();
  EXPECT_EQ(exit.output, "");
  EXPECT_EQ(exit.errors, "");
  EXPECT_EQ(exit.status, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, SpeechHostBrokenStreamTest,
    ::testing::Values(BrokenCase{"lengthZero", std::string(4, '\0')},
                      BrokenCase{"lengthAboveTheLimit",
                                 std::string("\x01\x00\x01\x00", 4) + std::string(65537, ' ')},
                      BrokenCase{"lengthFarAboveTheLimit", "\xff\xff\xff\xff"},
                      BrokenCase{"endInsideTheHeader", std::string("\x05\x00", 2)},
                      BrokenCase{"endRightAfterTheHeader", std::string("\x05\x00\x00\x00", 4)},
                      BrokenCase{"endInsideTheBody", frame(kPing).substr(0, 10)}),
    [](const auto& info) { return info.param.name; });

TEST(SpeechHostFramingTest, aBodySplitAcrossManyWritesIsOneMessage) {
  HostProcess host = speechHost();
  const std::string bytes = frame(kPing);
  // Let the host answer once so that its reader is waiting in the middle of the next header.
  ASSERT_TRUE(host.write(bytes + bytes.substr(0, 2)));
  ASSERT_EQ(host.readBody(), R"({"type":"pong"})");
  for (std::size_t i = 2; i < bytes.size(); ++i) {
    ASSERT_TRUE(host.write(bytes.substr(i, 1)));
  }
  ASSERT_EQ(host.readBody(), R"({"type":"pong"})");
  const HostExit exit = host.finish();
  EXPECT_EQ(exit.output, "");
  EXPECT_EQ(exit.status, 0);
}

TEST(SpeechHostFramingTest, severalFramesInOneWriteAreAnsweredInOrder) {
  HostProcess host = speechHost();
  ASSERT_TRUE(host.write(frame(kPing) + frame(R"({"version":2,"type":"ping"})") + frame("[1]") +
                         frame(kPing)));
  const HostExit exit = host.finish();
  EXPECT_EQ(splitFrames(exit.output),
            (std::vector<std::string>{
                R"({"type":"pong"})", R"({"error":"INVALID_REQUEST","type":"error"})",
                R"({"error":"INVALID_REQUEST","type":"error"})", R"({"type":"pong"})"}));
  EXPECT_EQ(exit.status, 0);
}

TEST(SpeechHostFramingTest, bodiesThatAreNoObjectAreRefusedAndTheSessionGoesOn) {
  HostProcess host = speechHost();
  for (const std::string body : {"[1,2]", "42", R"({"version":1,"ty)", "\xff\xfe", "null"}) {
    ASSERT_TRUE(host.write(frame(body)));
    EXPECT_EQ(host.readMessage(), (nlohmann::json{{"type", "error"}, {"error", "INVALID_REQUEST"}}))
        << body;
  }
  ASSERT_TRUE(host.write(frame(kPing)));
  EXPECT_EQ(host.readBody(), R"({"type":"pong"})");
  EXPECT_EQ(host.finish().status, 0);
}

TEST(SpeechHostFramingTest, aDeeplyNestedBodyIsRefusedWithoutHarm) {
  HostProcess host = speechHost();
  std::string nested = R"({"version":1,"type":"ping","x":)" + std::string(65000, '[');
  ASSERT_TRUE(host.write(frame(nested) + frame(kPing)));
  EXPECT_EQ(host.readMessage(), (nlohmann::json{{"type", "error"}, {"error", "INVALID_REQUEST"}}));
  EXPECT_EQ(host.readBody(), R"({"type":"pong"})");
  EXPECT_EQ(host.finish().status, 0);
}

TEST(SpeechHostFramingTest, aVanishedReaderEndsTheHostWithStatusOne) {
  HostProcess host = speechHost();
  host.closeOutput();
  host.write(frame(kPing));
  const HostExit exit = host.finish();
  EXPECT_EQ(exit.status, 1);  // not a death by SIGPIPE
  EXPECT_EQ(exit.errors, "");
}

// One write (atomic on a pipe at this size) is read whole before the loop takes the "start":
// sixteen messages may wait behind it, a seventeenth ends the host before it answers anything.
TEST(SpeechHostFramingTest, sixteenMessagesMayWaitBehindTheOneInHandButNotSeventeen) {
  const std::string start = R"({"version":1,"type":"start","source":"de","target":"es"})";
  for (const int pings : {16, 17}) {
    HostProcess host = speechHost();
    std::string bytes = frame(start);
    for (int i = 0; i < pings; ++i) {
      bytes += frame(kPing);
    }
    host.write(bytes);  // may fail once the host has gone
    const HostExit exit = host.finish();
    std::vector<std::string> expected;
    if (pings == 16) {
      expected.assign(17, R"({"type":"pong"})");
      expected.front() = R"({"error":"SPEECH_UNSUPPORTED","type":"error"})";
    }
    EXPECT_EQ(splitFrames(exit.output), expected) << pings;
    EXPECT_EQ(exit.status, pings == 16 ? 0 : 1);
    EXPECT_EQ(exit.errors, "");
  }
}

TEST(SpeechHostFramingTest, queuedMessagesAreHandledBeforeTheOrderlyEnd) {
  HostProcess host = speechHost();
  std::string bytes;
  for (int i = 0; i < 12; ++i) {
    bytes += frame(kPing);
  }
  bytes += frame(R"({"version":1,"type":"stop"})");
  ASSERT_TRUE(host.write(bytes));
  const HostExit exit = host.finish();
  EXPECT_EQ(splitFrames(exit.output), std::vector<std::string>(12, R"({"type":"pong"})"));
  EXPECT_EQ(exit.status, 0);
}

}  // namespace
}  // namespace quelvar::e2e
