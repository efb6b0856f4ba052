// Starting a program as a child process that dies with its parent, and ending it again.
#include "platform/linux/apertium/ChildProcess.hpp"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/linux/apertium/ApertiumError.hpp"

extern char** environ;

namespace quelvar::apertium {
namespace {

PlatformError startError(const std::string& program, int error) {
  return makeError(ErrorCode::startFailed,
                   "Cannot start " + program + ": " + std::strerror(error) + ".");
}

// The executable a shell would run for a program name.
std::string resolveProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) {
    return name;
  }
  const char* path = std::getenv("PATH");
  std::string_view dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    auto colon = dirs.find(':');
    std::string dir(dirs.substr(0, colon));
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    if (colon == std::string_view::npos) {
      return name;  // fails in the child with "not found"
    }
    dirs.remove_prefix(colon + 1);
  }
}

// Between fork and exec only async-signal-safe calls: other threads may hold any lock.
[[noreturn]] void becomeProgram(const char* file, char* const* argv, const int (&fds)[3],
                                pid_t parent, int errorPipe, int highestFd) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) {
    ::_exit(127);  // the parent died before the death signal was armed
  }
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  ::sigaction(SIGPIPE, &standard, nullptr);  // an ignored SIGPIPE would survive exec

  for (int target = 0; target < 3; ++target) {
    if (fds[target] == target) {
      ::fcntl(target, F_SETFD, 0);
    } else if (::dup2(fds[target], target) < 0) {
      int error = errno;
      [[maybe_unused]] auto written = ::write(errorPipe, &error, sizeof error);
      ::_exit(127);
    }
  }
  // Descriptors opened without O_CLOEXEC by anyone in this process must not reach the program.
  if (::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
    for (int fd = 3; fd <= highestFd; ++fd) {
      ::fcntl(fd, F_SETFD, FD_CLOEXEC);  // kernels before 5.11
    }
  }
  ::execve(file, argv, environ);
  int error = errno;
  [[maybe_unused]] auto written = ::write(errorPipe, &error, sizeof error);
  ::_exit(127);
}

}  // namespace

Expected<Pipe> makePipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    return startError("a pipe", errno);
  }
  return Pipe{UniqueFd(fds[0]), UniqueFd(fds[1])};
}

Expected<pid_t> spawnProcess(const std::vector<std::string>& argv, int in, int out, int err) {
  if (argv.empty()) {
    return startError("an empty command", EINVAL);
  }
  // Everything the child needs is prepared here, before fork.
  std::string file = resolveProgram(argv[0]);
  std::vector<char*> args;
  for (const auto& arg : argv) {
    args.push_back(const_cast<char*>(arg.c_str()));
  }
  args.push_back(nullptr);
  auto errorPipe = makePipe();
  if (!errorPipe) {
    return errorPipe.error();
  }
  const int fds[3] = {in, out, err};
  struct rlimit limit {};
  int highestFd = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536
                      ? static_cast<int>(limit.rlim_cur) - 1
                      : 65535;
  pid_t parent = ::getpid();
  pid_t pid = ::fork();
  if (pid < 0) {
    return startError(argv[0], errno);
  }
  if (pid == 0) {
    becomeProgram(file.c_str(), args.data(), fds, parent, errorPipe.value().write.get(), highestFd);
  }
  errorPipe.value().write.reset();
  // The pipe closes on a successful exec; otherwise the child reports why it failed.
  int childError = 0;
  ssize_t got;
  do {
    got = ::read(errorPipe.value().read.get(), &childError, sizeof childError);
  } while (got < 0 && errno == EINTR);
  if (got > 0) {
    killAndReap(pid);
    return startError(argv[0], childError);
  }
  return pid;
}

void killAndReap(pid_t pid) {
  ::kill(pid, SIGKILL);
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

bool hasEnded(pid_t pid) {
  pid_t got;
  do {
    got = ::waitpid(pid, nullptr, WNOHANG);
  } while (got < 0 && errno == EINTR);
  return got != 0;  // reaped now, or no longer our child
}

}  // namespace quelvar::apertium
