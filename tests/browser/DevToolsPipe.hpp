// The DevTools protocol over Chromium's --remote-debugging-pipe: NUL-terminated JSON each way.
#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace quelvar::browser {

using Clock = std::chrono::steady_clock;

// A command that failed, timed out, or found the pipe closed.
struct DevToolsError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Waits until `fd` is ready for `events`; false when the deadline passed first.
bool waitReady(int fd, short events, Clock::time_point deadline);

class DevToolsPipe {
 public:
  // Takes ownership of both descriptors: `commands` is written, `replies` is read.
  DevToolsPipe(int commands, int replies);
  ~DevToolsPipe();
  DevToolsPipe(const DevToolsPipe&) = delete;
  DevToolsPipe& operator=(const DevToolsPipe&) = delete;

  // Sends one command (to a target's session when `session` is not empty) and returns the
  // "result" of its reply. Events that arrive meanwhile are kept for nextEvent.
  nlohmann::json call(std::string_view method, const nlohmann::json& params,
                      Clock::time_point deadline, std::string_view session = {});

  // The oldest event not yet taken, waiting for one until the deadline; nullopt when none came
  // or the pipe closed.
  std::optional<nlohmann::json> nextEvent(Clock::time_point deadline);

  // Closes the command pipe: Chromium takes that as the end of the session.
  void closeCommands();

 private:
  void write(const std::string& bytes, Clock::time_point deadline);
  std::optional<nlohmann::json> read(Clock::time_point deadline);

  int commands_;
  int replies_;
  std::string pending_;
  std::deque<nlohmann::json> events_;
  long long nextId_ = 1;
};

}  // namespace quelvar::browser
