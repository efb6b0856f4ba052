// Where the client finds the speech host and the demo's sample clip, and how it writes its files.
#include "caption/Locations.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

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

std::string writeFileAtomically(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      const std::string reason = std::strerror(errno);
      std::remove(temporary.c_str());
      return "cannot write " + path + ": " + reason;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    std::remove(temporary.c_str());
    return "cannot write " + path + ": " + reason;
  }
  return {};
}

}  // namespace quelvar::caption
