// The recogniser languages this machine can have, and where each one's model files live.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quelvar::pocketsphinx {

struct RecogniserModel {
  std::string locale;                   // the identifier the service answers with, e.g. "en-US"
  std::string language;                 // the language subtag it serves, e.g. "en"
  std::filesystem::path acousticModel;  // a directory
  std::filesystem::path languageModel;
  std::filesystem::path dictionary;
  std::string package;  // the distribution package that installs the files
  // Where files that make later loads faster are kept (CacheFiles.hpp); empty: none.
  std::filesystem::path cacheFolder = {};
};

class PocketSphinxCatalogue {
 public:
  explicit PocketSphinxCatalogue(std::vector<RecogniserModel> models);

  // The models the distribution packages for PocketSphinx provide.
  static PocketSphinxCatalogue debian();

  // The entry for the language of `localeIdentifier` ("en", "en-GB", "en_US"), if any.
  const RecogniserModel* equivalentTo(const std::string& localeIdentifier) const;
  // The entry whose own identifier is exactly `locale`, if any.
  const RecogniserModel* find(const std::string& locale) const;
  // Identifiers of the installed entries, in catalogue order; with `proven`, of the usable ones.
  std::vector<std::string> installedLocales(bool proven = false) const;

  // Whether the model's files are all present and its dictionary holds words.
  static bool isInstalled(const RecogniserModel& model);
  // Installed, and its acoustic model loads (probed in a child process, once per process).
  static bool isUsable(const RecogniserModel& model);

  const std::vector<RecogniserModel>& models() const { return models_; }

 private:
  std::vector<RecogniserModel> models_;
};

// The lower-case language subtag of a locale identifier, or "" when it has none.
std::string languageSubtag(const std::string& localeIdentifier);

}  // namespace quelvar::pocketsphinx
