// "languages": the nested walk over translation directions and the speech facts of each code.
#include "HostTestSupport.hpp"

namespace quelvar::testing {
namespace {

using LanguagesTest = HostTest;

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

TEST_F(LanguagesTest, empty_inventories_give_empty_lists_and_ask_nothing_more) {
  EXPECT_EQ(respond(request("languages")), languagesReply(json::array(), json::array()));
  EXPECT_EQ(translation.calls, std::vector<std::string>{"supportedLanguages"});
  EXPECT_EQ(speech.calls, std::vector<std::string>{"installedLocales"});
}

TEST_F(LanguagesTest, languages_without_an_installed_direction_are_not_listed) {
  translation.languages = {"en", "de", "fr"};
  translation.setStatus("en", "fr", LanguageStatus::supported);
  translation.setStatus("fr", "en", LanguageStatus::supported);
  EXPECT_EQ(respond(request("languages")), languagesReply(json::array(), json::array()));
  // Every ordered pair of distinct languages is asked once, source-major.
  EXPECT_EQ(
      translation.calls,
      (std::vector<std::string>{"supportedLanguages", "status en de", "status en fr",
                                "status de en", "status de fr", "status fr en", "status fr de"}));
}

TEST_F(LanguagesTest, one_installed_direction_lists_both_codes_in_code_order) {
  translation.languages = {"en", "de", "fr"};
  translation.setStatus("en", "de", LanguageStatus::installed);
  translation.setStatus("en", "fr", LanguageStatus::supported);
  EXPECT_EQ(respond(request("languages")), languagesReply({entry("de", "German", false, false),
                                                           entry("en", "English", true, true)},
                                                          pairs({{"en", "de"}})));
  EXPECT_EQ(speech.calls, (std::vector<std::string>{"installedLocales", "supportedLocale de",
                                                    "supportedLocale en"}));
}

TEST_F(LanguagesTest, both_directions_keep_the_platform_order) {
  translation.languages = {"de", "en"};
  translation.setStatus("en", "de", LanguageStatus::installed);
  translation.setStatus("de", "en", LanguageStatus::installed);
  const json reply = respond(request("languages"));
  EXPECT_EQ(reply["pairs"], pairs({{"de", "en"}, {"en", "de"}}));
  EXPECT_EQ(reply["languages"].size(), 2U);
}

TEST_F(LanguagesTest, speech_is_installed_only_when_the_exact_identifier_is_installed) {
  translation.languages = {"en", "es"};
  translation.setStatus("en", "es", LanguageStatus::installed);
  speech.supported = {{"en", "en-US"}, {"es", "es-ES"}};
  speech.installed = {"en_US", "es-ES"};
  EXPECT_EQ(respond(request("languages"))["languages"],
            json({entry("en", "English", true, false), entry("es", "Spanish", true, true)}));
}

TEST_F(LanguagesTest, chinese_scripts_get_their_own_codes_and_speech_regions) {
  // The platform may list Simplified Chinese as plain "zh" or with its script.
  translation.languages = {"en", "zh", "zh-Hant-TW"};
  translation.setStatus("en", "zh", LanguageStatus::installed);
  translation.setStatus("en", "zh-Hant-TW", LanguageStatus::installed);
  speech.supported = {{"zh-CN", "zh-CN"}, {"zh-TW", "zh-TW"}};
  speech.installed = {"zh-TW"};
  EXPECT_EQ(respond(request("languages")),
            languagesReply({entry("en", "English", false, false),
                            entry("zh-Hans", "Chinese (Simplified)", true, false),
                            entry("zh-Hant", "Chinese (Traditional)", true, true)},
                           pairs({{"en", "zh-Hans"}, {"en", "zh-Hant"}})));
  EXPECT_EQ(speech.calls,
            (std::vector<std::string>{"installedLocales", "supportedLocale en",
                                      "supportedLocale zh-CN", "supportedLocale zh-TW"}));
}

TEST_F(LanguagesTest, two_listings_of_one_language_are_never_paired_and_pairs_may_repeat) {
  translation.languages = {"en", "en-US", "de"};
  translation.setStatus("en", "de", LanguageStatus::installed);
  translation.setStatus("en-US", "de", LanguageStatus::installed);
  translation.setStatus("en", "en-US", LanguageStatus::installed);
  const json reply = respond(request("languages"));
  EXPECT_EQ(reply["pairs"], pairs({{"en", "de"}, {"en", "de"}}));
  EXPECT_EQ(reply["languages"],
            json({entry("de", "German", false, false), entry("en", "English", true, true)}));
  for (const std::string& call : translation.calls) {
    EXPECT_NE(call, "status en en-US");
    EXPECT_NE(call, "status en-US en");
  }
}

}  // namespace
}  // namespace quelvar::testing
