// Headless Chromium driven over its DevTools pipe (NUL-terminated JSON each way), its pages, and
// the processes it starts; every wait is bounded by a deadline and woken by events, not timers.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/Posix.hpp"

namespace quelvar::browser {

using Clock = std::chrono::steady_clock;
using nlohmann::json;

// A command that failed, an event or reply that did not come in time, or a page that threw.
struct DevToolsError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Chromium {
 public:
  // Starts the browser in a process group of its own with HOME, the XDG folders and its profile
  // (~/.config/chromium, which must still be named: headless Chromium otherwise runs on a
  // throwaway profile that reads no per-user native messaging manifests) inside `home`; its
  // output, and so the hosts' standard error, goes to `log`. Throws std::runtime_error.
  Chromium(const std::filesystem::path& executable, const std::filesystem::path& home,
           const std::filesystem::path& log);

  // Sends a command (to a target's session when `session` is not empty); the reply's "result".
  json call(std::string_view method, const json& params, Clock::time_point deadline,
            std::string_view session = {});

  // The first event, from those kept while waiting for replies on, that `matches`.
  json awaitEvent(const std::string& what, const std::function<bool(const json&)>& matches,
                  Clock::time_point deadline);

  // Browser.close, as a user closes it; the exit status when it ended by itself before the
  // deadline, else it is killed (with its whole group) and the result is empty.
  std::optional<int> close(Clock::time_point deadline);

 private:
  std::optional<json> read(Clock::time_point deadline);

  Child child_;  // declared first: the pipes close before it is killed and reaped
  FileDescriptor commands_;
  FileDescriptor replies_;
  std::string pending_;
  std::deque<json> events_;
  long long nextId_ = 1;
};

// A tab's page, the extension's popup or its offscreen document, attached to and driven by
// evaluating JavaScript in it.
class PageTarget {
 public:
  PageTarget(Chromium& chromium, const std::string& targetId, Clock::time_point deadline);

  json call(std::string_view method, const json& params, Clock::time_point deadline) {
    return chromium_->call(method, params, deadline, session_);
  }

  // The value of `expression` (awaited when a promise), run as by a user's gesture.
  json evaluate(const std::string& expression, Clock::time_point deadline);

  // Waits until `probe` gives a value that is not null and does not throw, re-evaluating it on
  // every change of the document and of its open shadow roots.
  json waitFor(const std::string& probe, Clock::time_point deadline);

 private:
  Chromium* chromium_;
  std::string session_;
};

struct RunningProcess {
  pid_t pid;
  std::filesystem::path executable;
};

// Waits until no process, whoever started it, runs a program inside `folder`; those still
// running at the deadline (all of them, at once, when the deadline has passed).
std::vector<RunningProcess> waitUntilNoneRunFrom(const std::filesystem::path& folder,
                                                 Clock::time_point deadline);

}  // namespace quelvar::browser
