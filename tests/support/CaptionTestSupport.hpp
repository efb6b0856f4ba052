// Helpers for the tests: temporary folders, whole-file reads, subtitle parsing, words and test
// audio.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quelvar::caption::testing {

using CueLines = std::vector<std::string>;
// The text lines of each cue of SubRip text, or nothing unless every block is a well-formed
// numbered cue.
std::optional<std::vector<CueLines>> parseSrt(const std::string& text);

std::string readFile(const std::string& path);

// The words of a text as the speech engine spells them: letters only, lower case, apostrophes
// dropped.
std::vector<std::string> normalisedWords(const std::string& text);

// A fresh directory, removed with everything in it when the value goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A 440 Hz sine tone of `seconds` at `rate` Hz as 16-bit WAV, one channel per level (its peak, of
// full scale).
void writeTone(const std::string& path, int rate, const std::vector<float>& levels, double seconds);

}  // namespace quelvar::caption::testing
