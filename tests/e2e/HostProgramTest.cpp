// Both host programs over real pipes: framing, what each message gets, and how the process ends.
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gmock/gmock.h>

#include "HostProcess.hpp"

namespace quelvar::e2e {
namespace {

using nlohmann::json;
using ::testing::IsEmpty;
using ::testing::Not;

// Each host reads frames its own way, answers a ping its own way and says so differently when the
// stream breaks.
struct Host {
  const char* name;
  const char* program;
  std::string ping;
  json pong;
  std::string brokenLine;
  std::vector<std::string> alsoBroken;  // frames only this host takes for a broken stream
};
const Host kSpeech{
    "speech", QUELVAR_SPEECH_BINARY, R"({"version":1,"type":"ping"})", {{"type", "pong"}}, "", {}};
const Host kLanguage{"language",
                     QUELVAR_LANGUAGE_HOST_BINARY,
                     R"({"version":1,"id":"a","type":"ping"})",
                     {{"version", 1}, {"id", "a"}, {"ok", true}, {"text", "pong"}},
                     "Invalid native messaging transport.\n",
                     {frame("[]") + frame(R"({"version":1,"id":"b","type":"ping"})"),
                      frame("{\"id\":\"\xff\"}"), frame(R"({"version":1,"id":"a")")}};

HostProcess start(const Host& host) {
  return HostProcess(host.program, {"chrome-extension://x/"});
}

// Every reply the host wrote, parsed; a body that is no JSON shows up as a discarded value.
std::vector<json> replies(const HostExit& exit) {
  std::string rest;
  std::vector<json> parsed;
  for (const std::string& body : splitFrames(exit.output, &rest)) {
    parsed.push_back(json::parse(body, nullptr, false));
  }
  EXPECT_EQ(rest, "") << "a partial frame was written";
  return parsed;
}

// Whether the host ends by itself while its standard input is still open.
bool exitsWithInputOpen(HostProcess& host) {
  const int process = static_cast<int>(::syscall(SYS_pidfd_open, host.pid(), 0));
  pollfd exited{process, POLLIN, 0};
  const bool ended = process >= 0 && ::poll(&exited, 1, kPatience.count()) == 1;
  ::close(process);
  return ended;
}

// A host that has answered ends with status 1 on a broken stream, without waiting for bytes that
// cannot make the frame whole.
TEST(HostPrograms, answerWhatCameBeforeABrokenStreamAndThenEndWithStatusOne) {
  for (const Host& host : {kSpeech, kLanguage}) {
    std::vector<std::string> streams{std::string(4, '\0'), std::string("\x01\x00\x01\x00", 4),
                                     "\xff\xff\xff\xff", std::string("\x05\x00", 2),
                                     frame(host.ping).substr(0, 9)};
    streams.insert(streams.end(), host.alsoBroken.begin(), host.alsoBroken.end());
    for (const std::string& broken : streams) {
      SCOPED_TRACE(std::string(host.name) + " " + std::to_string(broken.size()));
      HostProcess process = start(host);
      ASSERT_TRUE(process.send(json::parse(host.ping)));
      ASSERT_EQ(process.readMessage(), host.pong);
      ASSERT_TRUE(process.write(broken));
      if (broken.size() == 4) {
        EXPECT_TRUE(exitsWithInputOpen(process));
      }
      const HostExit exit = process.finish();
      EXPECT_THAT(replies(exit), IsEmpty());
      EXPECT_EQ(exit.errors, host.brokenLine);
      EXPECT_EQ(exit.status, 1);
    }
  }
}

TEST(HostPrograms, answerTheLargestFrameAndAFrameArrivingOneByteAtATime) {
  for (const Host& host : {kSpeech, kLanguage}) {
    SCOPED_TRACE(host.name);
    HostProcess process = start(host);
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

TEST(HostPrograms, endWithStatusOneWhenTheirReaderHasGone) {
  for (const Host& host : {kSpeech, kLanguage}) {
    HostProcess process = start(host);
    process.closeOutput();
    process.write(frame(host.ping));
    const HostExit exit = process.finish();
    EXPECT_EQ(exit.status, 1) << host.name << ": not a death by SIGPIPE";
    EXPECT_EQ(exit.errors, host.brokenLine) << host.name;
  }
}

// Each row: the bytes written to a speech host of its own, the error codes it answers with,
// separated by spaces, and the status it then ends with.
struct Exchange {
  const char* name;
  std::string input;
  std::string replies;
  int status = 0;
};
void PrintTo(const Exchange& exchange, std::ostream* out) {
  *out << exchange.name;
}

std::string repeat(const std::string& piece, std::size_t count) {
  std::string all;
  for (std::size_t i = 0; i < count; ++i) {
    all += piece;
  }
  return all;
}

// Silence of the given byte count in base64, sequence 0; a remainder takes padding.
std::string pcm(std::size_t bytes) {
  const std::string data = repeat("AAAA", bytes / 3) + (bytes % 3 == 1   ? "AA=="
                                                        : bytes % 3 == 2 ? "AAA="
                                                                         : "");
  return frame(R"({"version":1,"type":"pcm","sequence":0,"data":")" + data + "\"}");
}

class SpeechHostExchange : public ::testing::TestWithParam<Exchange> {};

TEST_P(SpeechHostExchange, repliesExactlyAndEndsByItselfOnceItsInputHas) {
  HostProcess process = start(kSpeech);
  process.write(GetParam().input);  // a host that stops reading early makes this fail, as it may
  const HostExit exit = process.finish();
  std::vector<json> expected;
  std::istringstream words(GetParam().replies);
  for (std::string code; words >> code;) {
    expected.push_back(json{{"type", "error"}, {"error", code}});
  }
  EXPECT_EQ(replies(exit), expected);
  EXPECT_EQ(exit.errors, "");
  EXPECT_EQ(exit.status, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, SpeechHostExchange,
    ::testing::Values(
        // One write (atomic on a pipe at this size) is read whole before the loop takes the
        // "start": sixteen messages may wait behind it, a seventeenth ends the host at once.
        Exchange{"seventeenWaiting",
                 frame(R"({"version":1,"type":"start","source":"de","target":"es"})") +
                     repeat(frame(kSpeech.ping), 17),
                 "", 1},
        Exchange{"noVersion", frame(R"({"type":"ping"})"), "INVALID_REQUEST"},
        Exchange{"fractionalVersion", frame(R"({"version":1.5,"type":"ping"})"), "INVALID_REQUEST"},
        // Well-formed audio, but no pipeline runs.
        Exchange{"oneSecond", pcm(32000), "AUDIO_SEQUENCE"},
        Exchange{"overOneSecond", pcm(32002), "INVALID_AUDIO"},
        Exchange{"oddByteCount", pcm(3), "INVALID_AUDIO"},
        Exchange{"emptyData", pcm(0), "INVALID_AUDIO"}),
    [](const auto& info) { return info.param.name; });

// Replies come whole and in order, one per frame, even when all frames arrive in one write.
TEST(LanguageHost, checksEveryEnvelopeAndAnswersEachInOrder) {
  const std::pair<const char*, json> exchanges[] = {
      {"{}", {{"id", ""}, {"ok", false}}},
      {R"({"version":2,"id":"a","type":"ping"})", {{"id", "a"}, {"ok", false}}},
      {R"({"version":1,"id":7,"type":"ping"})", {{"id", ""}, {"ok", false}}},
      {R"({"version":1,"id":"","type":"ping"})", {{"id", ""}, {"ok", false}}},
      {R"({"version":1,"id":"a"})", {{"id", "a"}, {"ok", false}}},
      {R"({"id":"a","type":"ping"})", {{"id", "a"}, {"ok", false}}},
      {R"({"version":1.0,"id":"c","type":"ping"})", {{"id", "c"}, {"ok", true}}},
      {R"({"version":1,"id":"b","type":"ping","extra":[1,{"x":null}]})",
       {{"id", "b"}, {"ok", true}}},
  };
  std::string input;
  std::vector<json> expected;
  for (const auto& [body, reply] : exchanges) {
    input += frame(body);
    expected.push_back(json{{"version", 1}, {"id", reply["id"]}, {"ok", reply["ok"]}});
    expected.back().update(reply["ok"] ? json{{"text", "pong"}}
                                       : json{{"error", "INVALID_REQUEST"}});
  }
  HostProcess host = start(kLanguage);
  ASSERT_TRUE(host.write(input));
  const HostExit exit = host.finish();
  EXPECT_EQ(replies(exit), expected);
  EXPECT_EQ(exit.errors, "");
  EXPECT_EQ(exit.status, 0);
}

// The processes whose parent is `parent`, read from /proc.
std::vector<pid_t> childrenOf(pid_t parent) {
  std::vector<pid_t> children;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    const auto close = std::getline(stat, line) ? line.rfind(')') : std::string::npos;
    char state = 0;
    long ppid = 0;
    if (close != std::string::npos &&
        std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &ppid) == 2 && ppid == parent) {
      children.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
    }
  }
  return children;
}

// Without a kept session every request would start the engine's programs afresh.
TEST(LanguageHost, keepsTheTranslationEngineRunningBetweenRequests) {
  HostProcess host = start(kLanguage);
  ASSERT_TRUE(host.send({{"version", 1},
                         {"id", "t"},
                         {"type", "translate"},
                         {"text", "Hello world"},
                         {"source", "en"},
                         {"target", "es"}}));
  EXPECT_EQ(host.readMessage().value_or(json::object()).value("text", ""), "Hola Mundo");
  EXPECT_THAT(childrenOf(host.pid()), Not(IsEmpty()));
  EXPECT_EQ(host.finish().status, 0);
}

}  // namespace
}  // namespace quelvar::e2e
