// What Apertium itself costs: its pipeline's programs one by one, and the whole command.
#include "ApertiumStages.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

extern char** environ;

namespace quelvar::bench {

namespace {

double millis(const timeval& time) {
  return time.tv_sec * 1e3 + time.tv_usec / 1e3;
}

// Runs `sh -c script` with the mode file's two options as $1 and $2, `input` on standard input
// and standard output thrown away.
ProgramCost runShell(const std::string& script, const std::string& input) {
  ProgramCost cost{script, -1, -1};
  int in[2];
  if (::pipe2(in, O_CLOEXEC) != 0) {
    return cost;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  // As the `apertium` command runs a mode: "-g" for the generator, nothing for the tagger.
  const char* argv[] = {"sh", "-c", script.c_str(), "sh", "-g", "", nullptr};
  const auto began = std::chrono::steady_clock::now();
  pid_t pid = -1;
  const int failed =
      ::posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  if (failed == 0 && !input.empty()) {
    [[maybe_unused]] const ssize_t written = ::write(in[1], input.data(), input.size());
  }
  ::close(in[1]);
  if (failed != 0) {
    return cost;
  }
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  cost.wall =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
  cost.cpu = millis(usage.ru_utime) + millis(usage.ru_stime);
  return cost;
}

}  // namespace

std::vector<ProgramCost> stageStartups(const std::string& mode) {
  std::ifstream file("/usr/share/apertium/modes/" + mode + ".mode");
  std::stringstream text;
  text << file.rdbuf();
  std::vector<ProgramCost> costs;
  std::string stage;
  // The mode's stages are joined by '|'; the data paths never hold one.
  for (std::istringstream stages(text.str()); std::getline(stages, stage, '|');) {
    const std::size_t first = stage.find_first_not_of(" \t\n");
    if (first == std::string::npos) {
      continue;
    }
    stage = stage.substr(first, stage.find_last_not_of(" \t\n") - first + 1);
    costs.push_back(runShell(stage, ""));
    costs.back().command = stage.substr(0, stage.find(' '));
  }
  return costs;
}

ProgramCost wholeCommand(const std::string& mode, const std::string& sentence) {
  ProgramCost cost = runShell("exec apertium " + mode, sentence);
  cost.command = "apertium " + mode;
  return cost;
}

}  // namespace quelvar::bench
