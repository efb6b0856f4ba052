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

// Characters built from several code points, each one user-perceived character.
const std::string kFlag = "\U0001F1E9\U0001F1EA";  // regional indicators D E
const std::string kFamily = "\U0001F468\u200D\U0001F469\u200D\U0001F467";  // ZWJ sequence
const std::string kThumb = "\U0001F44D\U0001F3FD";                         // emoji with modifier
const std::string kAccented = "e\u0301";                                   // combining acute
const std::string kHangul = "\u1100\u1161\u11A8";                          // conjoining jamo

TEST(Text, graphemesAreCountedAsUserPerceivedCharacters) {
  struct Case {
    std::string text;
    std::size_t count;
  };
  const Case cases[] = {
      {"", 0},      {"en", 2},   {"zh-Hans", 7},           {kFlag, 1},
      {kFamily, 1}, {kThumb, 1}, {kAccented, 1},           {kHangul, 1},
      {"\r\n", 1},  {"漢語", 2}, {kFlag + kFlag + "a", 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(graphemeCount(c.text), c.count) << c.text;
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
  struct Case {
    std::string text;
    std::string trimmed;
  };
  const Case cases[] = {
      {"", ""},
      {"hello", "hello"},
      {" \t\n\v\f\r hello world \r\n", "hello world"},
      {"\u00A0hi\u00A0", "hi"},
      {"\u2028\u2029hi\u0085", "hi"},
      {"\u3000\u2003\u202Fhi\u205F\u1680", "hi"},
      {"a\u3000\nb", "a\u3000\nb"},
      {"   \n\n  ", ""},
      {"\u3000\u00A0\u2028", ""},
      {"\u200Bhi\uFEFF", "\u200Bhi\uFEFF"},  // zero-width characters are not white space
      {"\n" + kFamily + "\n", kFamily},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(trimWhitespaceAndNewlines(c.text), c.trimmed) << c.text;
  }
}

TEST(Text, speechLocalesMapOnlyTheTwoChineseScriptsExactly) {
  const std::pair<const char*, const char*> cases[] = {
      {"zh-Hans", "zh-CN"}, {"zh-Hant", "zh-TW"}, {"zh-hans", "zh-hans"},       {"zh-CN", "zh-CN"},
      {"zh", "zh"},         {"en", "en"},         {"zh-Hans-CN", "zh-Hans-CN"}, {"", ""},
  };
  for (const auto& [code, mapped] : cases) {
    EXPECT_EQ(speechLocaleCode(code), mapped) << code;
  }
}

TEST(Text, translationsAreSimplifiedOnlyForZhHans) {
  EXPECT_EQ(cleanUpTranslation("漢語", "zh-Hans"), "汉语");
  EXPECT_EQ(cleanUpTranslation("這是測試。", "zh-Hans"), "这是测试。");
  EXPECT_EQ(cleanUpTranslation("汉语 and English", "zh-Hans"), "汉语 and English");
  for (const char* target : {"zh-CN", "zh-hans", "zh-Hant", "en"}) {
    EXPECT_EQ(cleanUpTranslation("漢語", target), "漢語") << target;
  }
}

TEST(Text, simplifyingWorksFromSeveralThreadsAtOnce) {
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
