// Starts headless Chromium with its DevTools pipe on descriptors 3 and 4, and ends it.
#include "ChromiumProcess.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "Processes.hpp"

extern char** environ;

namespace quelvar::browser {
namespace {

// Chromium reads commands from descriptor 3 and writes replies to descriptor 4.
constexpr int kCommandsFd = 3;
constexpr int kRepliesFd = 4;

// Both ends of a pipe, moved above the descriptors the child's are copied to, so that dup2
// never meets an end already sitting there (it would keep close-on-exec set).
std::array<int, 2> highPipe() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("pipe failed: ") + std::strerror(errno));
  }
  std::array<int, 2> high{};
  for (int i = 0; i < 2; ++i) {
    high[i] = ::fcntl(ends[i], F_DUPFD_CLOEXEC, 10);
    ::close(ends[i]);
  }
  return high;
}

// Our environment, with the variables that decide where the browser keeps its files replaced.
std::vector<std::string> browserEnvironment(const std::filesystem::path& home) {
  const std::vector<std::pair<std::string, std::string>> replaced{
      {"HOME", home.string()},
      {"CHROME_CONFIG_HOME", (home / ".config").string()},
      {"XDG_CONFIG_HOME", (home / ".config").string()},
      {"XDG_CACHE_HOME", (home / ".cache").string()},
  };
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable = *entry;
    const std::string name = variable.substr(0, variable.find('='));
    if (std::none_of(replaced.begin(), replaced.end(),
                     [&](const auto& pair) { return pair.first == name; })) {
      variables.push_back(variable);
    }
  }
  for (const auto& [name, value] : replaced) {
    variables.push_back(name + "=" + value);
  }
  return variables;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (std::string& text : strings) {
    result.push_back(text.data());
  }
  result.push_back(nullptr);
  return result;
}

}  // namespace

ChromiumProcess::ChromiumProcess(const ChromiumLaunch& launch) {
  std::vector<std::string> arguments{
      launch.executable.string(),
      "--headless=new",
      // The test may run as root, where the sandbox refuses to start.
      "--no-sandbox",
      "--disable-gpu",
      "--no-first-run",
      "--no-default-browser-check",
      // No network here: every background connection would be refused or time out.
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
      "--disable-quic",
      "--user-data-dir=" + launch.userDataDir.string(),
      "--remote-debugging-pipe",
      // Lets Extensions.loadUnpacked install the extension and Extensions.triggerAction press
      // its toolbar button.
      "--enable-unsafe-extension-debugging",
      // The test page plays its speech without a click on it.
      "--autoplay-policy=no-user-gesture-required",
      "about:blank",
  };
  std::vector<std::string> environment = browserEnvironment(launch.home);

  const std::array<int, 2> commands = highPipe();
  const std::array<int, 2> replies = highPipe();

  const int log = ::open(launch.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  // Tells the parent why exec failed; closed by a successful exec.
  const std::array<int, 2> failure = highPipe();
  std::vector<char*> argv = pointers(arguments);
  std::vector<char*> envp = pointers(environment);
  const pid_t parent = ::getpid();

  pid_ = ::fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls from here to exec. A group of its own lets a failed test kill
    // every process of the browser at once; the death signal ends the browser should the test
    // itself be killed (by CTest's timeout, say) before it could clean up.
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) {
      ::_exit(127);
    }
    const int devNull = ::open("/dev/null", O_RDONLY);
    ::dup2(devNull, 0);
    ::dup2(log, 1);
    ::dup2(log, 2);
    ::dup2(commands[0], kCommandsFd);
    ::dup2(replies[1], kRepliesFd);
    ::signal(SIGPIPE, SIG_DFL);  // this process ignores it, and exec would keep that
    ::execve(argv[0], argv.data(), envp.data());
    const int error = errno;
    [[maybe_unused]] const ssize_t ignored = ::write(failure[1], &error, sizeof error);
    ::_exit(127);
  }
  const int forkError = errno;
  ::close(failure[1]);
  ::close(commands[0]);
  ::close(replies[1]);
  if (log >= 0) {
    ::close(log);
  }
  int execError = 0;
  if (pid_ < 0) {
    execError = forkError;
  } else if (::read(failure[0], &execError, sizeof execError) > 0) {
    ::waitpid(pid_, nullptr, 0);
  }
  ::close(failure[0]);
  if (pid_ < 0 || execError != 0) {
    ::close(commands[1]);
    ::close(replies[0]);
    pid_ = -1;
    throw std::runtime_error("cannot start " + launch.executable.string() + ": " +
                             std::strerror(execError));
  }
  devTools_ = std::make_unique<DevToolsPipe>(commands[1], replies[0]);
}

ChromiumProcess::~ChromiumProcess() {
  if (pid_ > 0) {
    kill();
  }
}

std::optional<int> ChromiumProcess::close(Clock::time_point deadline) {
  try {
    devTools_->call("Browser.close", nlohmann::json::object(), deadline);
  } catch (const DevToolsError&) {
    // The browser may close the pipe before its reply leaves; its exit is what counts.
  }
  std::optional<int> status = waitForExit(deadline);
  if (!status) {
    kill();
  }
  return status;
}

std::optional<int> ChromiumProcess::waitForExit(Clock::time_point deadline) {
  if (pid_ <= 0 || !waitUntilEnded(pid_, deadline)) {
    return std::nullopt;
  }
  const int status = reap();
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void ChromiumProcess::kill() {
  ::kill(-pid_, SIGKILL);
  reap();
}

int ChromiumProcess::reap() {
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return status;
}

}  // namespace quelvar::browser
