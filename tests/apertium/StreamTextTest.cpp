// Plain text into Apertium's stream format and back.
#include <gtest/gtest.h>

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
  EXPECT_EQ(encodeSegment("Hello world"), "Hello world.[]");
  EXPECT_EQ(encodeSegment("a^b$c[d]e{f}g/h\\i@j<k>l*m#n"),
            "a\\^b\\$c\\[d\\]e\\{f\\}g\\/h\\\\i\\@j\\<k\\>l\\*m\\#n.[]");
  EXPECT_EQ(encodeSegment("x~y"), "x[~]y.[]");
  EXPECT_EQ(encodeSegment(std::string("a\0b", 3)), "a b.[]");
  EXPECT_EQ(encodeSegment("di\xCC\x81"
                          "as"),
            "d\xC3\xAD"
            "as.[]");                                              // NFC
  EXPECT_EQ(encodeSegment("\xFF a\xCC\x81"), "\xFF \xC3\xA1.[]");  // invalid UTF-8 stays
}

TEST(StreamText, decodingResolvesEscapesOpensBlanksAndDropsTheSentenceEnd) {
  EXPECT_EQ(decodeSegment("Hola Mundo.[]"), "Hola Mundo");
  EXPECT_EQ(decodeSegment("Hola Mundo..[]"), "Hola Mundo.");
  EXPECT_EQ(decodeSegment("\\^b\\$ \\[c\\] \\\\"), "^b$ [c] \\");
  EXPECT_EQ(decodeSegment("uno[ \\]dos]tres"), "uno ]dostres");
  EXPECT_EQ(decodeSegment("sin final"), "sin final");
  EXPECT_EQ(decodeSegment("a.[] b.[]"), "a. b");  // only the last one is ours
}

TEST(StreamText, onlyAnswersThatCarryTheClosingBlankBelongToASegment) {
  EXPECT_TRUE(isAnswerToSegment(".[]"));
  EXPECT_TRUE(isAnswerToSegment("Hola Mundo.[]"));
  EXPECT_FALSE(isAnswerToSegment(""));
  EXPECT_FALSE(isAnswerToSegment("Hola Mundo"));
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
