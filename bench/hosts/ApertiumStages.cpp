// What Apertium itself costs: its pipeline's programs one by one, and the whole command.
#include "ApertiumStages.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "common/Posix.hpp"

namespace quelvar::bench {

namespace {

double millis(const timeval& time) {
  return time.tv_sec * 1e3 + time.tv_usec / 1e3;
}

// Runs `sh -c script` with the mode file's two options as $1 and $2, `input` on standard input
// and standard output thrown away.
ProgramCost runShell(const std::string& script, const std::string& input) {
  ProgramCost cost{script, -1, -1};
  std::error_code error;
  Pipe in = makePipe(error);
  const FileDescriptor nowhere(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  if (error || !nowhere) {
    return cost;
  }
  SpawnOptions options;
  // As the `apertium` command runs a mode: "-g" for the generator, nothing for the tagger.
  options.argv = {"/bin/sh", "-c", script, "sh", "-g", ""};
  options.descriptors = {in.read.get(), nowhere.get(), STDERR_FILENO};
  // The children's usage so far: this one's is what it adds once reaped.
  rusage before{};
  ::getrusage(RUSAGE_CHILDREN, &before);
  const auto began = std::chrono::steady_clock::now();
  Child child = spawn(options, error);
  in.read.reset();
  if (error) {
    return cost;
  }
  writeAll(in.write.get(), input);
  in.write.reset();
  child.finish(std::chrono::minutes(1));
  cost.wall =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
  rusage after{};
  ::getrusage(RUSAGE_CHILDREN, &after);
  cost.cpu = millis(after.ru_utime) + millis(after.ru_stime) - millis(before.ru_utime) -
             millis(before.ru_stime);
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
