// Language tags to Apertium codes and back.
#include <gtest/gtest.h>

#include "platform/linux/apertium/LanguageCodes.hpp"

namespace quelvar::apertium {
namespace {

using Codes = std::vector<std::string>;

TEST(LanguageCodes, tagsGiveCodesInBothStylesMostSpecificFirst) {
  struct Row {
    std::string tag;
    Codes codes;
  };
  const Row rows[] = {
      {"en", {"eng", "en"}},
      {"es", {"spa", "es"}},
      {"ca", {"cat", "ca"}},
      {"gl", {"glg", "gl"}},
      {"eo", {"epo", "eo"}},
      {"eu", {"eus", "eu"}},
      {"pt", {"por", "pt"}},
      {"fr", {"fra", "fr"}},
      {"it", {"ita", "it"}},
      {"ro", {"ron", "ro"}},
      {"oc", {"oci", "oc"}},
      {"EN", {"eng", "en"}},
      {"en-US", {"eng_US", "en_US", "eng", "en"}},
      {"ca-ES-valencia", {"cat_valencia", "ca_valencia", "cat_ES", "ca_ES", "cat", "ca"}},
      {"oc-aranes", {"oci_aran", "oc_aran", "oci", "oc"}},
      {"nb", {"nob", "nb"}},
      {"no", {"nor", "no", "nob"}},
      {"ms", {"msa", "ms", "zlm"}},
      {"ast", {"ast"}},
      {"zh-Hans", {"zho", "zh"}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(apertiumCodes(row.tag), row.codes) << row.tag;
  }
}

TEST(LanguageCodes, malformedTagsGiveNoCodes) {
  for (const char* tag : {"", "und", "x", "en us", "es_ES", "123", "toolongtagaaaaaa"}) {
    EXPECT_TRUE(apertiumCodes(tag).empty()) << tag;
  }
}

TEST(LanguageCodes, codesGiveTags) {
  struct Row {
    std::string code;
    std::optional<std::string> tag;
  };
  const Row rows[] = {
      {"eng", "en"},
      {"spa", "es"},
      {"en", "en"},
      {"cat", "ca"},
      {"glg", "gl"},
      {"epo", "eo"},
      {"eus", "eu"},
      {"por", "pt"},
      {"fra", "fr"},
      {"ita", "it"},
      {"ron", "ro"},
      {"oci", "oc"},
      {"nob", "nb"},
      {"srd", "sc"},
      {"zlm", "ms"},
      {"eng_US", "en-US"},
      {"por_BR", "pt-BR"},
      {"cat_valencia", "ca-valencia"},
      {"oci_aran", "oc-aranes"},
      {"hbs", "hbs"},
      {"e", std::nullopt},
      {"english", std::nullopt},
      {"eng_x", std::nullopt},
      {"eng_US_x", std::nullopt},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(languageTag(row.code), row.tag) << row.code;
  }
}

}  // namespace
}  // namespace quelvar::apertium
