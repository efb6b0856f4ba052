// The speech protocol over real pipes: every message kind, each refusal with its exact event.
#include <gtest/gtest.h>

#include "HostProcess.hpp"

namespace quelvar::e2e {
namespace {

using nlohmann::json;

const std::string kPing = R"({"version":1,"type":"ping"})";

std::string base64(std::size_t bytes) {
  // Zero bytes encode as 'A's; a remainder of 1 or 2 bytes takes padding.
  std::string text((bytes / 3) * 4, 'A');
  if (bytes % 3 == 1) {
    text += "AA==";
  } else if (bytes % 3 == 2) {
    text += "AAA=";
  }
  return text;
}
std::string pcm(const std::string& data, const std::string& sequence = "0") {
  return R"({"version":1,"type":"pcm","data":")" + data + R"(","sequence":)" + sequence + "}";
}
std::string start(const std::string& source, const std::string& target) {
  return json{{"version", 1}, {"type", "start"}, {"source", source}, {"target", target}}.dump();
}
json errorEvent(const std::string& code) {
  return {{"type", "error"}, {"error", code}};
}

struct Exchange {
  const char* name;
  std::string body;
  std::vector<json> replies;
};

// Each row runs in a host of its own: the body, then end of input, which must end in order.
std::vector<json> exchange(const std::string& body) {
  HostProcess host(QUELVAR_SPEECH_BINARY);
  EXPECT_TRUE(host.write(frame(body)));
  const HostExit exit = host.finish();
  EXPECT_EQ(exit.status, 0);
  EXPECT_EQ(exit.errors, "");
  std::string rest;
  std::vector<json> replies;
  for (const std::string& reply : splitFrames(exit.output, &rest)) {
    replies.push_back(json::parse(reply, nullptr, false));
  }
  EXPECT_EQ(rest, "");
  return replies;
}

class SpeechHostExchangeTest : public ::testing::TestWithParam<Exchange> {};

TEST_P(SpeechHostExchangeTest, repliesExactly) {
  EXPECT_EQ(exchange(GetParam().body), GetParam().replies) << GetParam().body;
}

const json kPong = {{"type", "pong"}};
const json kInvalidRequest = errorEvent("INVALID_REQUEST");
const json kUnsupportedPair = errorEvent("UNSUPPORTED_PAIR");
const json kInvalidAudio = errorEvent("INVALID_AUDIO");
const json kAudioSequence = errorEvent("AUDIO_SEQUENCE");

INSTANTIATE_TEST_SUITE_P(
    Envelope, SpeechHostExchangeTest,
    ::testing::Values(
        Exchange{"ping", kPing, {kPong}},
        Exchange{"pingWithExtraKeys", R"({"version":1,"type":"ping","id":42,"x":[1]})", {kPong}},
        Exchange{"noVersion", R"({"type":"ping"})", {kInvalidRequest}},
        Exchange{"versionTwo", R"({"version":2,"type":"ping"})", {kInvalidRequest}},
        Exchange{"fractionalVersion", R"({"version":1.5,"type":"ping"})", {kInvalidRequest}},
        Exchange{"numericType", R"({"version":1,"type":7})", {kInvalidRequest}},
        Exchange{"capitalType", R"({"version":1,"type":"PING"})", {kInvalidRequest}},
        Exchange{"unknownType", R"({"version":1,"type":"pong"})", {kInvalidRequest}},
        Exchange{"stopHasNoReply", R"({"version":1,"type":"stop"})", {}}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Start, SpeechHostExchangeTest,
    ::testing::Values(
        Exchange{"samePair", start("en", "en"), {kUnsupportedPair}},
        Exchange{"noTarget", R"({"version":1,"type":"start","source":"en"})", {kUnsupportedPair}},
        Exchange{"numericSource",
                 R"({"version":1,"type":"start","source":1,"target":"en"})",
                 {kUnsupportedPair}},
        Exchange{"sourceOf41", start(std::string(41, 'q'), "en"), {kUnsupportedPair}},
        Exchange{"targetOf41", start("en", std::string(41, 'q')), {kUnsupportedPair}},
        // Forty characters pass the pair rules; no recogniser knows such a language.
        Exchange{
            "sourceOf40", start(std::string(40, 'q'), "en"), {errorEvent("SPEECH_UNSUPPORTED")}}),
    [](const auto& info) { return info.param.name; });

// With the real engines the project installs: PocketSphinx en-US, Apertium eng-spa and fr-es
// (English to French goes through Spanish).
INSTANTIATE_TEST_SUITE_P(
    Engines, SpeechHostExchangeTest,
    ::testing::Values(
        Exchange{"installedPairIsReady", start("en-GB", "es"), {{{"type", "ready"}}}},
        Exchange{"chainedPairIsReady", start("en", "fr"), {{{"type", "ready"}}}},
        Exchange{"noRecogniserForSource", start("de", "es"), {errorEvent("SPEECH_UNSUPPORTED")}},
        Exchange{
            "translationNotInstalled", start("en", "ca"), {errorEvent("MODELS_NOT_INSTALLED")}},
        Exchange{
            "translationUnknown", start("en", "x-none"), {errorEvent("MODELS_NOT_INSTALLED")}}),
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
        Exchange{"lineBreakInData", pcm("AAAA\\nAAAA"), {kInvalidAudio}},
        Exchange{"spaceInData", pcm("AAAA AAAA"), {kInvalidAudio}},
        Exchange{"fractionalSequence", pcm(base64(2), "1.5"), {kInvalidAudio}},
        Exchange{"stringSequence", pcm(base64(2), "\"3\""), {kInvalidAudio}},
        Exchange{"noSequence", R"({"version":1,"type":"pcm","data":"AAA="})", {kInvalidAudio}},
        Exchange{"noData", R"({"version":1,"type":"pcm","sequence":0})", {kInvalidAudio}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace quelvar::e2e
