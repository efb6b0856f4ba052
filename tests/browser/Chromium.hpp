// Headless Chromium driven over its DevTools pipe (NUL-terminated JSON each way), its pages, and
// the processes it starts; every wait is bounded by a deadline and woken by events, not timers.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
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

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using nlohmann::json;

// A command that failed, an event or reply that did not come in time, or a page that threw.
struct DevToolsError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Waits until `fd` is readable (for a process descriptor: the process ended); false when the
// deadline passed first.
inline bool waitReadable(int fd, Clock::time_point deadline) {
  pollfd entry{fd, POLLIN, 0};
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const int ready = ::poll(&entry, 1, static_cast<int>(std::clamp<long long>(left, 0, 60'000)));
    if (ready > 0) {
      return true;
    }
    if ((ready == 0 && left <= 0) || (ready < 0 && errno != EINTR)) {
      return false;
    }
  }
}

class Chromium {
 public:
  // Starts the browser in a process group of its own with HOME, the XDG folders and its profile
  // (~/.config/chromium, which must still be named: headless Chromium otherwise runs on a
  // throwaway profile that reads no per-user native messaging manifests) inside `home`; its
  // output, and so the hosts' standard error, goes to `log`.
  Chromium(const fs::path& executable, const fs::path& home, const fs::path& log) {
    std::error_code error;
    Pipe commands = makePipe(error);
    Pipe replies = makePipe(error);
    const FileDescriptor devNull(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    const FileDescriptor output(
        ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (error || !devNull || !output) {
      throw std::runtime_error("no pipe or no " + log.string());
    }
    SpawnOptions options;
    options.argv = {
        "env", "HOME=" + home.string(), "CHROME_CONFIG_HOME=" + (home / ".config").string(),
        "XDG_CONFIG_HOME=" + (home / ".config").string(),
        "XDG_CACHE_HOME=" + (home / ".cache").string(), executable.string(), "--headless=new",
        // The test may run as root, where the sandbox refuses to start.
        "--no-sandbox", "--disable-gpu", "--no-first-run", "--no-default-browser-check",
        // No network here: every background connection would be refused or time out.
        "--disable-background-networking", "--disable-component-update", "--disable-sync",
        "--user-data-dir=" + (home / ".config/chromium").string(),
        // Commands on descriptor 3, replies on 4; Extensions.loadUnpacked and triggerAction.
        "--remote-debugging-pipe", "--enable-unsafe-extension-debugging",
        "--autoplay-policy=no-user-gesture-required", "about:blank"};
    options.descriptors = {devNull.get(), output.get(), output.get(), commands.read.get(),
                           replies.write.get()};
    // A group of its own lets one kill reach every process of the browser; the death signal
    // ends it should the test itself be killed (by CTest's timeout, say).
    options.ownProcessGroup = true;
    options.dieWithParent = true;
    child_ = spawn(options, error);
    if (error) {
      throw std::runtime_error("cannot start " + executable.string() + ": " + error.message());
    }
    // A browser that died must show up as a failed write, not end the test by signal.
    std::signal(SIGPIPE, SIG_IGN);
    commands_ = std::move(commands.write);
    replies_ = std::move(replies.read);
    ::fcntl(replies_.get(), F_SETFL, ::fcntl(replies_.get(), F_GETFL) | O_NONBLOCK);
  }

  // Sends a command (to a target's session when `session` is not empty); the reply's "result".
  json call(std::string_view method, const json& params, Clock::time_point deadline,
            std::string_view session = {}) {
    const long long id = nextId_++;
    json command = {{"id", id}, {"method", method}, {"params", params}};
    if (!session.empty()) {
      command["sessionId"] = session;
    }
    if (const std::error_code error = writeAll(commands_.get(), command.dump() + '\0')) {
      throw DevToolsError(std::string(method) + ": " + error.message());
    }
    for (;;) {
      json message = read(deadline, method);
      if (!message.contains("id")) {
        events_.push_back(std::move(message));
      } else if (message["id"] == id) {  // not the late reply of a command that timed out
        if (message.contains("error")) {
          throw DevToolsError(std::string(method) + ": " + message["error"].dump());
        }
        return message.value("result", json::object());
      }
    }
  }

  // The "params" of the first event, from those kept while waiting for replies on, that `matches`.
  json awaitEvent(const std::string& what, const std::function<bool(const json&)>& matches,
                  Clock::time_point deadline) {
    for (;;) {
      while (events_.empty()) {
        if (json message = read(deadline, what); !message.contains("id")) {
          events_.push_back(std::move(message));
        }
      }
      const json event = std::move(events_.front());
      events_.pop_front();
      if (matches(event)) {
        return event.value("params", json::object());
      }
    }
  }

  // Browser.close, as a user closes it; the exit status when it ended by itself before the
  // deadline, else it is killed (with its whole group) and the result is empty.
  std::optional<int> close(Clock::time_point deadline) {
    try {
      call("Browser.close", json::object(), deadline);
    } catch (const DevToolsError&) {
      // The browser may close the pipe before its reply leaves; its exit is what counts.
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    const ChildEnd end = child_.finish(std::max(left, std::chrono::milliseconds(0)));
    if (end.killed || end.failed || !WIFEXITED(end.status)) {
      return std::nullopt;
    }
    return WEXITSTATUS(end.status);
  }

 private:
  json read(Clock::time_point deadline, std::string_view what) {
    for (;;) {
      if (const std::size_t end = pending_.find('\0'); end != std::string::npos) {
        json message = json::parse(pending_.substr(0, end), nullptr, /*allow_exceptions=*/false);
        pending_.erase(0, end + 1);
        if (!message.is_object()) {
          throw DevToolsError("the browser sent a message that is not a JSON object");
        }
        return message;
      }
      char buffer[65536];
      const ssize_t count = ::read(replies_.get(), buffer, sizeof buffer);
      if (count > 0) {
        pending_.append(buffer, static_cast<std::size_t>(count));
      } else if (count == 0 || (errno != EINTR && errno != EAGAIN) ||
                 (errno == EAGAIN && !waitReadable(replies_.get(), deadline))) {
        throw DevToolsError(std::string(what) + ": nothing in time or the browser went away");
      }
    }
  }

  Child child_;  // declared first: the pipes close before it is killed and reaped
  FileDescriptor commands_;
  FileDescriptor replies_;
  std::string pending_;
  std::deque<json> events_;
  long long nextId_ = 1;
};

// A tab's page, the extension's popup or its offscreen document, driven by evaluating JavaScript.
class PageTarget {
 public:
  PageTarget(Chromium& chromium, const std::string& targetId, Clock::time_point deadline)
      : chromium_(&chromium),
        session_(chromium
                     .call("Target.attachToTarget", {{"targetId", targetId}, {"flatten", true}},
                           deadline)
                     .value("sessionId", "")) {}

  json call(std::string_view method, const json& params, Clock::time_point deadline) {
    return chromium_->call(method, params, deadline, session_);
  }

  // The value of `expression` (awaited when a promise), run as by a user's gesture.
  json evaluate(const std::string& expression, Clock::time_point deadline) {
    const json reply = call("Runtime.evaluate",
                            {{"expression", expression},
                             {"awaitPromise", true},
                             {"returnByValue", true},
                             {"userGesture", true}},
                            deadline);
    if (reply.contains("exceptionDetails")) {
      throw DevToolsError("the page threw: " + reply["exceptionDetails"].dump());
    }
    return reply.value("result", json::object()).value("value", json());
  }

  // Waits until `probe` gives a value that is not null and does not throw (a target is reported
  // before its document has been parsed). A mutation observer on the document and every open
  // shadow root re-evaluates it, and so does a media element's "ended" event, which changes no
  // node: the page wakes the check, never a timer.
  json waitFor(const std::string& probe, Clock::time_point deadline) {
    return evaluate(R"JS(new Promise((resolve) => {
      const watched = new Set();
      const observer = new MutationObserver(() => check());
      const watch = (node) => node && !watched.has(node) && watched.add(node) && observer.observe(
          node, {subtree: true, childList: true, characterData: true, attributes: true});
      const check = () => {
        document.querySelectorAll('*').forEach((element) => watch(element.shadowRoot));
        let value = null;
        try { value = ()JS" +
                        probe + R"JS(); } catch (notYet) {}
        if (value !== null && value !== undefined) {
          observer.disconnect();
          document.removeEventListener('ended', check, true);
          resolve(value);
        }
      };
      watch(document);
      document.addEventListener('ended', check, true);
      check();
    }))JS",
                    deadline);
  }

 private:
  Chromium* chromium_;
  std::string session_;
};

// The processes, whoever started them, that run a program inside `folder` (a zombie has no
// executable any more).
inline std::vector<pid_t> processesRunningFrom(const fs::path& folder) {
  std::vector<pid_t> found;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    pid_t pid = 0;
    const auto [end, parseError] = std::from_chars(name.data(), name.data() + name.size(), pid);
    const fs::path executable = fs::read_symlink(entry.path() / "exe", error);
    if (parseError == std::errc() && end == name.data() + name.size() && !error &&
        std::mismatch(folder.begin(), folder.end(), executable.begin(), executable.end()).first ==
            folder.end()) {
      found.push_back(pid);
    }
  }
  return found;
}

// Waits until no process runs a program inside `folder`; those still running at the deadline.
inline std::vector<pid_t> waitUntilNoneRunFrom(const fs::path& folder, Clock::time_point deadline) {
  for (const pid_t pid : processesRunningFrom(folder)) {
    // Through syscall: glibc 2.36 declares pidfd_open without C linkage for C++.
    const FileDescriptor ended(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (ended) {
      waitReadable(ended.get(), deadline);
    }
  }
  return processesRunningFrom(folder);
}

}  // namespace quelvar::browser
