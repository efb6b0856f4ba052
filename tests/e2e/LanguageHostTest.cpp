// The language host program over real pipes: framing, broken streams, envelopes, request kinds.
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "HostProcess.hpp"

namespace quelvar::e2e {
namespace {

using nlohmann::json;

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

TEST(LanguageHostTest, empty_input_ends_cleanly_without_output) {
  HostProcess host = languageHost();
  const HostExit exit = host.finish();
  EXPECT_EQ(exit.output, "");
  EXPECT_EQ(exit.errors, "");
  EXPECT_EQ(exit.status, 0);
}

struct BrokenCase {
  const char* name;
  std::string bytes;
};

class LanguageHostBrokenStreamTest : public ::testing::TestWithParam<BrokenCase> {};

// Earlier frames are answered; the broken one gets the line on standard error and status 1.
TEST_P(LanguageHostBrokenStreamTest, answers_what_came_before_then_reports_and_exits_with_one) {
  HostProcess host = languageHost();
  host.write(messageFrame(request("a", "ping")) + GetParam().bytes);
  const HostExit exit = host.finish();
  EXPECT_EQ(replies(exit.output), std::vector<json>{pong("a")});
  EXPECT_EQ(exit.errors, kBrokenLine);
  EXPECT_EQ(exit.status, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, LanguageHostBrokenStreamTest,
    ::testing::Values(BrokenCase{"length_zero", std::string(4, '\0')},
                      BrokenCase{"length_65537", std::string("\x01\x00\x01\x00", 4)},
                      BrokenCase{"length_far_above_the_limit", "\xff\xff\xff\xff"},
                      BrokenCase{"end_inside_the_header", std::string("\x05\x00", 2)},
                      BrokenCase{"header_only", std::string("\x05\x00\x00\x00", 4)},
                      BrokenCase{"end_inside_the_body", frame(R"({"version":1})").substr(0, 9)},
                      BrokenCase{"empty_array", frame("[]")},
                      BrokenCase{"array_of_an_object", frame(R"([{"version":1}])")},
                      BrokenCase{"bare_number", frame("42")},
                      BrokenCase{"truncated_json", frame(R"({"version":1,"id":"a")")},
                      BrokenCase{"invalid_utf8", frame("{\"id\":\"\xff\"}")},
                      BrokenCase{"broken_then_more_frames",
                                 frame("[]") + messageFrame(request("b", "ping"))}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LanguageHostTest, a_length_above_the_limit_ends_the_host_before_any_body_byte_arrives) {
  HostProcess host = languageHost();
  ASSERT_TRUE(host.write(std::string("\x01\x00\x01\x00", 4)));
  EXPECT_TRUE(exitsWithInputOpen(host));
  const HostExit exit = host.finish();
  EXPECT_EQ(exit.errors, kBrokenLine);
  EXPECT_EQ(exit.status, 1);
}

TEST(LanguageHostTest, the_largest_frame_is_answered) {
  HostProcess host = languageHost();
  ASSERT_TRUE(host.write(frame(paddedPing(65536))));
  const HostExit exit = host.finish();
  EXPECT_EQ(replies(exit.output), std::vector<json>{pong("big")});
  EXPECT_EQ(exit.status, 0);
}

TEST(LanguageHostTest, envelopes_are_checked_and_every_reply_is_whole_and_in_order) {
  HostProcess host = languageHost();
  // All frames in one write.
  ASSERT_TRUE(host.write(frame("{}") + frame(R"({"version":1,"id":"a","type":"ping"})") +
                         frame(R"({"version":2,"id":"a","type":"ping"})") +
                         frame(R"({"version":"1","id":"a","type":"ping"})") +
                         frame(R"({"version":1,"id":7,"type":"ping"})") +
                         frame(R"({"version":1,"id":"","type":"ping"})") +
                         frame(R"({"version":1,"id":"a","type":"PING"})") +
                         frame(R"({"version":1,"id":"a"})") +
                         frame(R"({"version":1,"id":"b","type":"ping","extra":[1,{"x":null}]})")));
  const HostExit exit = host.finish();
  EXPECT_EQ(
      replies(exit.output),
      (std::vector<json>{failure("", "INVALID_REQUEST"), pong("a"), failure("a", "INVALID_REQUEST"),
                         failure("a", "INVALID_REQUEST"), failure("", "INVALID_REQUEST"),
                         failure("", "INVALID_REQUEST"), failure("a", "INVALID_REQUEST"),
                         failure("a", "INVALID_REQUEST"), pong("b")}));
  EXPECT_EQ(exit.errors, "");
  EXPECT_EQ(exit.status, 0);
}

TEST(LanguageHostTest, a_frame_written_byte_by_byte_is_one_request) {
  HostProcess host = languageHost();
  const std::string bytes = messageFrame(request("slow", "ping"));
  for (const char byte : bytes) {
    ASSERT_TRUE(host.write(std::string(1, byte)));
  }
  EXPECT_EQ(host.readMessage(), pong("slow"));
  EXPECT_EQ(host.finish().status, 0);
}

// The engines differ between machines, so this checks the shape of the inventory and then
// translates over the first direction it lists, if any.
TEST(LanguageHostTest, languages_lists_directions_that_translate) {
  HostProcess host = languageHost();
  ASSERT_TRUE(host.send(request("l", "languages")));
  const std::optional<json> inventory = host.readMessage();
  ASSERT_TRUE(inventory && inventory->is_object());
  EXPECT_EQ(inventory->size(), 5U);
  EXPECT_EQ((*inventory)["ok"], true);
  ASSERT_TRUE((*inventory)["languages"].is_array());
  ASSERT_TRUE((*inventory)["pairs"].is_array());
  std::vector<std::string> codes;
  for (const json& language : (*inventory)["languages"]) {
    codes.push_back(language.at("code"));
    EXPECT_TRUE(language.at("name").is_string());
    EXPECT_TRUE(!language.at("speechInstalled").get<bool>() ||
                language.at("speechSupported").get<bool>());
  }
  EXPECT_TRUE(std::is_sorted(codes.begin(), codes.end()));
  for (const json& pair : (*inventory)["pairs"]) {
    EXPECT_TRUE(std::binary_search(codes.begin(), codes.end(), pair.at(0).get<std::string>()));
    EXPECT_TRUE(std::binary_search(codes.begin(), codes.end(), pair.at(1).get<std::string>()));
  }
  // apertium-eng-spa is a dependency of the project, so at least one direction is installed.
  ASSERT_FALSE((*inventory)["pairs"].empty());
  const json& direction = (*inventory)["pairs"][0];
  ASSERT_TRUE(host.send(request(
      "t", "translate", {{"text", "Hello"}, {"source", direction[0]}, {"target", direction[1]}})));
  const std::optional<json> translated = host.readMessage();
  ASSERT_TRUE(translated);
  EXPECT_EQ((*translated)["ok"], true) << *translated;
  EXPECT_TRUE((*translated)["text"].is_string());
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

TEST(LanguageHostTest, warm_translation_engines_end_with_the_host) {
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

TEST(LanguageHostTest, a_reply_that_cannot_be_written_is_a_transport_failure) {
  HostProcess host = languageHost();
  host.closeOutput();
  host.send(request("a", "ping"));
  const HostExit exit = host.finish();
  EXPECT_EQ(exit.errors, kBrokenLine);
  EXPECT_EQ(exit.status, 1);  // not a death by SIGPIPE
}

}  // namespace
}  // namespace quelvar::e2e
