// Installed languages and the packages that add more, read from the language host's catalogues.
#include "LanguageReadiness.hpp"

#include <algorithm>

#include "QuelvarHost/LanguageNames.hpp"
#include "platform/linux/apertium/LanguageCodes.hpp"

namespace quelvar {
namespace {

std::string installCommand(const std::string& package) {
  return "sudo apt install " + package;
}

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) {
    text += (text.empty() ? "" : ", ") + part;
  }
  return text;
}

// Pairs name their modes in either of Apertium's code styles ("fr-es", "fra-spa"), so directions
// are compared by the languages they join.
std::string comparable(const std::string& code) {
  return apertium::languageTag(code).value_or(code);
}

bool sameDirection(const apertium::Direction& a, const apertium::Direction& b) {
  return comparable(a.source) == comparable(b.source) &&
         comparable(a.target) == comparable(b.target);
}

}  // namespace

LanguageReadiness languageReadiness(const std::vector<apertium::Direction>& installed,
                                    const std::vector<apertium::PackagedPair>& packaged,
                                    const pocketsphinx::PocketSphinxCatalogue& speech,
                                    const LanguageNamer& name) {
  // Apertium codes ("eng", "spa_US") become tags for the namer; a code that makes no tag is shown
  // as it is.
  const auto language = [&name](const std::string& code) {
    const std::optional<std::string> tag = apertium::languageTag(code);
    return tag ? name(*tag) : code;
  };
  const auto direction = [&language](const apertium::Direction& d) {
    return language(d.source) + " → " + language(d.target);
  };

  LanguageReadiness readiness;
  for (const apertium::Direction& d : installed) {
    readiness.directions.push_back(direction(d));
  }
  for (const pocketsphinx::RecogniserModel& model : speech.models()) {
    if (pocketsphinx::PocketSphinxCatalogue::isInstalled(model)) {
      readiness.speechModels.push_back(name(model.locale));
    } else {
      readiness.offers.push_back(
          {name(model.locale) + " speech recognition", installCommand(model.package)});
    }
  }
  const auto firstPair = readiness.offers.size();
  for (const apertium::PackagedPair& pair : packaged) {
    std::vector<std::string> adds;
    for (const apertium::Direction& d : pair.directions) {
      if (std::none_of(installed.begin(), installed.end(),
                       [&d](const apertium::Direction& i) { return sameDirection(i, d); })) {
        adds.push_back(direction(d));
      }
    }
    if (!adds.empty()) {
      std::sort(adds.begin(), adds.end());
      readiness.offers.push_back({joined(adds), installCommand(pair.package)});
    }
  }
  std::stable_sort(readiness.offers.begin() + static_cast<std::ptrdiff_t>(firstPair),
                   readiness.offers.end(),
                   [](const PackageOffer& a, const PackageOffer& b) { return a.adds < b.adds; });
  return readiness;
}

LanguageReadiness currentLanguageReadiness() {
  apertium::ModeCatalogue modes;
  return languageReadiness(modes.installedDirections(), apertium::packagedPairs(),
                           pocketsphinx::PocketSphinxCatalogue::debian(),
                           [](const std::string& tag) { return host::displayName(tag); });
}

}  // namespace quelvar
