// The language host program over real pipes: framing, broken streams, envelopes, request kinds.
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include <gmock/gmock.h>

#include "HostProcess.hpp"

namespace quelvar::e2e {
namespace {

using nlohmann::json;
using ::testing::IsSupersetOf;

const std::string kBrokenLine = "Invalid native messaging transport.\n";

HostProcess languageHost() {
  return HostProcess(QUELVAR_LANGUAGE_HOST_BINARY, {"chrome-extension://x/"});
}

json request(const std::string& id, const std::string& type, json fields = json::object()) {
  fields["version"] = 1;
  fields["id"] = id;
  fields["type"] = type;
  return fields;
}

json pong(const std::string& id) {
  return {{"version", 1}, {"id", id}, {"ok", true}, {"text", "pong"}};
}

json failure(const std::string& id, const std::string& code) {
  return {{"version", 1}, {"id", id}, {"ok", false}, {"error", code}};
}

// Every reply the host wrote, parsed; a body that is no JSON shows up as a discarded value.
std::vector<json> replies(const std::string& output) {
  std::string rest;
  std::vector<json> parsed;
  for (const std::string& body : splitFrames(output, &rest)) {
    parsed.push_back(json::parse(body, nullptr, false));
  }
  EXPECT_EQ(rest, "") << "a partial frame was written";
  return parsed;
}

// A ping padded with an ignored key to exactly `size` bytes.
std::string paddedPing(std::size_t size) {
  const std::string head = R"({"version":1,"id":"big","type":"ping","pad":")";
  const std::string tail = R"("})";
  return head + std::string(size - head.size() - tail.size(), 'x') + tail;
}

// Whether the host ends by itself while its standard input is still open.
bool exitsWithInputOpen(HostProcess& host) {
  const int process = static_cast<int>(::syscall(SYS_pidfd_open, host.pid(), 0));
  pollfd exited{process, POLLIN, 0};
  const bool ended = process >= 0 && ::poll(&exited, 1, kPatience.count()) == 1;
  ::close(process);
  return ended;
}

TEST(LanguageHost, emptyInputEndsCleanlyWithoutOutput) {
  HostProcess host = languageHost();
  const HostExit exit = host.finish();
  EXPECT_EQ(exit.output, "");
  EXPECT_EQ(exit.errors, "");
  EXPECT_EQ(exit.status, 0);
}

// Earlier frames are answered; the broken one gets the line on standard error and status 1.
TEST(LanguageHost, aBrokenStreamIsReportedAfterWhatCameBeforeIsAnswered) {
  const std::pair<const char*, std::string> streams[] = {
      {"length 0", std::string(4, '\0')},
      {"length 65537", std::string("\x01\x00\x01\x00", 4)},
      {"length far above the limit", "\xff\xff\xff\xff"},
      {"end inside the header", std::string("\x05\x00", 2)},
      {"header only", std::string("\x05\x00\x00\x00", 4)},
      {"end inside the body", frame(R"({"version":1})").substr(0, 9)},
      {"empty array", frame("[]")},
      {"bare number", frame("42")},
      {"truncated JSON", frame(R"({"version":1,"id":"a")")},
      {"invalid UTF-8", frame("{\"id\":\"\xff\"}")},
      {"broken, then more frames", frame("[]") + messageFrame(request("b", "ping"))},
  };
  for (const auto& [name, bytes] : streams) {
    HostProcess host = languageHost();
    host.write(messageFrame(request("a", "ping")) + bytes);
    const HostExit exit = host.finish();
    EXPECT_EQ(replies(exit.output), std::vector<json>{pong("a")}) << name;
    EXPECT_EQ(exit.errors, kBrokenLine) << name;
    EXPECT_EQ(exit.status, 1) << name;
  }
}

TEST(LanguageHost, aLengthAboveTheLimitEndsTheHostBeforeAnyBodyByteArrives) {
  HostProcess host = languageHost();
  ASSERT_TRUE(host.write(std::string("\x01\x00\x01\x00", 4)));
  EXPECT_TRUE(exitsWithInputOpen(host));
  const HostExit exit = host.finish();
  EXPECT_EQ(exit.errors, kBrokenLine);
  EXPECT_EQ(exit.status, 1);
}

TEST(LanguageHost, theLargestFrameIsAnswered) {
  HostProcess host = languageHost();
  ASSERT_TRUE(host.write(frame(paddedPing(65536))));
  const HostExit exit = host.finish();
  EXPECT_EQ(replies(exit.output), std::vector<json>{pong("big")});
  EXPECT_EQ(exit.status, 0);
}

TEST(LanguageHost, envelopesAreCheckedAndEveryReplyIsWholeAndInOrder) {
  HostProcess host = languageHost();
  // All frames in one write.
  ASSERT_TRUE(host.write(frame("{}") + frame(R"({"version":1,"id":"a","type":"ping"})") +
                         frame(R"({"version":2,"id":"a","type":"ping"})") +
                         frame(R"({"version":"1","id":"a","type":"ping"})") +
                         frame(R"({"version":1,"id":7,"type":"ping"})") +
                         frame(R"({"version":1,"id":"","type":"ping"})") +
                         frame(R"({"version":1,"id":"a","type":"PING"})") +
                         frame(R"({"version":1,"id":"a"})") + frame(R"({"id":"a","type":"ping"})") +
                         frame(R"({"version":1.0,"id":"c","type":"ping"})") +
                         frame(R"({"version":1,"id":"b","type":"ping","extra":[1,{"x":null}]})")));
  const HostExit exit = host.finish();
  EXPECT_EQ(replies(exit.output),
            (std::vector<json>{failure("", "INVALID_REQUEST"), pong("a"),
                               failure("a", "INVALID_REQUEST"), failure("a", "INVALID_REQUEST"),
                               failure("", "INVALID_REQUEST"), failure("", "INVALID_REQUEST"),
                               failure("a", "INVALID_REQUEST"), failure("a", "INVALID_REQUEST"),
                               failure("a", "INVALID_REQUEST"), pong("c"), pong("b")}));
  EXPECT_EQ(exit.errors, "");
  EXPECT_EQ(exit.status, 0);
}

TEST(LanguageHost, aFrameWrittenByteByByteIsOneRequest) {
  HostProcess host = languageHost();
  const std::string bytes = messageFrame(request("slow", "ping"));
  for (const char byte : bytes) {
    ASSERT_TRUE(host.write(std::string(1, byte)));
  }
  EXPECT_EQ(host.readMessage(), pong("slow"));
  EXPECT_EQ(host.finish().status, 0);
}

// The engines differ between machines: whatever the inventory pairs must be listed and translate.
TEST(LanguageHost, languagesListsDirectionsThatTranslate) {
  HostProcess host = languageHost();
  ASSERT_TRUE(host.send(request("l", "languages")));
  const json inventory = host.readMessage().value_or(json::object());
  EXPECT_EQ(inventory.value("ok", false), true) << inventory;
  std::set<std::string> codes;
  for (const json& language : inventory.value("languages", json::array())) {
    codes.insert(language.at("code").get<std::string>());
  }
  const json pairs = inventory.value("pairs", json::array());
  for (const json& pair : pairs) {
    EXPECT_THAT(codes,
                IsSupersetOf({pair.at(0).get<std::string>(), pair.at(1).get<std::string>()}));
  }
  // apertium-eng-spa is a dependency of the project, so at least one direction is installed.
  ASSERT_FALSE(pairs.empty());
  ASSERT_TRUE(host.send(request(
      "t", "translate", {{"text", "Hello"}, {"source", pairs[0][0]}, {"target", pairs[0][1]}})));
  const std::optional<json> translated = host.readMessage();
  ASSERT_TRUE(translated);
  EXPECT_EQ((*translated)["ok"], true) << *translated;
  EXPECT_EQ(host.finish().status, 0);
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

TEST(LanguageHost, warmTranslationEnginesEndWithTheHost) {
  if (!std::filesystem::exists("/usr/share/apertium/modes/eng-spa.mode")) {
    GTEST_SKIP() << "apertium-eng-spa is not installed";
  }
  HostProcess host = languageHost();
  for (const char* id : {"first", "second"}) {
    ASSERT_TRUE(host.send(
        request(id, "translate", {{"text", "Hello world"}, {"source", "en"}, {"target", "es"}})));
    const std::optional<json> reply = host.readMessage();
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)["text"], "Hola Mundo") << *reply;
  }
  const std::vector<pid_t> engines = childrenOf(host.pid());
  EXPECT_FALSE(engines.empty()) << "the engine was not kept between requests";
  EXPECT_EQ(host.finish().status, 0);
  for (pid_t pid : engines) {
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid))) << "left behind: " << pid;
  }
}

TEST(LanguageHost, aReplyThatCannotBeWrittenIsATransportFailure) {
  HostProcess host = languageHost();
  host.closeOutput();
  host.send(request("a", "ping"));
  const HostExit exit = host.finish();
  EXPECT_EQ(exit.errors, kBrokenLine);
  EXPECT_EQ(exit.status, 1);  // not a death by SIGPIPE
}

}  // namespace
}  // namespace quelvar::e2e
