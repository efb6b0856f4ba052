// Fingerprints and checksums of the speech model's cache files.
#include "platform/linux/pocketsphinx/CacheFiles.hpp"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <sstream>

namespace quelvar::pocketsphinx {

namespace {

std::uint64_t fnv1a(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (const char byte : bytes) {
    hash = (hash ^ static_cast<unsigned char>(byte)) * 1099511628211ULL;
  }
  return hash;
}

}  // namespace

std::filesystem::path cacheFile(const RecogniserModel& model, std::string_view suffix) {
  if (model.cacheFolder.empty()) {
    return {};
  }
  return model.cacheFolder / (model.locale + std::string(suffix));
}

std::optional<std::string> fingerprint(const std::vector<std::filesystem::path>& files) {
  std::ostringstream identity;
  for (const std::filesystem::path& file : files) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) {
      return std::nullopt;
    }
    identity << file.string() << '\0' << status.st_dev << ' ' << status.st_ino << ' '
             << status.st_size << ' ' << status.st_mtim.tv_sec << ' ' << status.st_mtim.tv_nsec
             << '\0';
  }
  return checksum(identity.str());
}

std::string checksum(std::string_view bytes) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(fnv1a(bytes)));
  return text;
}

}  // namespace quelvar::pocketsphinx
