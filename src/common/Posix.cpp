// The few POSIX pieces every part needs: a descriptor that closes itself, and writes that finish.
#include "common/Posix.hpp"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace quelvar {

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
  const auto deadline = std::chrono::steady_clock::now() + limit;
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
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &end.status, 0) < 0 && errno == EINTR) {
      }
      end.killed = true;
      return end;
    }
    // Polled rather than waited on a signal: the caller may be any thread of a process whose
    // other children must not be reaped here.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace quelvar
