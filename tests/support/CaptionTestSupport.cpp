// Helpers for the tests: temporary folders, whole-file reads, subtitle parsing and test audio.
#include "CaptionTestSupport.hpp"

#include <sndfile.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace quelvar::caption::testing {

std::optional<std::vector<CueLines>> parseSrt(const std::string& text) {
  static const std::regex timing(R"(\d\d:\d\d:\d\d,\d\d\d --> \d\d:\d\d:\d\d,\d\d\d)");
  std::vector<CueLines> cues;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line != std::to_string(cues.size() + 1) || !std::getline(in, line) ||
        !std::regex_match(line, timing)) {
      return std::nullopt;
    }
    CueLines& cue = cues.emplace_back();
    while (std::getline(in, line) && !line.empty()) {
      cue.push_back(line);
    }
    if (cue.empty()) {
      return std::nullopt;
    }
  }
  return cues;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> normalisedWords(const std::string& text) {
  std::vector<std::string> words{""};
  for (const char c : text) {
    if (std::isalpha(static_cast<unsigned char>(c))) {
      words.back() += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    } else if (c != '\'' && !words.back().empty()) {
      words.emplace_back();  // the engine's dictionary has no possessive or quoting apostrophes
    }
  }
  if (words.back().empty()) {
    words.pop_back();
  }
  return words;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quelvar-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void writeTone(const std::string& path, int rate, const std::vector<float>& levels,
               double seconds) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = static_cast<int>(levels.size());
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) {
    throw std::runtime_error("cannot write " + path);
  }
  const auto frames = static_cast<std::size_t>(seconds * rate);
  std::vector<float> samples;
  for (std::size_t i = 0; i < frames; ++i) {
    const float wave =
        std::sin(2.0f * 3.14159265f * 440.0f * static_cast<float>(i) / static_cast<float>(rate));
    for (float level : levels) {
      samples.push_back(level * wave);
    }
  }
  sf_writef_float(file, samples.data(), static_cast<sf_count_t>(frames));
  sf_close(file);
}

}  // namespace quelvar::caption::testing
