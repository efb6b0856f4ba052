// Language tags to Apertium codes and back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/linux/apertium/LanguageCodes.hpp"

namespace quelvar::apertium {
namespace {

using Codes = std::vector<std::string>;

TEST(LanguageCodes, tagsGiveCodesInBothStylesMostSpecificFirst) {
  const std::pair<std::string, Codes> rows[] = {
      {"en", {"eng", "en"}},
      {"EN", {"eng", "en"}},
      {"en-US", {"eng_US", "en_US", "eng", "en"}},
      {"ca-ES-valencia", {"cat_valencia", "ca_valencia", "cat_ES", "ca_ES", "cat", "ca"}},
      {"oc-aranes", {"oci_aran", "oc_aran", "oci", "oc"}},
      {"no", {"nor", "no", "nob"}},
      {"ms", {"msa", "ms", "zlm"}},
      {"ast", {"ast"}},
      {"zh-Hans", {"zho", "zh"}},
  };
  for (const auto& [tag, codes] : rows) {
    EXPECT_EQ(apertiumCodes(tag), codes) << tag;
  }
  for (const char* tag : {"", "und", "x", "en us", "es_ES", "123", "toolongtagaaaaaa"}) {
    EXPECT_THAT(apertiumCodes(tag), ::testing::IsEmpty()) << tag;
  }
}

TEST(LanguageCodes, codesGiveTagsAndOnlyTwoOrThreeLetterLanguagesAreCodes) {
  const std::pair<std::string, std::optional<std::string>> rows[] = {
      {"en", "en"},
      {"srd", "sc"},
      {"zlm", "ms"},
      {"eng_US", "en-US"},
      {"cat_valencia", "ca-valencia"},
      {"hbs", "hbs"},
      {"oci_aran", "oc-aranes"},
      {"e", std::nullopt},
      {"engl", std::nullopt},
      {"eng_x", std::nullopt},
      {"eng_US_x", std::nullopt},
  };
  for (const auto& [code, tag] : rows) {
    EXPECT_EQ(languageTag(code), tag) << code;
  }
}

}  // namespace
}  // namespace quelvar::apertium
