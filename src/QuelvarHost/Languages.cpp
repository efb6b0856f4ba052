// "languages": the installed translation directions and speech support for their languages.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "QuelvarHost/LanguageNames.hpp"
#include "QuelvarHost/Requests.hpp"
#include "common/Text.hpp"

namespace quelvar::host {

namespace {

struct Language {
  std::string tag;      // as the platform lists it; the form it is asked about
  std::string minimal;  // for telling two listings of one language apart
  std::string code;     // as replies write it
};

asio::awaitable<nlohmann::json> entry(const std::string& code,
                                      const std::vector<std::string>& installedSpeech,
                                      SpeechRecognitionService& speech) {
  const std::optional<std::string> locale = co_await speech.supportedLocale(speechLocaleCode(code));
  const bool installed = locale && std::find(installedSpeech.begin(), installedSpeech.end(),
                                             *locale) != installedSpeech.end();
  co_return nlohmann::json{{"code", code},
                           {"name", displayName(code)},
                           {"speechSupported", locale.has_value()},
                           {"speechInstalled", installed}};
}

}  // namespace

asio::awaitable<void> answerLanguages(nlohmann::json& reply, HostServices services) {
  const std::vector<std::string> tags = co_await services.translation.supportedLanguages();
  const std::vector<std::string> installedSpeech = co_await services.speech.installedLocales();

  std::vector<Language> supported;
  supported.reserve(tags.size());
  for (const std::string& tag : tags) {
    supported.push_back({tag, minimalIdentifier(tag), replyCode(tag)});
  }

  // Both directions of every pair are asked separately, in the platform's order.
  nlohmann::json pairs = nlohmann::json::array();
  std::set<std::string> codes;  // ascending by plain string comparison
  for (const Language& source : supported) {
    for (const Language& target : supported) {
      if (source.minimal == target.minimal) {
        continue;
      }
      if (co_await services.translation.status(source.tag, target.tag) ==
          LanguageStatus::installed) {
        pairs.push_back(nlohmann::json::array({source.code, target.code}));
        codes.insert(source.code);
        codes.insert(target.code);
      }
    }
  }

  nlohmann::json languages = nlohmann::json::array();
  for (const std::string& code : codes) {
    languages.push_back(co_await entry(code, installedSpeech, services.speech));
  }
  succeed(reply);
  reply["languages"] = std::move(languages);
  reply["pairs"] = std::move(pairs);
}

}  // namespace quelvar::host
