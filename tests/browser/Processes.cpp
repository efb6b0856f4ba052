// Process scanning through /proc, and waits on process descriptors instead of sleeps.
#include "Processes.hpp"

#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <optional>
#include <system_error>

#include "common/Posix.hpp"

namespace quelvar::browser {
namespace fs = std::filesystem;

namespace {

// Far beyond what the helper programs need even on a loaded machine, and well within the test's
// own time-out.
constexpr std::chrono::seconds kProgramPatience{60};

bool inside(const fs::path& file, const fs::path& folder) {
  const auto [end, ignored] = std::mismatch(folder.begin(), folder.end(), file.begin(), file.end());
  return end == folder.end();
}

// The program of the process described by `proc` when it lies inside `folder`: its executable,
// or for a script its command line's path. Nothing for a process that ended (a zombie has
// neither) or runs something else.
std::optional<fs::path> programInside(const fs::path& proc, const fs::path& folder) {
  std::error_code error;
  fs::path executable = fs::read_symlink(proc / "exe", error);
  if (!error && inside(executable, folder)) {
    return executable;
  }
  std::ifstream file(proc / "cmdline", std::ios::binary);
  for (std::string argument; std::getline(file, argument, '\0');) {
    if (!argument.empty() && argument.front() == '/' && inside(argument, folder)) {
      return argument;
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<RunningProcess> processesRunningFrom(const fs::path& folder) {
  std::vector<RunningProcess> found;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    pid_t pid = 0;
    const auto [end, parseError] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (parseError != std::errc() || end != name.data() + name.size()) {
      continue;
    }
    if (std::optional<fs::path> program = programInside(entry.path(), folder)) {
      found.push_back({pid, std::move(*program)});
    }
  }
  return found;
}

bool waitUntilEnded(pid_t pid, Clock::time_point deadline) {
  // Through syscall: glibc 2.36 declares pidfd_open without C linkage for C++.
  const int descriptor = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (descriptor < 0) {
    return errno == ESRCH;  // already gone
  }
  const bool ended = waitReady(descriptor, POLLIN, deadline);
  ::close(descriptor);
  return ended;
}

std::vector<RunningProcess> waitUntilNoneRunFrom(const fs::path& folder,
                                                 Clock::time_point deadline) {
  for (const RunningProcess& process : processesRunningFrom(folder)) {
    waitUntilEnded(process.pid, deadline);
  }
  return processesRunningFrom(folder);
}

int runProgram(const std::vector<std::string>& argv) {
  SpawnOptions options;
  options.argv = argv;
  std::error_code error;
  Child child = spawn(options, error);
  if (error) {
    return -1;
  }
  const ChildEnd end = child.finish(kProgramPatience);
  return !end.failed && !end.killed && WIFEXITED(end.status) ? WEXITSTATUS(end.status) : -1;
}

}  // namespace quelvar::browser
