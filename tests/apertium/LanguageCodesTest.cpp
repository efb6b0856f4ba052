// Language tags to Apertium codes and back.
#include <gtest/gtest.h>

#include "platform/linux/apertium/LanguageCodes.hpp"

namespace quelvar::apertium {
namespace {

using Codes = std::vector<std::string>;

TEST(LanguageCodes, plainLanguagesMapBothWays) {
  const std::pair<std::string, std::string> rows[] = {
      {"en", "eng"}, {"es", "spa"}, {"ca", "cat"}, {"gl", "glg"}, {"eo", "epo"}, {"eu", "eus"},
      {"pt", "por"}, {"fr", "fra"}, {"it", "ita"}, {"ro", "ron"}, {"oc", "oci"}, {"nb", "nob"},
  };
  for (const auto& [tag, code] : rows) {
    EXPECT_EQ(apertiumCodes(tag), (Codes{code, tag})) << tag;
    EXPECT_EQ(languageTag(code), tag) << code;
  }
}

TEST(LanguageCodes, tagsGiveCodesInBothStylesMostSpecificFirst) {
  const std::pair<std::string, Codes> rows[] = {
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
    EXPECT_TRUE(apertiumCodes(tag).empty()) << tag;
  }
}

TEST(LanguageCodes, codesGiveTags) {
  const std::pair<std::string, std::optional<std::string>> rows[] = {
      {"en", "en"},
      {"srd", "sc"},
      {"zlm", "ms"},
      {"eng_US", "en-US"},
      {"por_BR", "pt-BR"},
      {"cat_valencia", "ca-valencia"},
      {"hbs", "hbs"},
      {"oci_aran", "oc-aranes"},
      {"e", std::nullopt},
      {"english", std::nullopt},
      {"eng_x", std::nullopt},
      {"eng_US_x", std::nullopt},
  };
  for (const auto& [code, tag] : rows) {
    EXPECT_EQ(languageTag(code), tag) << code;
  }
}

}  // namespace
}  // namespace quelvar::apertium
