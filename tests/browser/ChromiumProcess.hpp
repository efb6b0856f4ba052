// One headless Chromium, driven over its DevTools pipe, always ended and reaped.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "DevToolsPipe.hpp"
#include "common/Posix.hpp"

namespace quelvar::browser {

struct ChromiumLaunch {
  std::filesystem::path executable;
  // The profile; Chromium looks for per-user native messaging hosts in its NativeMessagingHosts.
  // Its usual place, ~/.config/chromium, must still be given: headless Chromium otherwise runs
  // on a throwaway profile (where Extensions.triggerAction also crashes it).
  std::filesystem::path userDataDir;
  // HOME for the browser and everything it starts; its .config and .cache stay inside.
  std::filesystem::path home;
  // Receives the browser's standard output and error, and so the hosts' standard error.
  std::filesystem::path log;
};

class ChromiumProcess {
 public:
  // Starts the browser in a process group of its own; throws std::runtime_error on failure.
  explicit ChromiumProcess(const ChromiumLaunch& launch);
  // Kills the whole process group if the browser still runs, and reaps it.
  ~ChromiumProcess();
  ChromiumProcess(const ChromiumProcess&) = delete;
  ChromiumProcess& operator=(const ChromiumProcess&) = delete;

  DevToolsPipe& devTools() { return *devTools_; }

  // Asks the browser to close as a user would and waits for it to end. The exit status when it
  // ended by itself before the deadline; otherwise it is killed and the result is empty.
  std::optional<int> close(Clock::time_point deadline);

 private:
  std::optional<int> waitForExit(Clock::time_point deadline);

  Child child_;
  std::unique_ptr<DevToolsPipe> devTools_;
};

}  // namespace quelvar::browser
