// The language tag pattern of speech downloads.
#include <gtest/gtest.h>

#include "QuelvarHost/RequestFields.hpp"

namespace quelvar::host {
namespace {

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
