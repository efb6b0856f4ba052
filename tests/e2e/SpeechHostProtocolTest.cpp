// The speech host over real pipes: framing, every message kind with its exact replies, and how
// the process ends.
#include <gtest/gtest.h>

#include "HostProcess.hpp"

namespace quelvar::e2e {
namespace {

using nlohmann::json;

const std::string kPing = R"({"version":1,"type":"ping"})";
const std::string kPongBody = R"({"type":"pong"})";

HostProcess speechHost() {
  return HostProcess(QUELVAR_SPEECH_BINARY, {"chrome-extension://x/"});
}

std::string repeat(const std::string& piece, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) {
    all += piece;
  }
  return all;
}
// Silence of the given byte count in base64: zero bytes encode as 'A's, a remainder takes padding.
std::string base64(std::size_t bytes) {
  return repeat("AAAA", static_cast<int>(bytes / 3)) + (bytes % 3 == 1   ? "AA=="
                                                        : bytes % 3 == 2 ? "AAA="
                                                                         : "");
}
std::string pcm(const std::string& data, const std::string& sequence = "0") {
  return frame(R"({"version":1,"type":"pcm","data":")" + data + R"(","sequence":)" + sequence +
               "}");
}
std::string start(const std::string& source, const std::string& target) {
  return frame(
      json{{"version", 1}, {"type", "start"}, {"source", source}, {"target", target}}.dump());
}
// A ping padded with an ignored key to exactly `size` bytes.
std::string paddedPing(std::size_t size) {
  const std::string head = R"({"version":1,"type":"ping","pad":")";
  return frame(head + std::string(size - head.size() - 2, 'x') + R"("})");
}
json errorEvent(const std::string& code) {
  return {{"type", "error"}, {"error", code}};
}

const json kPong = {{"type", "pong"}};
const json kReady = {{"type", "ready"}};
const json kInvalidRequest = errorEvent("INVALID_REQUEST");
const json kUnsupportedPair = errorEvent("UNSUPPORTED_PAIR");
const json kSpeechUnsupported = errorEvent("SPEECH_UNSUPPORTED");
const json kModelsNotInstalled = errorEvent("MODELS_NOT_INSTALLED");
const json kInvalidAudio = errorEvent("INVALID_AUDIO");
const json kAudioSequence = errorEvent("AUDIO_SEQUENCE");

struct Exchange {
  const char* name;
  std::string input;  // every byte written to standard input before it is closed
  std::vector<json> replies;
  int status = 0;  // 1: a broken stream, nothing written for it
};

// Test names already say which row failed; the bytes would only bury them.
void PrintTo(const Exchange& exchange, std::ostream* out) {
  *out << exchange.name;
}

class SpeechHostExchangeTest : public ::testing::TestWithParam<Exchange> {};

// Each row runs in a host of its own, which must end by itself once its input has.
TEST_P(SpeechHostExchangeTest, repliesExactlyAndEndsWithTheExpectedStatus) {
  HostProcess host = speechHost();
  host.write(GetParam().input);  // a host that stops reading early makes this fail, as it may
  const HostExit exit = host.finish();
  std::string rest;
  std::vector<json> replies;
  for (const std::string& reply : splitFrames(exit.output, &rest)) {
    replies.push_back(json::parse(reply, nullptr, false));
  }
  EXPECT_EQ(replies, GetParam().replies);
  EXPECT_EQ(rest, "");
  EXPECT_EQ(exit.errors, "");
  EXPECT_EQ(exit.status, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Framing, SpeechHostExchangeTest,
    ::testing::Values(
        Exchange{"largestFrame", paddedPing(65536) + frame(kPing), {kPong, kPong}},
        Exchange{"lengthZero", std::string(4, '\0'), {}, 1},
        Exchange{"lengthAboveTheLimit",
                 std::string("\x01\x00\x01\x00", 4) + std::string(65537, ' '),
                 {},
                 1},
        Exchange{"endInsideTheHeader", std::string("\x05\x00", 2), {}, 1},
        Exchange{"endRightAfterTheHeader", std::string("\x05\x00\x00\x00", 4), {}, 1},
        Exchange{"endInsideTheBody", frame(kPing).substr(0, 10), {}, 1},
        // One write (atomic on a pipe at this size) is read whole before the loop takes the
        // "start": sixteen messages may wait behind it, a seventeenth ends the host at once.
        Exchange{"sixteenWaiting",
                 start("de", "es") + repeat(frame(kPing), 16),
                 {kSpeechUnsupported, kPong, kPong, kPong, kPong, kPong, kPong, kPong, kPong, kPong,
                  kPong, kPong, kPong, kPong, kPong, kPong, kPong}},
        Exchange{"seventeenWaiting", start("de", "es") + repeat(frame(kPing), 17), {}, 1}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Envelope, SpeechHostExchangeTest,
    ::testing::Values(
        Exchange{"ping", frame(kPing), {kPong}},
        Exchange{
            "pingWithExtraKeys", frame(R"({"version":1,"type":"ping","id":42,"x":[1]})"), {kPong}},
        Exchange{"wholeFloatVersion", frame(R"({"version":1.0,"type":"ping"})"), {kPong}},
        Exchange{"notAnObject", frame("[1]"), {kInvalidRequest}},
        Exchange{"noVersion", frame(R"({"type":"ping"})"), {kInvalidRequest}},
        Exchange{"versionTwo", frame(R"({"version":2,"type":"ping"})"), {kInvalidRequest}},
        Exchange{"fractionalVersion", frame(R"({"version":1.5,"type":"ping"})"), {kInvalidRequest}},
        Exchange{"numericType", frame(R"({"version":1,"type":7})"), {kInvalidRequest}},
        Exchange{"capitalType", frame(R"({"version":1,"type":"PING"})"), {kInvalidRequest}},
        Exchange{"unknownType", frame(R"({"version":1,"type":"pong"})"), {kInvalidRequest}},
        Exchange{"stopHasNoReply", frame(R"({"version":1,"type":"stop"})"), {}}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Start, SpeechHostExchangeTest,
    ::testing::Values(
        Exchange{"samePair", start("en", "en"), {kUnsupportedPair}},
        Exchange{
            "noTarget", frame(R"({"version":1,"type":"start","source":"en"})"), {kUnsupportedPair}},
        Exchange{"numericSource",
                 frame(R"({"version":1,"type":"start","source":1,"target":"en"})"),
                 {kUnsupportedPair}},
        Exchange{"sourceOf41", start(std::string(41, 'q'), "en"), {kUnsupportedPair}},
        // Forty characters pass the pair rules; no recogniser knows such a language.
        Exchange{"sourceOf40", start(std::string(40, 'q'), "en"), {kSpeechUnsupported}}),
    [](const auto& info) { return info.param.name; });

// With the real engines the project installs: PocketSphinx en-US, Apertium eng-spa and fr-es
// (English to French goes through Spanish).
INSTANTIATE_TEST_SUITE_P(
    Engines, SpeechHostExchangeTest,
    ::testing::Values(Exchange{"installedPairIsReady", start("en-GB", "es"), {kReady}},
                      Exchange{"chainedPairIsReady", start("en", "fr"), {kReady}},
                      Exchange{"noRecogniserForSource", start("de", "es"), {kSpeechUnsupported}},
                      Exchange{"translationNotInstalled", start("en", "ca"), {kModelsNotInstalled}},
                      Exchange{"translationUnknown", start("en", "x-none"), {kModelsNotInstalled}}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Pcm, SpeechHostExchangeTest,
    ::testing::Values(
        // Well formed, but no pipeline runs.
        Exchange{"oneSecond", pcm(base64(32000)), {kAudioSequence}},
        Exchange{"oneFrame", pcm(base64(2)), {kAudioSequence}},
        Exchange{"wholeFloatSequence", pcm(base64(2), "0.0"), {kAudioSequence}},
        Exchange{"overOneSecond", pcm(base64(32002)), {kInvalidAudio}},
        Exchange{"oddByteCount", pcm(base64(3)), {kInvalidAudio}},
        Exchange{"emptyData", pcm(""), {kInvalidAudio}},
        Exchange{"notBase64", pcm("AAAA AAAA"), {kInvalidAudio}},
        Exchange{"fractionalSequence", pcm(base64(2), "1.5"), {kInvalidAudio}},
        Exchange{"stringSequence", pcm(base64(2), "\"3\""), {kInvalidAudio}},
        Exchange{
            "noSequence", frame(R"({"version":1,"type":"pcm","data":"AAA="})"), {kInvalidAudio}},
        Exchange{"noData", frame(R"({"version":1,"type":"pcm","sequence":0})"), {kInvalidAudio}}),
    [](const auto& info) { return info.param.name; });

// The reader resumes a header and a body cut anywhere, waiting in between.
TEST(SpeechHost, readsAFrameArrivingOneByteAtATime) {
  HostProcess host = speechHost();
  const std::string bytes = frame(kPing);
  // Let the host answer once so that its reader is waiting in the middle of the next header.
  ASSERT_TRUE(host.write(bytes + bytes.substr(0, 2)));
  ASSERT_EQ(host.readBody(), kPongBody);
  for (std::size_t i = 2; i < bytes.size(); ++i) {
    ASSERT_TRUE(host.write(bytes.substr(i, 1)));
  }
  ASSERT_EQ(host.readBody(), kPongBody);
  EXPECT_EQ(host.finish().status, 0);
}

TEST(SpeechHost, endsWithStatusOneWhenItsReaderHasGone) {
  HostProcess host = speechHost();
  host.closeOutput();
  host.write(frame(kPing));
  const HostExit exit = host.finish();
  EXPECT_EQ(exit.status, 1);  // not a death by SIGPIPE
  EXPECT_EQ(exit.errors, "");
}

}  // namespace
}  // namespace quelvar::e2e
