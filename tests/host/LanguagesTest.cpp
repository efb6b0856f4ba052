// "languages": the installed translation directions, the codes replies use and speech facts.
#include "HostTestSupport.hpp"
#include "QuelvarHost/LanguageNames.hpp"

namespace quelvar::testing {
namespace {

using Languages = HostTest;

json languagesReply(json languages, json pairs) {
  return {{"version", 1}, {"id", "r"}, {"ok", true}, {"languages", languages}, {"pairs", pairs}};
}

// The "pairs" array; written out because braces alone would make a JSON object of them.
json pairs(std::initializer_list<std::pair<const char*, const char*>> directions) {
  json array = json::array();
  for (const auto& [source, target] : directions) {
    array.push_back(json::array({source, target}));
  }
  return array;
}

json entry(const std::string& code, const std::string& name, bool supported, bool installed) {
  return {{"code", code},
          {"name", name},
          {"speechSupported", supported},
          {"speechInstalled", installed}};
}

// Two listings of one language are never paired, but their directions may repeat a pair.
TEST_F(Languages, installedDirectionsAreListedInPlatformOrderAndTheirLanguagesInCodeOrder) {
  EXPECT_EQ(respond(request("languages")), languagesReply(json::array(), json::array()));
  translation.languages = {"en", "de", "fr", "en-US"};
  translation.setStatus("en", "de", LanguageStatus::installed);
  translation.setStatus("de", "en", LanguageStatus::installed);
  translation.setStatus("en", "fr", LanguageStatus::supported);
  translation.setStatus("en-US", "de", LanguageStatus::installed);
  translation.setStatus("en", "en-US", LanguageStatus::installed);
  EXPECT_EQ(
      respond(request("languages")),
      languagesReply({entry("de", "German", false, false), entry("en", "English", true, true)},
                     pairs({{"en", "de"}, {"de", "en"}, {"en", "de"}})));
}

TEST_F(Languages, speechIsFoundByRegionForChineseAndInstalledOnlyUnderItsExactIdentifier) {
  // The platform may list Simplified Chinese as plain "zh" or with its script.
  translation.languages = {"en", "es", "zh", "zh-Hant-TW"};
  for (const char* target : {"es", "zh", "zh-Hant-TW"}) {
    translation.setStatus("en", target, LanguageStatus::installed);
  }
  speech.supported = {{"en", "en-US"}, {"es", "es-ES"}, {"zh-CN", "zh-CN"}, {"zh-TW", "zh-TW"}};
  speech.installed = {"en_US", "es-ES", "zh-TW"};
  EXPECT_EQ(respond(request("languages")),
            languagesReply({entry("en", "English", true, false), entry("es", "Spanish", true, true),
                            entry("zh-Hans", "Chinese (Simplified)", true, false),
                            entry("zh-Hant", "Chinese (Traditional)", true, true)},
                           pairs({{"en", "es"}, {"en", "zh-Hans"}, {"en", "zh-Hant"}})));
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
