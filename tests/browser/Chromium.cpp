// Chromium's process and DevTools pipe, page targets, and process scanning through /proc.
#include "Chromium.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>

namespace quelvar::browser {
namespace fs = std::filesystem;
namespace {

// Resolves once PROBE is not null; a mutation observer watches the document and every open
// shadow root that appears, so the page wakes the check, never a timer. A probe that throws
// counts as not yet: a target is reported before its document has been parsed. A media element
// ending changes no node, so its "ended" event (caught on its way down) wakes the check too:
// otherwise a probe on `ended` that the last mutation came before would wait forever.
constexpr const char* kWaitFor = R"JS(new Promise((resolve) => {
  const watched = new Set();
  const observer = new MutationObserver(() => check());
  const watch = (node) => node && !watched.has(node) && watched.add(node) && observer.observe(
      node, {subtree: true, childList: true, characterData: true, attributes: true});
  const check = () => {
    document.querySelectorAll('*').forEach((element) => watch(element.shadowRoot));
    let value = null;
    try { value = (() => PROBE)(); } catch (notYet) {}
    if (value !== null && value !== undefined) {
      observer.disconnect();
      document.removeEventListener('ended', check, true);
      resolve(value);
    }
  };
  watch(document);
  document.addEventListener('ended', check, true);
  check();
}))JS";

// Waits until `fd` is readable (for a process descriptor: the process ended); false when the
// deadline passed first.
bool waitReadable(int fd, Clock::time_point deadline) {
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

Pipe pipeOrThrow() {
  std::error_code error;
  Pipe pipe = makePipe(error);
  if (error) {
    throw std::runtime_error("pipe failed: " + error.message());
  }
  return pipe;
}

bool inside(const fs::path& file, const fs::path& folder) {
  return std::mismatch(folder.begin(), folder.end(), file.begin(), file.end()).first ==
         folder.end();
}

std::vector<RunningProcess> processesRunningFrom(const fs::path& folder) {
  std::vector<RunningProcess> found;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    pid_t pid = 0;
    const auto [end, parseError] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (parseError != std::errc() || end != name.data() + name.size()) {
      continue;
    }
    // A zombie has no executable any more.
    fs::path executable = fs::read_symlink(entry.path() / "exe", error);
    if (!error && inside(executable, folder)) {
      found.push_back({pid, std::move(executable)});
    }
  }
  return found;
}

}  // namespace

Chromium::Chromium(const fs::path& executable, const fs::path& home, const fs::path& log) {
  Pipe commands = pipeOrThrow();
  Pipe replies = pipeOrThrow();
  const FileDescriptor devNull(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  const FileDescriptor output(::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!devNull || !output) {
    throw std::runtime_error("cannot open " + log.string() + ": " + lastError().message());
  }
  SpawnOptions options;
  // HOME and the XDG folders decide where the browser keeps its files.
  options.argv = {
      "env", "HOME=" + home.string(), "CHROME_CONFIG_HOME=" + (home / ".config").string(),
      "XDG_CONFIG_HOME=" + (home / ".config").string(),
      "XDG_CACHE_HOME=" + (home / ".cache").string(), executable.string(), "--headless=new",
      // The test may run as root, where the sandbox refuses to start.
      "--no-sandbox", "--disable-gpu", "--no-first-run", "--no-default-browser-check",
      // No network here: every background connection would be refused or time out.
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      "--disable-quic", "--user-data-dir=" + (home / ".config/chromium").string(),
      // Commands on descriptor 3, replies on 4.
      "--remote-debugging-pipe",
      // Lets Extensions.loadUnpacked and Extensions.triggerAction work.
      "--enable-unsafe-extension-debugging",
      // The test page plays its speech without a click on it.
      "--autoplay-policy=no-user-gesture-required", "about:blank"};
  options.descriptors = {devNull.get(), output.get(), output.get(), commands.read.get(),
                         replies.write.get()};
  // A group of its own lets one kill reach every process of the browser; the death signal ends
  // it should the test itself be killed (by CTest's timeout, say).
  options.ownProcessGroup = true;
  options.dieWithParent = true;
  std::error_code error;
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

json Chromium::call(std::string_view method, const json& params, Clock::time_point deadline,
                    std::string_view session) {
  const long long id = nextId_++;
  json command = {{"id", id}, {"method", method}, {"params", params}};
  if (!session.empty()) {
    command["sessionId"] = session;
  }
  if (const std::error_code error = writeAll(commands_.get(), command.dump() + '\0')) {
    throw DevToolsError(std::string(method) + ": " + error.message());
  }
  for (;;) {
    std::optional<json> message = read(deadline);
    if (!message) {
      throw DevToolsError(std::string(method) + ": no reply in time or the browser went away");
    }
    if (!message->contains("id")) {
      events_.push_back(std::move(*message));
    } else if ((*message)["id"] == id) {  // not the late reply of a command that timed out
      if (message->contains("error")) {
        throw DevToolsError(std::string(method) + ": " + (*message)["error"].dump());
      }
      return message->value("result", json::object());
    }
  }
}

json Chromium::awaitEvent(const std::string& what, const std::function<bool(const json&)>& matches,
                          Clock::time_point deadline) {
  for (;;) {
    while (events_.empty()) {
      std::optional<json> message = read(deadline);
      if (!message) {
        throw DevToolsError("no " + what + " in time");
      }
      if (!message->contains("id")) {
        events_.push_back(std::move(*message));
      }
    }
    const json event = std::move(events_.front());
    events_.pop_front();
    if (matches(event)) {
      return event.value("params", json::object());
    }
  }
}

std::optional<json> Chromium::read(Clock::time_point deadline) {
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
      return std::nullopt;
    }
  }
}

std::optional<int> Chromium::close(Clock::time_point deadline) {
  try {
    call("Browser.close", json::object(), deadline);
  } catch (const DevToolsError&) {
    // The browser may close the pipe before its reply leaves; its exit is what counts.
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  const ChildEnd end = child_.finish(std::max(left, std::chrono::milliseconds(0)));
  if (end.killed || end.failed) {
    return std::nullopt;
  }
  return WIFEXITED(end.status) ? WEXITSTATUS(end.status) : 128 + WTERMSIG(end.status);
}

PageTarget::PageTarget(Chromium& chromium, const std::string& targetId, Clock::time_point deadline)
    : chromium_(&chromium),
      session_(
          chromium
              .call("Target.attachToTarget", {{"targetId", targetId}, {"flatten", true}}, deadline)
              .value("sessionId", "")) {}

json PageTarget::evaluate(const std::string& expression, Clock::time_point deadline) {
  const json reply = call("Runtime.evaluate",
                          {{"expression", expression},
                           {"awaitPromise", true},
                           {"returnByValue", true},
                           {"userGesture", true}},
                          deadline);
  if (reply.contains("exceptionDetails")) {
    const json& details = reply["exceptionDetails"];
    throw DevToolsError("the page threw: " + details.value("exception", json::object())
                                                 .value("description", details.value("text", "?")));
  }
  return reply.value("result", json::object()).value("value", json());
}

json PageTarget::waitFor(const std::string& probe, Clock::time_point deadline) {
  std::string script = kWaitFor;
  script.replace(script.find("PROBE"), 5, "(" + probe + ")");
  return evaluate(script, deadline);
}

std::vector<RunningProcess> waitUntilNoneRunFrom(const fs::path& folder,
                                                 Clock::time_point deadline) {
  for (const RunningProcess& process : processesRunningFrom(folder)) {
    // Through syscall: glibc 2.36 declares pidfd_open without C linkage for C++.
    const FileDescriptor ended(static_cast<int>(::syscall(SYS_pidfd_open, process.pid, 0)));
    if (ended) {
      waitReadable(ended.get(), deadline);
    }
  }
  return processesRunningFrom(folder);
}

}  // namespace quelvar::browser
