// Where the client finds the speech host and the demo's sample clip.
#include "caption/Locations.hpp"

#include <unistd.h>

#include <filesystem>

namespace quelvar::caption {

std::string programDirectory() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string(".") : self.parent_path().string();
}

HostSearch findSpeechHost(const std::string& chosen, const std::string& programDir) {
  if (!chosen.empty()) {
    return {chosen, {}};
  }
  const std::string beside = programDir + "/QuelvarSpeech";
  const std::string installed = std::filesystem::path(programDir).parent_path().string() +
                                "/" QUELVAR_HELPER_DIR "/QuelvarSpeech";
  for (const std::string& candidate : {beside, installed}) {
    if (::access(candidate.c_str(), X_OK) == 0) {
      return {candidate, {}};
    }
  }
  return {{},
          "cannot find the speech host QuelvarSpeech (looked for " + beside + " and " + installed +
              "); build it with `cmake --build build` or name it with --host"};
}

std::string demoClipPath(const std::string& programDir) {
  return std::filesystem::path(programDir).parent_path().string() + "/share/quelvar/sample-en.wav";
}

}  // namespace quelvar::caption
