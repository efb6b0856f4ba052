// Helpers for the caption client's tests: running programs, reading subtitles, making audio.
#include "CaptionTestSupport.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

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
  Spawned spawned{-1, workDir + "/.stdout", workDir + "/.stderr"};
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    env.emplace_back(*entry);
  }
  env.insert(env.end(), extraEnv.begin(), extraEnv.end());
  std::vector<char*> argv;
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& entry : env) {
    envp.push_back(const_cast<char*>(entry.c_str()));
  }
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, spawned.outPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, spawned.errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int error = ::posix_spawn(&spawned.pid, args.front().c_str(), &actions, nullptr,
                                  argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    throw std::runtime_error("cannot start " + args.front());
  }
  return spawned;
}

RunResult waitProgram(const Spawned& spawned, std::chrono::seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  while (::waitpid(spawned.pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(spawned.pid, SIGKILL);
      ::waitpid(spawned.pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(spawned.outPath),
          readFile(spawned.errPath)};
}

RunResult runProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                     const std::string& workDir, std::chrono::seconds timeout) {
  return waitProgram(spawnProgram(args, extraEnv, workDir), timeout);
}

}  // namespace quelvar::caption::testing
