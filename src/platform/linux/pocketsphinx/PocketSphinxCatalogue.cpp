// The recogniser catalogue: language matching through ICU and model presence on disk.
#include "platform/linux/pocketsphinx/PocketSphinxCatalogue.hpp"

#include <unicode/locid.h>

#include <cstdlib>
#include <fstream>
#include <system_error>

#include "platform/linux/pocketsphinx/ModelProbe.hpp"

namespace quelvar::pocketsphinx {

namespace {

bool isFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

// An empty dictionary loads, and then nothing is ever recognised.
bool hasWords(const std::filesystem::path& dictionary) {
  std::ifstream in(dictionary);
  std::string word;
  return static_cast<bool>(in >> word);
}

// The user's cache folder as the XDG base directory rules name it; empty without a home.
std::filesystem::path cacheFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache != nullptr && std::filesystem::path(cache).is_absolute()) {
    return cache;
  }
  const char* home = std::getenv("HOME");
  if (home != nullptr && std::filesystem::path(home).is_absolute()) {
    return std::filesystem::path(home) / ".cache";
  }
  return {};
}

}  // namespace

std::string languageSubtag(const std::string& localeIdentifier) {
  icu::Locale locale = icu::Locale::createFromName(localeIdentifier.c_str());
  if (locale.isBogus()) {
    return {};
  }
  return locale.getLanguage();
}

PocketSphinxCatalogue::PocketSphinxCatalogue(std::vector<RecogniserModel> models)
    : models_(std::move(models)) {}

PocketSphinxCatalogue PocketSphinxCatalogue::debian() {
  const std::filesystem::path root = "/usr/share/pocketsphinx/model/en-us";
  const std::filesystem::path cache = cacheFolder();
  return PocketSphinxCatalogue({{
      .locale = "en-US",
      .language = "en",
      .acousticModel = root / "en-us",
      .languageModel = root / "en-us.lm.bin",
      .dictionary = root / "cmudict-en-us.dict",
      .package = "pocketsphinx-en-us",
      .cacheFolder = cache.empty() ? cache : cache / "quelvar" / "speech",
  }});
}

const RecogniserModel* PocketSphinxCatalogue::equivalentTo(
    const std::string& localeIdentifier) const {
  const std::string language = languageSubtag(localeIdentifier);
  if (language.empty()) {
    return nullptr;
  }
  for (const auto& model : models_) {
    if (model.language == language) {
      return &model;
    }
  }
  return nullptr;
}

const RecogniserModel* PocketSphinxCatalogue::find(const std::string& locale) const {
  for (const auto& model : models_) {
    if (model.locale == locale) {
      return &model;
    }
  }
  return nullptr;
}

std::vector<std::string> PocketSphinxCatalogue::installedLocales(bool proven) const {
  std::vector<std::string> installed;
  for (const auto& model : models_) {
    if (proven ? isUsable(model) : isInstalled(model)) {
      installed.push_back(model.locale);
    }
  }
  return installed;
}

bool PocketSphinxCatalogue::isInstalled(const RecogniserModel& model) {
  // The model definition file stands for the acoustic model directory's contents.
  return isFile(model.acousticModel / "mdef") && isFile(model.languageModel) &&
         isFile(model.dictionary) && hasWords(model.dictionary);
}

bool PocketSphinxCatalogue::isUsable(const RecogniserModel& model) {
  return isInstalled(model) && probeAcousticModel(model).ok();
}

}  // namespace quelvar::pocketsphinx
