// Where the client finds the speech host and the demo's sample clip.
#pragma once

#include <string>

namespace quelvar::caption {

// The directory that holds the running program.
std::string programDirectory();

// The speech host: `chosen` if given, else QuelvarSpeech next to this program (a build tree), else
// PREFIX/libexec/quelvar/QuelvarSpeech (an installation).
struct HostSearch {
  std::string path;   // empty when not found
  std::string error;  // where it looked, when not found
};
HostSearch findSpeechHost(const std::string& chosen, const std::string& programDir);

// The English sample clip the build generates: PREFIX/share/quelvar/sample-en.wav.
std::string demoClipPath(const std::string& programDir);

}  // namespace quelvar::caption
