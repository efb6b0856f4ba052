// Helpers for the caption client's tests: running programs, reading subtitles, making audio.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Posix.hpp"

namespace quelvar::caption::testing {

struct ParsedCue {
  std::int64_t startMs = 0;
  std::int64_t endMs = 0;
  std::vector<std::string> lines;
};

// The cues of SubRip text, or nothing unless every block is a well-formed numbered cue.
std::optional<std::vector<ParsedCue>> parseSrt(const std::string& text);

std::string readFile(const std::string& path);

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

struct Spawned {
  Child child;
  std::string outPath;
  std::string errPath;
};

// Starts a program in `workDir` with `extraEnv` ("NAME=value") added to the environment; its
// standard output and error go to files in workDir, its standard input is /dev/null.
Spawned spawnProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                     const std::string& workDir);

struct RunResult {
  int exitCode = -1;  // -1: killed by a signal or by the timeout
  std::string out;
  std::string err;
};

// Waits for the program to end (killing it after `timeout`) and collects what it wrote.
RunResult waitProgram(Spawned& spawned, std::chrono::seconds timeout);

RunResult runProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                     const std::string& workDir,
                     std::chrono::seconds timeout = std::chrono::seconds(60));

}  // namespace quelvar::caption::testing
