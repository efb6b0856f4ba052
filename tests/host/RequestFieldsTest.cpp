// The whitespace set of translation texts and the language tag pattern of speech downloads.
#include <gtest/gtest.h>

#include "QuelvarHost/RequestFields.hpp"

namespace quelvar::host {
namespace {

TEST(RequestFields, blankMeansOnlySeparatorsAndLineControls) {
  for (const char* blank :
       {"", " ", "\t\n\v\f\r", "\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80", "\xE2\x80\x80\xE2\x80\x8A",
        "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80", "\xE2\x80\xA8\xE2\x80\xA9"}) {
    EXPECT_TRUE(isBlank(blank)) << blank;
  }
  // Zero-width space, byte order mark, other controls and broken UTF-8 are not whitespace.
  for (const char* text :
       {"a", " a ", "\xE2\x80\x8B", "\xEF\xBB\xBF", "\x1C", "\x01", "\xFF", "\xC2"}) {
    EXPECT_FALSE(isBlank(text)) << text;
  }
}

TEST(RequestFields, speechTagsFollowThePatternInEitherCase) {
  for (const char* tag : {"en", "EN", "fil", "zh-Hans", "ZH-HANT", "sr-Latn-RS", "de-1996",
                          "en-abcdefgh", "es-419"}) {
    EXPECT_TRUE(isSpeechLanguageTag(tag)) << tag;
  }
  for (const char* tag : {"", "e", "engl", "english", "en_US", "en-", "-en", "en--US", "en-x",
                          "en-abcdefghi", "1en", "e1", "en US", "en\n", " en",
                          "\xE2\x84\xAA"
                          "a",
                          "\xC5\xBF"
                          "e"}) {
    EXPECT_FALSE(isSpeechLanguageTag(tag)) << tag;
  }
}

}  // namespace
}  // namespace quelvar::host
