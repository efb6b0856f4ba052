// The few POSIX pieces every part needs: a descriptor that closes itself, writes that finish,
// and child processes that start clean and are always reaped.
#include "common/Posix.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace quelvar {
namespace {

ChildEnd waitThenKill(pid_t pid, std::chrono::milliseconds limit, pid_t killTarget) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  // Through syscall: glibc 2.36 declares no pidfd_open.
  const FileDescriptor process(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  ChildEnd end;
  for (;;) {
    const pid_t done = ::waitpid(pid, &end.status, WNOHANG);
    if (done == pid) {
      return end;
    }
    if (done < 0 && errno != EINTR) {
      end.failed = true;
      return end;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(killTarget, SIGKILL);
      while (::waitpid(pid, &end.status, 0) < 0 && errno == EINTR) {
      }
      end.killed = true;
      return end;
    }
    // Waited on through the process descriptor rather than a signal: the caller may be any
    // thread of a process whose other children must not be reaped here.
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd ended{process.get(), POLLIN, 0};
    if (!process || ::poll(&ended, 1, static_cast<int>(left.count())) < 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));  // kernels before 5.3
    }
  }
}

// The executable a shell would run for a program name; a name found nowhere is left to fail.
std::string resolveProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) {
    return name;
  }
  const char* path = std::getenv("PATH");
  std::string_view dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
  for (;;) {
    const auto colon = dirs.find(':');
    const std::string dir(dirs.substr(0, colon));
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    if (colon == std::string_view::npos) {
      return name;
    }
    dirs.remove_prefix(colon + 1);
  }
}

std::vector<char*> pointers(const std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (const std::string& text : strings) {
    result.push_back(const_cast<char*>(text.c_str()));
  }
  result.push_back(nullptr);
  return result;
}

// Everything the child needs, prepared before it starts.
struct ChildPlan {
  const char* directory;  // or nullptr
  const char* file;
  char* const* argv;
  char* const* envp;
  const int* descriptors;
  int* moved;  // room for one descriptor per entry of `descriptors`
  int count;
  int highestFd;
  bool ownGroup;
  bool dieWithParent;
  pid_t parent;
  int error;  // set by the child when it cannot become the program
};

// The child's code runs while it shares this process's memory and the parent thread waits, until
// exec: so nothing but raw system calls (sanitizers intercept some libc wrappers, _exit among
// them) and nothing the sanitizers would instrument.
#define QUELVAR_CHILD_CODE __attribute__((no_sanitize("address", "undefined")))

[[noreturn]] QUELVAR_CHILD_CODE void leave() {
  ::syscall(SYS_exit_group, 127);
  __builtin_unreachable();
}

[[noreturn]] QUELVAR_CHILD_CODE void giveUp(ChildPlan& plan) {
  plan.error = errno;
  leave();
}

QUELVAR_CHILD_CODE int becomeProgram(void* argument) {
  ChildPlan& plan = *static_cast<ChildPlan*>(argument);
  if ((plan.ownGroup && ::syscall(SYS_setpgid, 0, 0) != 0) ||
      (plan.directory && ::syscall(SYS_chdir, plan.directory) != 0)) {
    giveUp(plan);
  }
  if (plan.dieWithParent) {
    ::syscall(SYS_prctl, PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    if (::syscall(SYS_getppid) != plan.parent) {
      leave();  // the parent died before the death signal was armed
    }
  }
  // A zeroed kernel sigaction is the default disposition with no flags and no mask, whatever
  // the architecture's layout. Ignored signals would otherwise survive exec.
  static const unsigned long kDefault[8] = {};
  for (int signal = 1; signal < _NSIG; ++signal) {
    if (signal != SIGKILL && signal != SIGSTOP) {
      ::syscall(SYS_rt_sigaction, signal, kDefault, nullptr, _NSIG / 8);
    }
  }
  // Every source is first copied above all targets, so that no target overwrites a source still
  // to be copied; the copies go with the rest of the descriptors.
  for (int target = 0; target < plan.count; ++target) {
    plan.moved[target] = static_cast<int>(
        ::syscall(SYS_fcntl, plan.descriptors[target], F_DUPFD_CLOEXEC, plan.count));
    if (plan.moved[target] < 0) {
      giveUp(plan);
    }
  }
  for (int target = 0; target < plan.count; ++target) {
    if (::syscall(SYS_dup3, plan.moved[target], target, 0) < 0) {
      giveUp(plan);
    }
  }
  if (::syscall(SYS_close_range, plan.count, ~0U, 0) != 0) {
    for (int fd = plan.count; fd <= plan.highestFd; ++fd) {
      ::syscall(SYS_close, fd);  // kernels before 5.9
    }
  }
  static const unsigned long kNone = 0;
  ::syscall(SYS_rt_sigprocmask, SIG_SETMASK, &kNone, nullptr, _NSIG / 8);
  ::syscall(SYS_execve, plan.file, plan.argv, plan.envp);
  giveUp(plan);
}

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    reset();
    fd_ = other.release();
  }
  return *this;
}

int FileDescriptor::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void FileDescriptor::reset() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

std::error_code FileDescriptor::close() {
  // close(2) must not be retried on EINTR on Linux: the descriptor is gone either way.
  const int result = ::close(release());
  return result == 0 ? std::error_code() : lastError();
}

std::error_code lastError() {
  return {errno, std::system_category()};
}

std::error_code writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return lastError();
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

ChildEnd waitOrKill(pid_t pid, std::chrono::milliseconds limit) {
  return waitThenKill(pid, limit, pid);
}

Pipe makePipe(std::error_code& error) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    error = lastError();
    return {};
  }
  error.clear();
  return {FileDescriptor(ends[0]), FileDescriptor(ends[1])};
}

Child::Child(Child&& other) noexcept
    : pid_(other.pid_), ownGroup_(other.ownGroup_), reaped_(other.reaped_), end_(other.end_) {
  other.reaped_ = true;
}

Child& Child::operator=(Child&& other) noexcept {
  if (this != &other) {
    finish(std::chrono::milliseconds(0));
    pid_ = other.pid_;
    ownGroup_ = other.ownGroup_;
    reaped_ = other.reaped_;
    end_ = other.end_;
    other.reaped_ = true;
  }
  return *this;
}

ChildEnd Child::finish(std::chrono::milliseconds limit) {
  if (!reaped_) {
    end_ = waitThenKill(pid_, limit, ownGroup_ ? -pid_ : pid_);
    reaped_ = true;
  }
  return end_;
}

ChildEnd Child::kill() {
  if (!reaped_) {
    ::kill(ownGroup_ ? -pid_ : pid_, SIGKILL);
    end_ = waitThenKill(pid_, std::chrono::milliseconds(0), pid_);
    end_.killed = true;
    reaped_ = true;
  }
  return end_;
}

bool Child::hasEnded() {
  if (reaped_) {
    return true;
  }
  pid_t done;
  do {
    done = ::waitpid(pid_, &end_.status, WNOHANG);
  } while (done < 0 && errno == EINTR);
  end_.failed = done < 0;
  reaped_ = done != 0;  // reaped now, or no longer ours to wait for
  return reaped_;
}

Child spawn(const SpawnOptions& options, std::error_code& error) {
  if (options.argv.empty()) {
    error = std::make_error_code(std::errc::invalid_argument);
    return {};
  }
  const std::string file = resolveProgram(options.argv.front());
  const std::vector<char*> argv = pointers(options.argv);
  const std::vector<char*> environment =
      options.environment ? pointers(*options.environment) : std::vector<char*>();
  std::vector<int> moved(options.descriptors.size());
  struct rlimit limit {};
  ChildPlan plan{options.directory.empty() ? nullptr : options.directory.c_str(),
                 file.c_str(),
                 argv.data(),
                 options.environment ? environment.data() : environ,
                 options.descriptors.data(),
                 moved.data(),
                 static_cast<int>(options.descriptors.size()),
                 ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536
                     ? static_cast<int>(limit.rlim_cur) - 1
                     : 65535,
                 options.ownProcessGroup,
                 options.dieWithParent,
                 ::getpid(),
                 0};

  // The child runs on a stack of its own, sharing this memory until it execs, while this thread
  // waits (vfork's way: nothing is copied, and no lock another thread holds is needed). Signals
  // stay blocked meanwhile, so that none of this process's handlers runs in the child.
  constexpr std::size_t kStackSize = 64 * 1024;
  void* stack = ::mmap(nullptr, kStackSize, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (stack == MAP_FAILED) {
    error = lastError();
    return {};
  }
  sigset_t all;
  sigset_t previous;
  ::sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &previous);
  const pid_t pid = ::clone(becomeProgram, static_cast<char*>(stack) + kStackSize,
                            CLONE_VM | CLONE_VFORK | SIGCHLD, &plan);
  const int cloneError = errno;
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  ::munmap(stack, kStackSize);

  if (pid < 0) {
    error = {cloneError, std::system_category()};
    return {};
  }
  if (plan.error != 0) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {  // it is ending already
    }
    error = {plan.error, std::system_category()};
    return {};
  }
  error.clear();
  return Child(pid, options.ownProcessGroup);
}

}  // namespace quelvar
