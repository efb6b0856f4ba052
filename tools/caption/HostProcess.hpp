// The speech host as a child process, started the way Chrome starts a native messaging host.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <variant>

#include <nlohmann/json.hpp>

#include "common/Posix.hpp"

namespace quelvar::caption {

// How a child process ended.
struct ExitStatus {
  bool exited = false;  // false: ended by a signal
  int code = 0;         // the exit status, or the signal number
  bool killed = false;  // this client had to kill it because it did not end by itself

  bool clean() const { return exited && code == 0 && !killed; }
  std::string describe() const;
};

class HostProcess {
 public:
  // Starts `path` with `origin` as its only argument, stdin and stdout on pipes, stderr shared,
  // in a process group of its own (so a Ctrl-C at the terminal reaches only this client, which
  // then ends the session in order). Returns an error text when it cannot be started.
  static std::variant<std::unique_ptr<HostProcess>, std::string> start(const std::string& path,
                                                                       const std::string& origin);

  // A host still running is given its end of input, a moment to end, then killed; always reaped.
  ~HostProcess();
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  // Writes one message; false once the host is gone or no longer reads.
  bool send(const nlohmann::json& message);

  struct Received {
    enum class Kind { message, timeout, interrupted, ended, broken };
    Kind kind;
    nlohmann::json message;
  };
  // The next message, waiting at most `timeout`. interrupted: a signal arrived while waiting.
  // ended: the host closed its output on a frame boundary; broken: anything that is not a frame
  // holding a JSON object.
  Received receive(std::chrono::milliseconds timeout);

  // Gives the host its end of input, as Chrome does when the extension disconnects.
  void closeInput();

  // Closes the input, waits up to `timeout` for the host to end, kills it if it does not, and
  // reaps it.
  ExitStatus finish(std::chrono::milliseconds timeout);

 private:
  HostProcess(Child child, FileDescriptor input, FileDescriptor output)
      : child_(std::move(child)), input_(std::move(input)), output_(std::move(output)) {}

  Child child_;
  FileDescriptor input_;
  FileDescriptor output_;
};

}  // namespace quelvar::caption
