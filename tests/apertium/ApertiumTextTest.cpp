// Apertium's text formats without a program running: language codes, mode command lines and the
// stream format.
#include <gmock/gmock.h>

#include "platform/linux/apertium/ApertiumError.hpp"
#include "platform/linux/apertium/LanguageCodes.hpp"
#include "platform/linux/apertium/ModeCommand.hpp"
#include "platform/linux/apertium/StreamText.hpp"

namespace quelvar::apertium {
namespace {

TEST(LanguageCodes, codesGiveTagsAndOnlyTwoOrThreeLetterLanguagesAreCodes) {
  const std::pair<std::string, std::optional<std::string>> rows[] = {
      {"srd", "sc"}, {"eng_US", "en-US"}, {"engl", std::nullopt}, {"eng_US_x", std::nullopt}};
  for (const auto& [code, tag] : rows) {
    EXPECT_EQ(languageTag(code), tag) << code;
  }
}

TEST(ModeCommand, refusesWhatOnlyAShellCouldRun) {
  for (const char* line : {"a |", "a > out", "a < in", "a; b", "a $(b)", "a $HOME", "a 'open"}) {
    auto programs = parseModeCommand(line);
    ASSERT_FALSE(programs.ok()) << line;
    EXPECT_TRUE(hasCode(programs.error(), ErrorCode::badMode)) << line;
  }
}

TEST(StreamText, escapesReservedCharactersAndClosesTheSentence) {
  const std::pair<std::string, std::string> rows[] = {
      {"a^b$c[d]e{f}g/h\\i@j<k>l*m#n", "a\\^b\\$c\\[d\\]e\\{f\\}g\\/h\\\\i\\@j\\<k\\>l\\*m\\#n.[]"},
      {"x~y", "x[~]y.[]"},
      {std::string("a\0b", 3), "a b.[]"},
      {"di\xCC\x81"
       "as \xFF",
       "d\xC3\xAD"
       "as \xFF.[]"},  // NFC; invalid UTF-8 stays
  };
  for (const auto& [text, encoded] : rows) {
    EXPECT_EQ(encodeSegment(text), encoded);
  }
}

}  // namespace
}  // namespace quelvar::apertium
