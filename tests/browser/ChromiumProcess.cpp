// Starts headless Chromium with its DevTools pipe on descriptors 3 and 4, and ends it.
#include "ChromiumProcess.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "Processes.hpp"

extern char** environ;

namespace quelvar::browser {
namespace {

Pipe pipeOrThrow() {
  std::error_code error;
  Pipe pipe = makePipe(error);
  if (error) {
    throw std::runtime_error("pipe failed: " + error.message());
  }
  return pipe;
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
  Pipe commands = pipeOrThrow();
  Pipe replies = pipeOrThrow();
  const FileDescriptor devNull(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  const FileDescriptor log(
      ::open(launch.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!devNull || !log) {
    throw std::runtime_error("cannot open " + launch.log.string() +
                             " or /dev/null: " + lastError().message());
  }
  SpawnOptions options;
  options.argv = std::move(arguments);
  options.environment = browserEnvironment(launch.home);
  // Chromium reads commands from descriptor 3 and writes replies to descriptor 4.
  options.descriptors = {devNull.get(), log.get(), log.get(), commands.read.get(),
                         replies.write.get()};
  // A group of its own lets a failed test kill every process of the browser at once; the death
  // signal ends the browser should the test itself be killed (by CTest's timeout, say) before
  // it could clean up.
  options.ownProcessGroup = true;
  options.dieWithParent = true;
  std::error_code error;
  child_ = spawn(options, error);
  if (error) {
    throw std::runtime_error("cannot start " + launch.executable.string() + ": " + error.message());
  }
  devTools_ = std::make_unique<DevToolsPipe>(commands.write.release(), replies.read.release());
}

ChromiumProcess::~ChromiumProcess() {
  child_.kill();
}

std::optional<int> ChromiumProcess::close(Clock::time_point deadline) {
  try {
    devTools_->call("Browser.close", nlohmann::json::object(), deadline);
  } catch (const DevToolsError&) {
    // The browser may close the pipe before its reply leaves; its exit is what counts.
  }
  std::optional<int> status = waitForExit(deadline);
  if (!status) {
    child_.kill();
  }
  return status;
}

std::optional<int> ChromiumProcess::waitForExit(Clock::time_point deadline) {
  if (!waitUntilEnded(child_.pid(), deadline)) {
    return std::nullopt;
  }
  const int status = child_.finish(std::chrono::milliseconds(0)).status;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace quelvar::browser
