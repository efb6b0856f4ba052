// Which translation directions Apertium has installed, and which it could have.
#pragma once

#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Translation.hpp"

namespace quelvar::apertium {

// A direction in Apertium's codes, as a mode names it ("eng" to "spa" for eng-spa.mode).
struct Direction {
  std::string source;
  std::string target;
};

inline const std::filesystem::path defaultModesDirectory = "/usr/share/apertium/modes";

// A distribution package of an Apertium pair and the directions it installs.
struct PackagedPair {
  std::string package;
  std::vector<Direction> directions;
};

// The distribution's Apertium pair packages, in the order of their table.
std::vector<PackagedPair> packagedPairs();

// The directions that the distribution's Apertium pair packages provide.
std::vector<Direction> packagedDirections();

// Installed directions are the modes in the modes directory, read again whenever the directory
// changes, so a pair installed while a host runs is seen by its next request. A direction without
// a mode of its own is installed too when two modes join its languages through one middle
// language; a mode of its own always wins.
class ModeCatalogue {
 public:
  explicit ModeCatalogue(std::filesystem::path modesDirectory = defaultModesDirectory,
                         std::vector<Direction> packaged = packagedDirections());

  LanguageStatus status(const std::string& sourceTag, const std::string& targetTag);
  // The mode files that translate between two tags, in order: one for a direction with a mode
  // of its own, two through a middle language, none when the direction is not installed.
  std::vector<std::filesystem::path> route(const std::string& sourceTag,
                                           const std::string& targetTag);
  // The tags of every installed direction's languages (in mode name order), then those of the
  // packaged directions; each once, without variants.
  std::vector<std::string> supportedLanguages();
  // The installed directions, in mode name order.
  std::vector<Direction> installedDirections();

 private:
  void refresh();
  // Cached: the language inventory asks for every ordered pair of languages. A copy, since a
  // later lookup may empty the bounded cache under the caller.
  std::vector<std::string> codesFor(const std::string& tag);
  std::string tagFor(const std::string& code);
  const Direction* find(const std::vector<Direction>& directions, const std::string& sourceTag,
                        const std::string& targetTag);
  std::vector<const Direction*> findRoute(const std::string& sourceTag,
                                          const std::string& targetTag);

  std::filesystem::path directory_;
  std::vector<Direction> packaged_;
  std::vector<Direction> installed_;
  // The language tags of each installed direction's two codes, for meeting in a middle language.
  std::vector<std::pair<std::string, std::string>> installedTags_;
  std::map<std::string, std::vector<std::string>> codes_;
  std::map<std::string, std::string> tags_;  // the language tag of each Apertium code seen
  std::timespec scannedMtime_{};             // the folder's modification time at the last scan
  std::optional<std::time_t> scannedAt_;     // when that scan began
};

}  // namespace quelvar::apertium
