// Starting a program as a child process that dies with its parent, and ending it again.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/PlatformError.hpp"

namespace quelvar::apertium {

// A file descriptor that closes itself.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  int release();
  void reset();

 private:
  int fd_ = -1;
};

// A pipe whose two ends are closed on exec.
struct Pipe {
  UniqueFd read;
  UniqueFd write;
};
Expected<Pipe> makePipe();

// Starts argv[0] (searched in PATH unless it has a slash) with the given descriptors as its
// standard input, output and error. Every other descriptor stays behind, and the child is killed
// when this process dies, however it dies. The kernel ties that to the calling thread, so call
// this from a thread that lives as long as the process (the hosts' main thread). Fails when the
// program cannot be executed.
Expected<pid_t> spawnProcess(const std::vector<std::string>& argv, int in, int out, int err);

// Kills the child (unless it has already ended) and waits for it, so that nothing is left.
void killAndReap(pid_t pid);

// True once the child has ended; it is reaped then.
bool hasEnded(pid_t pid);

}  // namespace quelvar::apertium
