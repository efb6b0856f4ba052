// Plain text into Apertium's stream format and back.
#include <gtest/gtest.h>

#include <tuple>

#include "platform/linux/apertium/StreamText.hpp"

namespace quelvar::apertium {
namespace {

TEST(StreamText, splitsOffUnicodeWhitespaceAtBothEnds) {
  struct Row {
    std::string text, leading, core, trailing;
  };
  const Row rows[] = {
      {"Hello world", "", "Hello world", ""},
      {"  Hello \t world\n", "  ", "Hello \t world", "\n"},
      {"\xC2\xA0Hola\xE2\x80\x83", "\xC2\xA0", "Hola", "\xE2\x80\x83"},  // no-break and em space
      {" \n\t ", " \n\t ", "", ""},
      {"", "", "", ""},
      {"\xFF bad \xFE", "", "\xFF bad \xFE", ""},  // invalid UTF-8 counts as text
  };
  for (const auto& row : rows) {
    auto parts = splitOuterWhitespace(row.text);
    EXPECT_EQ(parts.leading, row.leading) << row.text;
    EXPECT_EQ(parts.core, row.core) << row.text;
    EXPECT_EQ(parts.trailing, row.trailing) << row.text;
  }
}

TEST(StreamText, escapesReservedCharactersAndClosesTheSentence) {
  const std::pair<std::string, std::string> rows[] = {
      {"Hello world", "Hello world.[]"},
      {"a^b$c[d]e{f}g/h\\i@j<k>l*m#n", "a\\^b\\$c\\[d\\]e\\{f\\}g\\/h\\\\i\\@j\\<k\\>l\\*m\\#n.[]"},
      {"x~y", "x[~]y.[]"},
      {std::string("a\0b", 3), "a b.[]"},
      {"di\xCC\x81"
       "as",
       "d\xC3\xAD"
       "as.[]"},                               // NFC
      {"\xFF a\xCC\x81", "\xFF \xC3\xA1.[]"},  // invalid UTF-8 stays
  };
  for (const auto& [text, encoded] : rows) {
    EXPECT_EQ(encodeSegment(text), encoded);
  }
}

// Only an answer that carries the closing blank belongs to a segment; only the last one is ours.
TEST(StreamText, decodingResolvesEscapesOpensBlanksAndDropsTheSentenceEnd) {
  const std::tuple<std::string, std::string, bool> rows[] = {
      {"Hola Mundo.[]", "Hola Mundo", true},
      {"Hola Mundo..[]", "Hola Mundo.", true},
      {"a.[] b.[]", "a. b", true},
      {".[]", "", true},
      {"\\^b\\$ \\[c\\] \\\\", "^b$ [c] \\", false},
      {"uno[ \\]dos]tres", "uno ]dostres", false},
      {"sin final", "sin final", false},
      {"", "", false},
  };
  for (const auto& [answer, decoded, belongs] : rows) {
    EXPECT_EQ(decodeSegment(answer), decoded);
    EXPECT_EQ(isAnswerToSegment(answer), belongs) << answer;
  }
}

TEST(StreamText, everyCharacterSurvivesTheRoundTrip) {
  const std::string texts[] = {
      "^ $ [ ] { } / \\ @ < > * #",
      "~tilde~",
      "[[wordbound]]",
      "ends with a full stop.",
      "ends with a blank []",
      "ünïcödé ✓",
      "\\",
      "a.[]",
  };
  for (const auto& text : texts) {
    EXPECT_EQ(decodeSegment(encodeSegment(text)), text);
  }
}

}  // namespace
}  // namespace quelvar::apertium
