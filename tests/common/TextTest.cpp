// Character counting, trimming, pair rules, speech locale codes and the Chinese clean-up.
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>

#include "common/Text.hpp"

namespace quelvar {
namespace {

using ::testing::Each;

std::string repeat(const std::string& piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) {
    text += piece;
  }
  return text;
}

// Characters built from several code points, each one user-perceived character: regional
// indicators, a ZWJ sequence, a combining accent, conjoining jamo.
const std::string kFlag = "\U0001F1E9\U0001F1EA";
const std::string kFamily = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
const std::string kAccented = "e\u0301";

TEST(Text, graphemesAreCountedAsUserPerceivedCharacters) {
  const std::pair<std::string, std::size_t> cases[] = {{"", 0},
                                                       {"zh-Hans", 7},
                                                       {kFamily, 1},
                                                       {"\u1100\u1161\u11A8", 1},
                                                       {"\r\n", 1},
                                                       {"漢語", 2},
                                                       {kFlag + kFlag + kAccented, 3}};
  for (const auto& [text, count] : cases) {
    EXPECT_EQ(graphemeCount(text), count) << text;
  }
}

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
      {"\u3000\u00A0\u2028", ""},
      {"\u200Bhi\uFEFF", "\u200Bhi\uFEFF"},  // zero-width characters are not white space
      {"\n" + kFamily + "\n", kFamily}};
  for (const auto& [text, trimmed] : cases) {
    EXPECT_EQ(trimWhitespaceAndNewlines(text), trimmed) << text;
  }
}

TEST(Text, speechLocalesMapOnlyTheTwoChineseScriptsExactly) {
  const std::pair<const char*, const char*> cases[] = {{"zh-Hans", "zh-CN"},
                                                       {"zh-Hant", "zh-TW"},
                                                       {"zh-hans", "zh-hans"},
                                                       {"zh-Hans-CN", "zh-Hans-CN"}};
  for (const auto& [code, mapped] : cases) {
    EXPECT_EQ(speechLocaleCode(code), mapped) << code;
  }
}

TEST(Text, translationsAreSimplifiedOnlyForZhHansAndFromSeveralThreadsAtOnce) {
  EXPECT_EQ(cleanUpTranslation("這是測試 and English", "zh-Hans"), "这是测试 and English");
  for (const char* target : {"zh-CN", "zh-hans", "zh-Hant", "en"}) {
    EXPECT_EQ(cleanUpTranslation("漢語", target), "漢語") << target;
  }
  std::vector<std::string> results(4);
  std::vector<std::thread> threads;
  for (std::string& result : results) {
    threads.emplace_back([&result] {
      for (int i = 0; i < 20; ++i) {
        result = toSimplifiedChinese("漢語");
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_THAT(results, Each("汉语"));
}

}  // namespace
}  // namespace quelvar
