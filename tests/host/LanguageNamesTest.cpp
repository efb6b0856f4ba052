// Reply codes and display names of platform language tags.
#include <gtest/gtest.h>
#include <unicode/locid.h>

#include "QuelvarHost/LanguageNames.hpp"

namespace quelvar::host {
namespace {

TEST(language_names, minimal_identifiers_drop_likely_subtags_and_prefer_scripts) {
  const std::pair<const char*, const char*> cases[] = {{"en", "en"},
                                                       {"en-US", "en"},
                                                       {"en-Latn-US", "en"},
                                                       {"en-GB", "en-GB"},
                                                       {"pt-BR", "pt"},
                                                       {"pt-PT", "pt-PT"},
                                                       {"zh", "zh"},
                                                       {"zh-Hans", "zh"},
                                                       {"zh-CN", "zh"},
                                                       {"zh-Hant", "zh-Hant"},
                                                       {"zh-TW", "zh-Hant"},
                                                       {"zh-Hant-HK", "zh-HK"},
                                                       {"sr-Latn", "sr-Latn"},
                                                       {"ca-valencia", "ca-valencia"},
                                                       {"not a tag", "not a tag"},
                                                       {"", ""}};
  for (const auto& [tag, minimal] : cases) {
    EXPECT_EQ(minimalIdentifier(tag), minimal) << tag;
  }
}

TEST(language_names, reply_codes_write_simplified_chinese_with_its_script) {
  EXPECT_EQ(replyCode("zh"), "zh-Hans");
  EXPECT_EQ(replyCode("zh-CN"), "zh-Hans");
  EXPECT_EQ(replyCode("zh-Hant"), "zh-Hant");
  EXPECT_EQ(replyCode("en-US"), "en");
}

TEST(language_names, names_follow_the_user_locale_and_fall_back_to_the_code) {
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale::setDefault(icu::Locale::getGerman(), status);
  EXPECT_EQ(displayName("en"), "Englisch");
  icu::Locale::setDefault(icu::Locale::getUS(), status);
  EXPECT_EQ(displayName("de"), "German");
  EXPECT_EQ(displayName("zh-Hant"), "Chinese (Traditional)");
  EXPECT_EQ(displayName("qaa"), "qaa");
  EXPECT_EQ(displayName("en_US!"), "en_US!");
}

}  // namespace
}  // namespace quelvar::host
