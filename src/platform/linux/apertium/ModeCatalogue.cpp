// Which translation directions Apertium has installed, and which it could have.
#include "platform/linux/apertium/ModeCatalogue.hpp"

#include <sys/stat.h>

#include <algorithm>

#include "platform/linux/apertium/LanguageCodes.hpp"

namespace quelvar::apertium {
namespace {

constexpr std::string_view modeSuffix = ".mode";
constexpr std::size_t maxCachedTags = 512;

// "eng-spa" or "spa-eng_US"; names with more parts are a pair's debugging modes.
std::optional<Direction> directionOf(const std::string& modeName) {
  auto dash = modeName.find('-');
  if (dash == std::string::npos || dash == 0 || dash + 1 == modeName.size() ||
      modeName.find('-', dash + 1) != std::string::npos) {
    return std::nullopt;
  }
  return Direction{modeName.substr(0, dash), modeName.substr(dash + 1)};
}

// A mode for a variant ("eng_US") lists its language only: callers pair languages, and the variant
// is still found when a tag asks for it.
void addLanguage(std::vector<std::string>& tags, const std::string& code) {
  auto tag = languageTag(code.substr(0, code.find('_')));
  if (tag && std::find(tags.begin(), tags.end(), *tag) == tags.end()) {
    tags.push_back(*tag);
  }
}

std::string tagOf(const std::string& code) {
  return languageTag(code).value_or("");
}

// "en" of "en-US": a chain must not pass through either end's own language.
std::string_view languageOfTag(std::string_view tag) {
  return tag.substr(0, tag.find('-'));
}

std::filesystem::path modePath(const std::filesystem::path& directory, const Direction& direction) {
  return directory / (direction.source + "-" + direction.target + std::string(modeSuffix));
}

}  // namespace

ModeCatalogue::ModeCatalogue(std::filesystem::path modesDirectory, std::vector<Direction> packaged)
    : directory_(std::move(modesDirectory)), packaged_(std::move(packaged)) {}

std::vector<std::string> ModeCatalogue::codesFor(const std::string& tag) {
  auto found = codes_.find(tag);
  if (found != codes_.end()) {
    return found->second;
  }
  if (codes_.size() >= maxCachedTags) {
    codes_.clear();  // tags come from requests; the cache must not grow without bound
  }
  return codes_.emplace(tag, apertiumCodes(tag)).first->second;
}

std::string ModeCatalogue::tagFor(const std::string& code) {
  auto found = tags_.find(code);
  if (found != tags_.end()) {
    return found->second;
  }
  if (tags_.size() >= maxCachedTags) {
    tags_.clear();
  }
  return tags_.emplace(code, tagOf(code)).first->second;
}

// The first direction that joins two tags, trying the most specific codes first.
const Direction* ModeCatalogue::find(const std::vector<Direction>& directions,
                                     const std::string& sourceTag, const std::string& targetTag) {
  const auto sources = codesFor(sourceTag);
  const auto targets = codesFor(targetTag);
  for (const auto& source : sources) {
    for (const auto& target : targets) {
      auto found = std::find_if(directions.begin(), directions.end(), [&](const Direction& d) {
        return d.source == source && d.target == target;
      });
      if (found != directions.end()) {
        return &*found;
      }
    }
  }
  return nullptr;
}

// The direct direction if there is one, else the first pair of installed directions (in mode name
// order) whose middle codes name the same language, which is neither end's language.
std::vector<const Direction*> ModeCatalogue::findRoute(const std::string& sourceTag,
                                                       const std::string& targetTag) {
  if (const Direction* direct = find(installed_, sourceTag, targetTag)) {
    return {direct};
  }
  for (const auto& source : codesFor(sourceTag)) {
    for (const auto& target : codesFor(targetTag)) {
      const std::string sourceLanguage = tagFor(source);
      const std::string targetLanguage = tagFor(target);
      const std::string_view from = languageOfTag(sourceLanguage);
      const std::string_view to = languageOfTag(targetLanguage);
      if (from.empty() || from == to) {
        continue;
      }
      for (std::size_t first = 0; first < installed_.size(); ++first) {
        const auto& middle = installedTags_[first].second;
        if (installed_[first].source != source || middle.empty() || languageOfTag(middle) == from ||
            languageOfTag(middle) == to) {
          continue;
        }
        for (std::size_t second = 0; second < installed_.size(); ++second) {
          if (installed_[second].target == target && installedTags_[second].first == middle) {
            return {&installed_[first], &installed_[second]};
          }
        }
      }
    }
  }
  return {};
}

void ModeCatalogue::refresh() {
  struct stat info {};
  if (::stat(directory_.c_str(), &info) != 0) {
    installed_.clear();
    installedTags_.clear();
    scannedAt_.reset();
    return;
  }
  // A change within the same timestamp tick as the last scan would go unseen, so a folder
  // changed less than a second before that scan is read again (as git does with racy entries).
  if (scannedAt_ && scannedMtime_.tv_sec == info.st_mtim.tv_sec &&
      scannedMtime_.tv_nsec == info.st_mtim.tv_nsec && *scannedAt_ > info.st_mtim.tv_sec + 1) {
    return;
  }
  std::time_t now = std::time(nullptr);
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory_, error)) {
    auto name = entry.path().filename().string();
    if (name.size() > modeSuffix.size() && name.ends_with(modeSuffix) &&
        entry.is_regular_file(error)) {
      names.push_back(name.substr(0, name.size() - modeSuffix.size()));
    }
  }
  std::sort(names.begin(), names.end());
  installed_.clear();
  installedTags_.clear();
  for (const auto& name : names) {
    if (auto direction = directionOf(name)) {
      installed_.push_back(*direction);
      installedTags_.emplace_back(tagFor(direction->source), tagFor(direction->target));
    }
  }
  scannedMtime_ = info.st_mtim;
  scannedAt_ = now;
}

LanguageStatus ModeCatalogue::status(const std::string& sourceTag, const std::string& targetTag) {
  refresh();
  if (!findRoute(sourceTag, targetTag).empty()) {
    return LanguageStatus::installed;
  }
  if (find(packaged_, sourceTag, targetTag)) {
    return LanguageStatus::supported;
  }
  return LanguageStatus::unsupported;
}

std::vector<std::filesystem::path> ModeCatalogue::route(const std::string& sourceTag,
                                                        const std::string& targetTag) {
  refresh();
  std::vector<std::filesystem::path> modes;
  for (const Direction* direction : findRoute(sourceTag, targetTag)) {
    modes.push_back(modePath(directory_, *direction));
  }
  return modes;
}

std::vector<std::string> ModeCatalogue::supportedLanguages() {
  refresh();
  std::vector<std::string> tags;
  for (const auto* list : {&installed_, &packaged_}) {
    for (const auto& direction : *list) {
      addLanguage(tags, direction.source);
      addLanguage(tags, direction.target);
    }
  }
  return tags;
}

std::vector<Direction> ModeCatalogue::installedDirections() {
  refresh();
  return installed_;
}

}  // namespace quelvar::apertium
