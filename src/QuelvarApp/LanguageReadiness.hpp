// What the languages window shows: the translation directions and speech models installed now,
// and the distribution packages that would add more.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/linux/apertium/ModeCatalogue.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxCatalogue.hpp"

namespace quelvar {

struct PackageOffer {
  std::string adds;     // what installing it adds, e.g. "Catalan → English, English → Catalan"
  std::string command;  // the command that installs it

  bool operator==(const PackageOffer&) const = default;
};

struct LanguageReadiness {
  std::vector<std::string> directions;    // installed, e.g. "English → Spanish"
  std::vector<std::string> speechModels;  // installed, e.g. "English (United States)"
  std::vector<PackageOffer> offers;       // speech models first, then by what they add
};

// The display name of a language tag ("en-US" -> "English (United States)").
using LanguageNamer = std::function<std::string(const std::string& tag)>;

LanguageReadiness languageReadiness(const std::vector<apertium::Direction>& installed,
                                    const std::vector<apertium::PackagedPair>& packaged,
                                    const pocketsphinx::PocketSphinxCatalogue& speech,
                                    const LanguageNamer& name);

// This machine's: Apertium's modes, Debian's packages, names in the user's locale.
LanguageReadiness currentLanguageReadiness();

}  // namespace quelvar
