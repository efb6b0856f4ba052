// Starting a program as a child process that dies with its parent, and ending it again.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "common/Posix.hpp"
#include "platform/PlatformError.hpp"

namespace quelvar::apertium {

using UniqueFd = FileDescriptor;

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
