// Both host programs over real pipes: framing, what each message gets, and how the process ends.
#include <filesystem>

#include <gmock/gmock.h>

#include "CaptionTestSupport.hpp"
#include "HostProcess.hpp"

namespace quelvar::e2e {
namespace {

using nlohmann::json;
using ::testing::IsEmpty;
using ::testing::Not;

// Each host reads frames its own way, answers a ping its own way and says so differently when the
// stream breaks.
struct Host {
  const char* program;
  std::string ping;
  json pong;
  std::string brokenLine;
  std::vector<std::string> alsoBroken;  // frames only this host takes for a broken stream

  HostProcess start() const { return HostProcess(program, {"chrome-extension://x/"}); }
};
const Host kSpeech{
    QUELVAR_SPEECH_BINARY, R"({"version":1,"type":"ping"})", {{"type", "pong"}}, "", {}};
const Host kLanguage{QUELVAR_LANGUAGE_HOST_BINARY,
                     R"({"version":1,"id":"a","type":"ping"})",
                     {{"version", 1}, {"id", "a"}, {"ok", true}, {"text", "pong"}},
                     "Invalid native messaging transport.\n",
                     {frame("[]") + frame(R"({"version":1,"id":"b","type":"ping"})"),
                      frame("{\"id\":\"\xff\"}"), frame(R"({"version":1,"id":"a")")}};

// Every reply the host wrote, parsed; a body that is no JSON shows up as a discarded value.
std::vector<json> replies(HostExit exit) {
  std::vector<json> parsed;
  while (const auto body = takeFrame(exit.output)) {
    parsed.push_back(json::parse(*body, nullptr, false));
  }
  EXPECT_EQ(exit.output, "") << "a partial frame was written";
  return parsed;
}

// A host that has answered ends with status 1 on a broken stream, without waiting for bytes that
// cannot make the frame whole, and (not killed by SIGPIPE) when the reader of its answers has gone.
TEST(HostPrograms, endWithStatusOneWhenTheirStreamBreaksOrTheirReaderHasGone) {
  for (const Host& host : {kSpeech, kLanguage}) {
    std::vector<std::string> streams{
        std::string(4, '\0'),       std::string("\x01\x00\x01\x00", 4), "\xff\xff\xff\xff",
        std::string("\x05\x00", 2), frame(host.ping).substr(0, 9),      ""};
    streams.insert(streams.end(), host.alsoBroken.begin(), host.alsoBroken.end());
    for (const std::string& broken : streams) {
      SCOPED_TRACE(std::string(host.program) + " " + std::to_string(broken.size()));
      HostProcess process = host.start();
      ASSERT_TRUE(process.send(json::parse(host.ping)));
      ASSERT_EQ(process.readMessage(), host.pong);
      if (broken.empty()) {
        process.closeOutput();  // and the next answer has nowhere to go
      }
      ASSERT_TRUE(process.write(broken.empty() ? frame(host.ping) : broken));
      // A whole header of a wrong length needs no end of input to be known broken.
      const HostExit exit = process.finish(kPatience, broken.size() != 4);
      EXPECT_THAT(replies(exit), IsEmpty());
      EXPECT_EQ(exit.errors, host.brokenLine);
      EXPECT_EQ(exit.status, 1);
    }
  }
}

TEST(HostPrograms, answerTheLargestFrameAndAFrameArrivingOneByteAtATime) {
  for (const Host& host : {kSpeech, kLanguage}) {
    SCOPED_TRACE(host.program);
    HostProcess process = host.start();
    const std::string padded = R"({"pad":")" + std::string(65536 - 9 - host.ping.size(), 'x') +
                               "\"," + host.ping.substr(1);
    ASSERT_EQ(padded.size(), 65536U);
    // The reader is left waiting in the middle of the next header, then gets the rest in pieces.
    const std::string bytes = frame(host.ping);
    ASSERT_TRUE(process.write(frame(padded) + bytes.substr(0, 2)));
    ASSERT_EQ(process.readMessage(), host.pong);
    for (std::size_t i = 2; i < bytes.size(); ++i) {
      ASSERT_TRUE(process.write(bytes.substr(i, 1)));
    }
    ASSERT_EQ(process.readMessage(), host.pong);
    EXPECT_EQ(process.finish().status, 0);
  }
}

// Silence of the given byte count in base64, sequence 0; a remainder takes padding.
std::string pcm(std::size_t bytes) {
  const char* rest = bytes % 3 == 1 ? "AA==" : bytes % 3 == 2 ? "AAA=" : "";
  return frame(R"({"version":1,"type":"pcm","sequence":0,"data":")" +
               std::string(bytes / 3 * 4, 'A') + rest + "\"}");
}

// Each row: the bytes written to a speech host of its own, the error code it answers with, if
// any, and the status it then ends with.
TEST(SpeechHostExchange, repliesExactlyAndEndsByItselfOnceItsInputHas) {
  // One write (atomic on a pipe at this size) is read whole before the loop takes the "start":
  // sixteen messages may wait behind it, a seventeenth ends the host at once.
  std::string seventeenWaiting =
      frame(R"({"version":1,"type":"start","source":"de","target":"es"})");
  for (int i = 0; i < 17; ++i) {
    seventeenWaiting += frame(kSpeech.ping);
  }
  const struct {
    std::string input;
    std::string error;
    int status = 0;
  } exchanges[] = {
      {seventeenWaiting, "", 1},
      {frame(R"({"type":"ping"})"), "INVALID_REQUEST"},
      {frame(R"({"version":1.5,"type":"ping"})"), "INVALID_REQUEST"},
      // Well-formed audio, but no pipeline runs.
      {pcm(32000), "AUDIO_SEQUENCE"},
      {pcm(32002), "INVALID_AUDIO"},
      {pcm(3), "INVALID_AUDIO"},
      {pcm(0), "INVALID_AUDIO"},
  };
  for (const auto& exchange : exchanges) {
    SCOPED_TRACE(exchange.input.substr(4, 60));
    HostProcess process = kSpeech.start();
    process.write(exchange.input);  // a host that stops reading early makes this fail, as it may
    const HostExit exit = process.finish();
    const json error{{"type", "error"}, {"error", exchange.error}};
    EXPECT_EQ(replies(exit), exchange.error.empty() ? std::vector<json>{} : std::vector{error});
    EXPECT_EQ(exit.errors, "");
    EXPECT_EQ(exit.status, exchange.status);
  }
}

// Replies come whole and in order, one per frame, even when all frames arrive in one write.
TEST(LanguageHost, checksEveryEnvelopeAndAnswersEachInOrder) {
  const struct {
    const char* body;
    const char* id;  // the one the reply carries
    bool ok;
  } exchanges[] = {
      {"{}", "", false},
      {R"({"version":2,"id":"a","type":"ping"})", "a", false},
      {R"({"version":1,"id":7,"type":"ping"})", "", false},
      {R"({"version":1,"id":"","type":"ping"})", "", false},
      {R"({"version":1,"id":"a"})", "a", false},
      {R"({"id":"a","type":"ping"})", "a", false},
      {R"({"version":1.0,"id":"c","type":"ping"})", "c", true},
      {R"({"version":1,"id":"b","type":"ping","extra":[1,{"x":null}]})", "b", true},
  };
  std::string input;
  std::vector<json> expected;
  for (const auto& [body, id, ok] : exchanges) {
    input += frame(body);
    expected.push_back({{"version", 1}, {"id", id}, {"ok", ok}});
    expected.back().update(ok ? json{{"text", "pong"}} : json{{"error", "INVALID_REQUEST"}});
  }
  HostProcess host = kLanguage.start();
  ASSERT_TRUE(host.write(input));
  const HostExit exit = host.finish();
  EXPECT_EQ(replies(exit), expected);
  EXPECT_EQ(exit.errors, "");
  EXPECT_EQ(exit.status, 0);
}

// Without a kept session every request would start the engine's programs afresh.
TEST(LanguageHost, keepsTheTranslationEngineRunningBetweenRequests) {
  HostProcess host = kLanguage.start();
  ASSERT_TRUE(host.send({{"version", 1},
                         {"id", "t"},
                         {"type", "translate"},
                         {"text", "Hello world"},
                         {"source", "en"},
                         {"target", "es"}}));
  EXPECT_EQ(host.readMessage().value_or(json::object()).value("text", ""), "Hola Mundo");
  std::string children;  // of any of its threads
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(host.pid()) + "/task")) {
    children += caption::testing::readFile(task.path() / "children");
  }
  EXPECT_THAT(children, Not(IsEmpty()));
  EXPECT_EQ(host.finish().status, 0);
}

}  // namespace
}  // namespace quelvar::e2e
