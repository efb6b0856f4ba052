// The few POSIX pieces every part needs: a descriptor that closes itself, and writes that finish.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string_view>
#include <system_error>

namespace quelvar {

// Owns one file descriptor and closes it when it goes.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  ~FileDescriptor() { reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int release();
  void reset();
  // Closes now and says whether the close succeeded: on some file systems that is where a failed
  // write shows.
  std::error_code close();

 private:
  int fd_ = -1;
};

// errno as an error code.
std::error_code lastError();

// Writes every byte, going on after short writes and interrupted calls.
std::error_code writeAll(int fd, std::string_view bytes);

// How a child process ended: `status` as waitpid reports it; `killed` when it was still running
// at the end of the wait; `failed` when it could not be waited for (then `status` means nothing).
struct ChildEnd {
  int status = 0;
  bool killed = false;
  bool failed = false;
};

// Waits up to `limit` for the child to end, then kills it; either way the child is reaped.
ChildEnd waitOrKill(pid_t pid, std::chrono::milliseconds limit);

}  // namespace quelvar
