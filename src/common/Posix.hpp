// The few POSIX pieces every part needs: a descriptor that closes itself, writes that finish,
// and child processes that start clean and are always reaped.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

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

// A pipe whose two ends close on exec (a child gets an end only by naming it in its descriptors).
struct Pipe {
  FileDescriptor read;
  FileDescriptor write;
};
Pipe makePipe(std::error_code& error);

// How to start a child process. Whatever is not said here starts clean: every signal at its
// default disposition, an empty signal mask, no descriptor but those listed.
struct SpawnOptions {
  // argv[0] names the program, searched in PATH unless it holds a slash.
  std::vector<std::string> argv;
  // "NAME=value" entries; this process's own environment when not given.
  std::optional<std::vector<std::string>> environment;
  // Entry i becomes the child's descriptor i: standard input, output and error first.
  std::vector<int> descriptors{STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO};
  // Where it starts; this process's working directory when empty.
  std::string directory;
  // A process group of its own: a terminal's Ctrl-C does not reach it, and a kill reaches the
  // whole group.
  bool ownProcessGroup = false;
  // Killed when the thread that started it ends (the kernel ties this to the thread, not the
  // process), however it ends: start such children from a thread that lives as long as the
  // process.
  bool dieWithParent = false;
};

// A started child process. It is reaped before it goes: a child still running then is killed
// first (with its whole group when it has one of its own).
class Child {
 public:
  Child() = default;
  Child(Child&& other) noexcept;
  Child& operator=(Child&& other) noexcept;
  ~Child() { finish(std::chrono::milliseconds(0)); }

  // Stays the child's id after it is reaped.
  pid_t pid() const { return pid_; }

  // Waits up to `limit` for the child to end, then kills it; either way it is reaped. Once it
  // is, the same end again.
  ChildEnd finish(std::chrono::milliseconds limit);

  // Kills it now (with its group), even when it has just ended on its own, and reaps it.
  ChildEnd kill();

  // True once the child has ended; it is reaped then.
  bool hasEnded();

 private:
  friend Child spawn(const SpawnOptions& options, std::error_code& error);
  Child(pid_t pid, bool ownGroup) : pid_(pid), ownGroup_(ownGroup), reaped_(false) {}

  pid_t pid_ = -1;
  bool ownGroup_ = false;
  bool reaped_ = true;
  ChildEnd end_;
};

// Starts a child process. A program that cannot be executed is reported here, in `error`, and
// leaves no child behind (an empty Child, pid -1).
Child spawn(const SpawnOptions& options, std::error_code& error);

}  // namespace quelvar
