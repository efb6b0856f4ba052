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
// changes, so a pair installed while a host runs is seen by its next request.
class ModeCatalogue {
 public:
  explicit ModeCatalogue(std::filesystem::path modesDirectory = defaultModesDirectory,
                         std::vector<Direction> packaged = packagedDirections());

  LanguageStatus status(const std::string& sourceTag, const std::string& targetTag);
  // The mode file for a direction between two tags, when installed.
  std::optional<std::filesystem::path> modeFile(const std::string& sourceTag,
                                                const std::string& targetTag);
  // The tags of every installed direction's languages (in mode name order), then those of the
  // packaged directions; each once, without variants.
  std::vector<std::string> supportedLanguages();
  // The installed directions, in mode name order.
  std::vector<Direction> installedDirections();

 private:
  void refresh();
  // Cached: the language inventory asks for every ordered pair of languages.
  const std::vector<std::string>& codesFor(const std::string& tag);
  const Direction* find(const std::vector<Direction>& directions, const std::string& sourceTag,
                        const std::string& targetTag);

  std::filesystem::path directory_;
  std::vector<Direction> packaged_;
  std::vector<Direction> installed_;
  std::map<std::string, std::vector<std::string>> codes_;
  std::timespec scannedMtime_{};          // the folder's modification time at the last scan
  std::optional<std::time_t> scannedAt_;  // when that scan began
};

}  // namespace quelvar::apertium
