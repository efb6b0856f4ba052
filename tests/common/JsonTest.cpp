// Parsing untrusted bodies, nesting limits, whole-number conversion, safe serialisation and the
// outbound frame limit.
#include <fcntl.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include <gtest/gtest.h>

#include "common/Framing.hpp"
#include "common/Json.hpp"

namespace quelvar {
namespace {

// An object whose key "a" holds `arrays` nested arrays, so the document has arrays + 1 levels.
std::string nestedArrays(int arrays) {
  return "{\"a\":" + std::string(static_cast<std::size_t>(arrays), '[') +
         std::string(static_cast<std::size_t>(arrays), ']') + "}";
}

// Arrays, numbers, null, truncated text and bad UTF-8 are sent by the hosts' end-to-end tests.
TEST(Json, onlyOneObjectWithNothingAfterItParses) {
  using namespace std::string_view_literals;
  struct Case {
    std::string_view body;
    bool accepted;
  };
  const Case cases[] = {
      {R"({"type":"ping","version":1})"sv, true},
      {"  {}\n"sv, true},
      {"\"text\""sv, false},
      {""sv, false},
      {R"({"a":1}{"b":2})"sv, false},
      {R"({"a":1,})"sv, false},
      {"{/*c*/}"sv, false},
      // The parser alone stops at a NUL byte and takes what came before it.
      {"{}\0"sv, false},
      {"{\"version\":1,\"type\":\"ping\"}\0garbage"sv, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parseObject(c.body).has_value(), c.accepted) << c.body;
  }
}

TEST(Json, nestingIsAcceptedUpToTheLimitAndDeeperIsRefusedWithoutCrashing) {
  EXPECT_TRUE(parseObject(nestedArrays(kMaxJsonDepth - 1)).has_value());
  for (const int arrays : {kMaxJsonDepth, 600, 100000}) {
    EXPECT_FALSE(parseObject(nestedArrays(arrays)).has_value()) << arrays;
  }
  // Unclosed, as a hostile 64 KiB frame would be.
  EXPECT_FALSE(parseObject("{\"a\":" + std::string(100000, '[')).has_value());
  EXPECT_FALSE(parseObject("{\"a\":" + std::string(100000, '{')).has_value());
}

TEST(Json, bracketsInsideStringsAreNoNesting) {
  const std::string brackets(1000, '[');
  for (const std::string& body :
       {"{\"a\":\"" + brackets + "\"}", "{\"a\":\"\\\"" + brackets + "\"}"}) {
    EXPECT_TRUE(parseObject(body).has_value()) << body.substr(0, 12);
  }
}

TEST(Json, wholeNumbersAreNumbersWithoutFraction) {
  struct Case {
    const char* json;
    std::optional<std::int64_t> expected;
  };
  const Case cases[] = {
      {"1", 1},
      {"-7", -7},
      {"1.0", 1},
      {"-0.0", 0},
      {"1e3", 1000},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"1.5", std::nullopt},
      {"1.9", std::nullopt},
      {"-0.5", std::nullopt},
      {"1e30", std::nullopt},
      {"9223372036854775808", std::nullopt},
      {"9.3e18", std::nullopt},
      {"\"3\"", std::nullopt},
      {"true", std::nullopt},
      {"null", std::nullopt},
      {"[1]", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto value = parseObject(std::string("{\"n\":") + c.json + "}");
    ASSERT_TRUE(value.has_value()) << c.json;
    EXPECT_EQ(wholeNumber((*value)["n"]), c.expected) << c.json;
  }
}

TEST(Json, invalidUtf8IsReplacedInsteadOfThrowing) {
  const nlohmann::json message = {{"text", std::string("ok\xFF\xC3")}};
  std::string text;
  EXPECT_NO_THROW(text = serialize(message));
  EXPECT_EQ(text, "{\"text\":\"ok\xEF\xBF\xBD\xEF\xBF\xBD\"}");
  EXPECT_TRUE(parseObject(text).has_value());
}

// The limit counts the body as written, escapes included; a frame larger than the pipe still
// arrives whole.
TEST(Frame, aBodyOfUpToOneMebibyteAfterEscapingIsWrittenWholeThroughASmallPipe) {
  const std::string filling(kMaxOutboundFrameLength - 8, 'a');  // {"t":"..."} adds 8 bytes
  // Half as many quotes fit before escaping but not after (each is written as two bytes).
  const std::string quotes(kMaxOutboundFrameLength / 2, '"');
  EXPECT_TRUE(fitsOutboundFrame({{"t", filling}}));
  EXPECT_FALSE(fitsOutboundFrame({{"t", filling + "a"}}));
  EXPECT_FALSE(fitsOutboundFrame({{"t", quotes}}));
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::fcntl(ends[1], F_SETPIPE_SZ, 4096);
  std::string received;
  std::thread reader([&] {
    char buffer[4096];
    for (ssize_t got; (got = ::read(ends[0], buffer, sizeof buffer)) > 0;) {
      received.append(buffer, static_cast<std::size_t>(got));
    }
  });
  EXPECT_FALSE(writeFrame(ends[1], {{"t", quotes}}));
  EXPECT_TRUE(writeFrame(ends[1], {{"t", filling}}));
  ::close(ends[1]);
  reader.join();
  ::close(ends[0]);
  EXPECT_EQ(received, frameHeader(kMaxOutboundFrameLength) + R"({"t":")" + filling + R"("})");
}

}  // namespace
}  // namespace quelvar
