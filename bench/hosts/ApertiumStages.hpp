// What Apertium itself costs, without any of our code: each program of a translation direction's
// pipeline started on empty input, and the `apertium` command on one sentence.
#pragma once

#include <string>
#include <vector>

namespace quelvar::bench {

struct ProgramCost {
  std::string command;
  double wall = 0, cpu = 0;  // milliseconds; cpu is user plus system time of the program
};

// The stages of /usr/share/apertium/modes/<mode>.mode, each started on empty input and timed
// until it exits: start-up and loading its data, nothing translated. Empty when no such mode.
std::vector<ProgramCost> stageStartups(const std::string& mode);

// `apertium <mode>` translating one sentence, start to exit.
ProgramCost wholeCommand(const std::string& mode, const std::string& sentence);

}  // namespace quelvar::bench
