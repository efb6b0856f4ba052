// Parsing untrusted bodies, nesting limits, whole-number conversion, safe serialisation and the
// outbound frame limit.
#include <fcntl.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include <gtest/gtest.h>

#include "CaptionTestSupport.hpp"
#include "common/Framing.hpp"
#include "common/Json.hpp"

namespace quelvar {
namespace {

using namespace std::string_view_literals;

// An object whose key "a" holds `arrays` nested arrays, so the document has arrays + 1 levels.
std::string nestedArrays(int arrays) {
  return "{\"a\":" + std::string(static_cast<std::size_t>(arrays), '[') +
         std::string(static_cast<std::size_t>(arrays), ']') + "}";
}

TEST(Json, onlyOneObjectWithinTheNestingLimitAndNothingAfterItParses) {
  const std::string brackets(1000, '[');
  for (const std::string& body :
       {std::string("  {}\n"), nestedArrays(kMaxJsonDepth - 1), "{\"a\":\"" + brackets + "\"}",
        "{\"a\":\"\\\"" + brackets + "\"}"}) {
    EXPECT_TRUE(parseObject(body).has_value()) << body.substr(0, 12);
  }
  // The parser alone stops at a NUL byte and takes what came before it.
  for (const std::string_view body : {"\"text\""sv, ""sv, R"({"a":1}{"b":2})"sv, R"({"a":1,})"sv,
                                      "{/*c*/}"sv, "{}\0"sv, "{\"a\":1}\0garbage"sv}) {
    EXPECT_FALSE(parseObject(body).has_value()) << body;
  }
  for (const std::string& body :
       {nestedArrays(kMaxJsonDepth), nestedArrays(100000), "{\"a\":" + std::string(100000, '['),
        "{\"a\":" + std::string(100000, '{')}) {
    EXPECT_FALSE(parseObject(body).has_value()) << body.size();
  }
}

TEST(Json, wholeNumbersAreNumbersWithoutFractionThatFitSixtyFourBits) {
  const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
      {"-7", -7},
      {"1.0", 1},
      {"1e3", 1000},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"1.5", std::nullopt},
      {"-0.5", std::nullopt},
      {"1e30", std::nullopt},
      {"9223372036854775808", std::nullopt},
      {"9.3e18", std::nullopt},
      {"\"3\"", std::nullopt},
      {"true", std::nullopt}};
  for (const auto& [number, expected] : cases) {
    const auto value = parseObject(std::string("{\"n\":") + number + "}");
    ASSERT_TRUE(value.has_value()) << number;
    EXPECT_EQ(wholeNumber((*value)["n"]), expected) << number;
  }
}

TEST(Json, invalidUtf8IsReplacedInsteadOfThrowing) {
  EXPECT_EQ(serialize({{"text", std::string("ok\xFF\xC3")}}),
            "{\"text\":\"ok\xEF\xBF\xBD\xEF\xBF\xBD\"}");
}

// The limit counts the body as written, escapes included; a frame larger than the pipe still
// arrives whole.
TEST(Frame, aBodyOfUpToOneMebibyteAfterEscapingIsWrittenWholeThroughASmallPipe) {
  const std::string filling(kMaxOutboundFrameLength - 8, 'a');  // {"t":"..."} adds 8 bytes
  // Half as many quotes fit before escaping but not after (each is written as two bytes).
  const std::string quotes(kMaxOutboundFrameLength / 2, '"');
  EXPECT_FALSE(fitsOutboundFrame({{"t", filling + "a"}}));
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::fcntl(ends[1], F_SETPIPE_SZ, 4096);
  std::string received;
  std::thread reader(
      [&] { received = caption::testing::readFile("/dev/fd/" + std::to_string(ends[0])); });
  EXPECT_FALSE(writeFrame(ends[1], {{"t", quotes}}));
  EXPECT_TRUE(writeFrame(ends[1], {{"t", filling}}));
  ::close(ends[1]);
  reader.join();
  ::close(ends[0]);
  EXPECT_EQ(received, frameHeader(kMaxOutboundFrameLength) + R"({"t":")" + filling + R"("})");
}

}  // namespace
}  // namespace quelvar
