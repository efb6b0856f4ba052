// The speech host as the extension reaches it: a long-lived connectNative port, in Chromium.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "BrowserFixture.hpp"
#include "Processes.hpp"
#include "common/Text.hpp"

namespace quelvar::browser {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

// A quarter of a second of 16 kHz 16-bit mono audio, as a live capture would hand it over.
constexpr std::size_t kChunkBytes = 8000;
constexpr int kChunkMilliseconds = 250;

// The speech, and the words of it that carry meaning: a final caption of this speech should
// recognise at least one of them, however rough the rest.
constexpr const char* kSpoken = "Hello world. This is a test of live subtitles.";
const std::vector<std::string> kSpokenWords{"hello", "world", "test", "live", "subtitles"};

// `text` spoken by espeak-ng as 16 kHz 16-bit little-endian mono PCM, with a short silence before
// and a longer one after so that the recogniser can tell the utterance has ended.
std::string synthesiseSpeech(const std::string& text, const std::filesystem::path& folder) {
  const std::string wave = (folder / "speech.wav").string();
  const std::string raw = (folder / "speech.raw").string();
  if (runProgram({"espeak-ng", "-v", "en-us", "-s", "150", "-w", wave, text}) != 0) {
    throw std::runtime_error("espeak-ng failed; install Debian's espeak-ng package");
  }
  if (runProgram({"sox", wave, "-t", "raw", "-r", "16000", "-c", "1", "-b", "16", "-e",
                  "signed-integer", "-L", raw, "pad", "0.3", "1.5"}) != 0) {
    throw std::runtime_error("sox failed; install Debian's sox package");
  }
  std::ifstream file(raw, std::ios::binary);
  std::string pcm{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (pcm.empty() || pcm.size() % 2 != 0) {
    throw std::runtime_error("sox wrote no usable audio to " + raw);
  }
  return pcm;
}

std::vector<std::string> base64Chunks(std::string_view pcm) {
  std::vector<std::string> chunks;
  for (std::size_t offset = 0; offset < pcm.size(); offset += kChunkBytes) {
    chunks.push_back(encodeBase64(pcm.substr(offset, kChunkBytes)));
  }
  return chunks;
}

// What the extension heard, one line per message with its arrival time.
void reportMessages(const json& messages) {
  for (const json& entry : messages) {
    report("  +" + std::to_string(entry.value("at", 0)) + " ms " +
           entry.value("message", json()).dump());
  }
}

bool isDecimal(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

class SpeechHostTest : public BrowserTest {};

TEST_F(SpeechHostTest, answersPingOverANativePortAndEndsOnDisconnect) {
  const json result = worker().call("speechPing", 15000, within(30s));
  const json messages = result.value("messages", json::array());
  reportMessages(messages);
  ASSERT_FALSE(messages.empty()) << result.dump();
  EXPECT_EQ(messages[0].value("message", json()), json({{"type", "pong"}}));
  EXPECT_TRUE(result.value("disconnected", json()).is_null())
      << "the host went away: " << result.dump();
  expectNoHostRunning(10s, "after the extension disconnected");
}

TEST_F(SpeechHostTest, turnsRealSpeechIntoCaptionsInAWholeSession) {
  const std::string pcm = synthesiseSpeech(kSpoken, folder());
  const json session = {
      {"source", "en"},
      {"target", "es"},
      {"chunks", base64Chunks(pcm)},
      {"chunkMs", kChunkMilliseconds},
      {"readyTimeoutMs", 15000},
      {"finalTimeoutMs", 20000},
  };
  report("streaming " + std::to_string(pcm.size() / 32) + " ms of speech in " +
         std::to_string(session["chunks"].size()) + " chunks");
  const json result = worker().call("speechSession", session, within(60s));
  const json messages = result.value("messages", json::array());
  const std::string outcome = result.value("outcome", "");
  report("session outcome: " + outcome);
  reportMessages(messages);

  ASSERT_FALSE(messages.empty()) << result.dump();
  EXPECT_TRUE(result.value("disconnected", json()).is_null())
      << "the host went away: " << result.dump();
  // "stop" is handled before the "ping" after it, so the "pong" comes last: nothing of the
  // stopped pipeline may follow it.
  EXPECT_TRUE(result.value("stopped", false)) << "no pong after stop";
  EXPECT_EQ(messages.back().value("message", json()), json({{"type", "pong"}}));

  const json first = messages[0].value("message", json::object());
  if (outcome == "start refused") {
    const std::string error = first.value("error", "");
    report("speech: NO ENGINES, \"start\" answered " + error + "; captions path NOT exercised");
    EXPECT_TRUE(error == "SPEECH_UNSUPPORTED" || error == "SPEECH_MODELS_MISSING" ||
                error == "MODELS_NOT_INSTALLED" || error == "SPEECH_UNAVAILABLE")
        << first.dump();
    EXPECT_FALSE(kRequireEngines) << "the speech engines are required: " << first.dump();
    EXPECT_EQ(messages.size(), 2u) << "only the refusal and the pong were expected";
  } else {
    ASSERT_EQ(outcome, "final caption") << result.dump();
    EXPECT_EQ(first, json({{"type", "ready"}}));
    int finals = 0;
    std::string recognised;
    for (const json& entry : messages) {
      const json message = entry.value("message", json::object());
      EXPECT_NE(message.value("type", ""), "error") << message.dump();
      if (message.value("type", "") != "caption") {
        continue;
      }
      EXPECT_TRUE(message.value("source", json()).is_string()) << message.dump();
      EXPECT_TRUE(message.value("translation", json()).is_string()) << message.dump();
      EXPECT_TRUE(message.value("final", json()).is_boolean()) << message.dump();
      EXPECT_TRUE(isDecimal(message.value("segment", ""))) << message.dump();
      if (message.value("final", false) && !message.value("translation", "").empty()) {
        ++finals;
        recognised += message.value("source", "") + " ";
        report("speech: FINAL CAPTION from real speech: \"" + message.value("source", "") +
               "\" -> \"" + message.value("translation", "") + "\"");
      }
    }
    EXPECT_GE(finals, 1) << "no final caption with a translation";
    EXPECT_TRUE(std::any_of(
        kSpokenWords.begin(), kSpokenWords.end(),
        [&](const std::string& word) { return recognised.find(word) != std::string::npos; }))
        << "no spoken word in the final captions: " << recognised;
  }

  expectNoHostRunning(10s, "after the extension disconnected");
}

}  // namespace
}  // namespace quelvar::browser
