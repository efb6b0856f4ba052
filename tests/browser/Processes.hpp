// Finding, awaiting and running processes for the browser test, every wait bounded.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "DevToolsPipe.hpp"

namespace quelvar::browser {

struct RunningProcess {
  pid_t pid;
  std::filesystem::path executable;
};

// Live processes whose executable lies inside `folder`, whoever started them.
std::vector<RunningProcess> processesRunningFrom(const std::filesystem::path& folder);

// True once the process has ended (a child counts as ended before it is reaped); false when it
// still runs at the deadline. Works for processes that are not our children too.
bool waitUntilEnded(pid_t pid, Clock::time_point deadline);

// Waits until no process runs from `folder`; those still running at the deadline.
std::vector<RunningProcess> waitUntilNoneRunFrom(const std::filesystem::path& folder,
                                                 Clock::time_point deadline);

// Runs a program (found on PATH) to completion; its exit status, or -1 when it could not be
// started, did not exit normally or was still running after a minute (then it is killed).
int runProgram(const std::vector<std::string>& argv);

}  // namespace quelvar::browser
