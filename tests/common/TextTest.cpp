// Pair rules and trimming.
#include <string>

#include <gmock/gmock.h>

#include "common/Text.hpp"

namespace quelvar {
namespace {

std::string repeat(const std::string& piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) {
    text += piece;
  }
  return text;
}

// Characters built from several code points, each one user-perceived character: regional
// indicators, a ZWJ sequence, a combining accent.
const std::string kFlag = "\U0001F1E9\U0001F1EA";
const std::string kFamily = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
const std::string kAccented = "e\u0301";

TEST(Text, aPairNeedsTwoTagsThatDifferExactlyOfAtMostFortyCharacters) {
  for (const std::string& piece : {std::string("a"), kFlag, kFamily, kAccented}) {
    EXPECT_TRUE(isValidPair(repeat(piece, 40), "en")) << piece;
    EXPECT_TRUE(isValidPair("en", repeat(piece, 40))) << piece;
    EXPECT_FALSE(isValidPair(repeat(piece, 41), "en")) << piece;
    EXPECT_FALSE(isValidPair("en", repeat(piece, 41))) << piece;
  }
  EXPECT_FALSE(isValidPair("en", "en"));
  EXPECT_TRUE(isValidPair("en", "EN"));
}

TEST(Text, trimmingRemovesUnicodeWhiteSpaceAtBothEndsOnly) {
  const std::pair<std::string, std::string> cases[] = {
      {" \t\n\v\f\r hello world \r\n", "hello world"},
      {"\u00A0\u2028\u2029\u3000hi\u0085\u205F\u1680", "hi"},
      {"a\u3000\nb", "a\u3000\nb"},
      {"\u200Bhi\uFEFF", "\u200Bhi\uFEFF"}};  // zero-width characters are not white space
  for (const auto& [text, trimmed] : cases) {
    EXPECT_EQ(trimWhitespaceAndNewlines(text), trimmed) << text;
  }
}

}  // namespace
}  // namespace quelvar
