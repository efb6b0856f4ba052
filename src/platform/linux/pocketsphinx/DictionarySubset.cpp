// The dictionary subset file: a header line the engine skips as a comment, then the entries.
#include "platform/linux/pocketsphinx/DictionarySubset.hpp"

#include <sstream>

#include "common/AtomicFile.hpp"
#include "platform/linux/pocketsphinx/CacheFiles.hpp"

namespace quelvar::pocketsphinx {

namespace {

// Lines starting with ";;" are comments to the engine. The number is the version of the way the
// subset is made: a new one makes every older subset stale.
constexpr std::string_view kMark = ";; quelvar dictionary subset 1 ";

std::optional<std::string> sources(const RecogniserModel& model) {
  return fingerprint({model.dictionary, model.languageModel});
}

std::string header(const std::string& sources, std::string_view entries) {
  return std::string(kMark) + sources + ' ' + checksum(entries) + '\n';
}

// "word(2)" is the second pronunciation of "word".
std::string baseWord(std::string_view entry) {
  std::string_view word = entry.substr(0, entry.find_first_of(" \t"));
  if (word.ends_with(')')) {
    const std::size_t open = word.rfind('(');
    if (open != std::string_view::npos && open > 0) {
      word = word.substr(0, open);
    }
  }
  return std::string(word);
}

}  // namespace

std::filesystem::path subsetFile(const RecogniserModel& model) {
  return cacheFile(model, ".dict");
}

bool isCurrentSubset(const RecogniserModel& model) {
  const std::filesystem::path file = subsetFile(model);
  if (file.empty()) {
    return false;
  }
  const std::optional<std::string> key = sources(model);
  const std::optional<std::string> subset = readWholeFile(file);
  if (!key || !subset) {
    return false;
  }
  const std::size_t end = subset->find('\n');
  if (end == std::string::npos) {
    return false;
  }
  const std::string_view entries = std::string_view(*subset).substr(end + 1);
  return !entries.empty() && std::string_view(*subset).substr(0, end + 1) == header(*key, entries);
}

std::error_code writeSubset(const RecogniserModel& model,
                            const std::function<bool(const std::string& word)>& known) {
  const std::optional<std::string> key = sources(model);
  const std::optional<std::string> dictionary = readWholeFile(model.dictionary);
  if (subsetFile(model).empty() || !key || !dictionary) {
    return std::make_error_code(std::errc::no_such_file_or_directory);
  }
  std::string entries;
  std::istringstream lines(*dictionary);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && known(baseWord(line))) {
      entries += line;
      entries += '\n';
    }
  }
  if (entries.empty()) {
    return std::make_error_code(std::errc::invalid_argument);
  }
  std::error_code error;
  std::filesystem::create_directories(model.cacheFolder, error);
  if (error) {
    return error;
  }
  return writeFileAtomically(subsetFile(model), header(*key, entries) + entries);
}

}  // namespace quelvar::pocketsphinx
