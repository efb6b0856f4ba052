// Helpers for the caption client's tests: running programs, reading subtitles, making audio.
#include "CaptionTestSupport.hpp"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace quelvar::caption::testing {

std::optional<std::vector<ParsedCue>> parseSrt(const std::string& text) {
  static const std::regex timing(
      R"((\d\d):(\d\d):(\d\d),(\d\d\d) --> (\d\d):(\d\d):(\d\d),(\d\d\d))");
  std::vector<ParsedCue> cues;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line != std::to_string(cues.size() + 1)) {
      return std::nullopt;
    }
    std::smatch match;
    if (!std::getline(in, line) || !std::regex_match(line, match, timing)) {
      return std::nullopt;
    }
    auto ms = [&match](int first) {
      return std::stoll(match[first]) * 3600000 + std::stoll(match[first + 1]) * 60000 +
             std::stoll(match[first + 2]) * 1000 + std::stoll(match[first + 3]);
    };
    ParsedCue cue{ms(1), ms(5), {}};
    while (std::getline(in, line) && !line.empty()) {
      cue.lines.push_back(line);
    }
    if (cue.lines.empty()) {
      return std::nullopt;
    }
    cues.push_back(std::move(cue));
  }
  return cues;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
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

Spawned spawnProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                     const std::string& workDir) {
  Spawned spawned{{}, workDir + "/.stdout", workDir + "/.stderr"};
  SpawnOptions options;
  options.argv = args;
  options.environment.emplace();
  for (char** entry = environ; *entry != nullptr; ++entry) {
    options.environment->emplace_back(*entry);
  }
  options.environment->insert(options.environment->end(), extraEnv.begin(), extraEnv.end());
  options.directory = workDir;
  const FileDescriptor input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  const FileDescriptor output(
      ::open(spawned.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  const FileDescriptor errors(
      ::open(spawned.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  options.descriptors = {input.get(), output.get(), errors.get()};
  std::error_code error;
  spawned.child = spawn(options, error);
  if (error) {
    throw std::runtime_error("cannot start " + args.front() + ": " + error.message());
  }
  return spawned;
}

RunResult waitProgram(Spawned& spawned, std::chrono::seconds timeout) {
  const ChildEnd end = spawned.child.finish(timeout);
  return {!end.failed && WIFEXITED(end.status) ? WEXITSTATUS(end.status) : -1,
          readFile(spawned.outPath), readFile(spawned.errPath)};
}

RunResult runProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                     const std::string& workDir, std::chrono::seconds timeout) {
  Spawned spawned = spawnProgram(args, extraEnv, workDir);
  return waitProgram(spawned, timeout);
}

}  // namespace quelvar::caption::testing
