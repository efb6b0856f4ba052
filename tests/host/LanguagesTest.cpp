// "languages": the installed translation directions, the codes replies use and speech facts.
#include "HostTestSupport.hpp"
#include "QuelvarHost/LanguageNames.hpp"

namespace quelvar::testing {
namespace {

using Languages = HostTest;

// Two listings of one language are never paired, but their directions may repeat a pair.
TEST_F(Languages, installedDirectionsAreListedInPlatformOrderAndTheirLanguagesInCodeOrder) {
  EXPECT_EQ(respond(request("languages")),
            json::parse(R"({"version":1,"id":"r","ok":true,"languages":[],"pairs":[]})"));
  translation.languages = {"en", "de", "fr", "en-US"};
  translation.statuses[{"en", "de"}] = LanguageStatus::installed;
  translation.statuses[{"de", "en"}] = LanguageStatus::installed;
  translation.statuses[{"en", "fr"}] = LanguageStatus::supported;
  translation.statuses[{"en-US", "de"}] = LanguageStatus::installed;
  translation.statuses[{"en", "en-US"}] = LanguageStatus::installed;
  const json reply = respond(request("languages"));
  EXPECT_EQ(reply["languages"], json::parse(R"([
      {"code":"de","name":"German","speechSupported":false,"speechInstalled":false},
      {"code":"en","name":"English","speechSupported":true,"speechInstalled":true}])"));
  EXPECT_EQ(reply["pairs"], json::parse(R"([["en","de"],["de","en"],["en","de"]])"));
}

TEST_F(Languages, speechIsFoundByRegionForChineseAndInstalledOnlyUnderItsExactIdentifier) {
  // The platform may list Simplified Chinese as plain "zh" or with its script.
  translation.languages = {"en", "es", "zh", "zh-Hant-TW"};
  for (const char* target : {"es", "zh", "zh-Hant-TW"}) {
    translation.statuses[{"en", target}] = LanguageStatus::installed;
  }
  speech.supported = {{"en", "en-US"}, {"es", "es-ES"}, {"zh-CN", "zh-CN"}, {"zh-TW", "zh-TW"}};
  speech.installed = {"en_US", "es-ES", "zh-TW"};
  const json reply = respond(request("languages"));
  EXPECT_EQ(reply["languages"], json::parse(R"json([
      {"code":"en","name":"English","speechSupported":true,"speechInstalled":false},
      {"code":"es","name":"Spanish","speechSupported":true,"speechInstalled":true},
      {"code":"zh-Hans","name":"Chinese (Simplified)","speechSupported":true,
       "speechInstalled":false},
      {"code":"zh-Hant","name":"Chinese (Traditional)","speechSupported":true,
       "speechInstalled":true}])json"));
  EXPECT_EQ(reply["pairs"], json::parse(R"([["en","es"],["en","zh-Hans"],["en","zh-Hant"]])"));
}

TEST_F(Languages, codesKeepWhatTellsLanguagesApartAndNamesFollowTheUserLocale) {
  const std::pair<const char*, const char*> codes[] = {{"en-US", "en"},
                                                       {"en-GB", "en-GB"},
                                                       {"zh-Hant-HK", "zh-HK"},
                                                       {"sr-Latn", "sr-Latn"},
                                                       {"ca-valencia", "ca-valencia"},
                                                       {"not a tag", "not a tag"}};
  for (const auto& [tag, code] : codes) {
    EXPECT_EQ(host::replyCode(tag), code) << tag;
  }
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale::setDefault(icu::Locale::getGerman(), status);
  EXPECT_EQ(host::displayName("en"), "Englisch");
}

}  // namespace
}  // namespace quelvar::testing
