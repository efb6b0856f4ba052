// Lays out an installation, registers it with BrowserRegistration, starts and ends Chromium.
#include "BrowserFixture.hpp"

#include <gmock/gmock.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <deque>
#include <fstream>
#include <iostream>

#include "BrowserRegistration.hpp"
#include "Processes.hpp"

namespace quelvar::browser {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// With the closing and the checks after it, well inside the 120 seconds CTest allows.
constexpr std::chrono::seconds kTestBudget{75};

// The last lines of Chromium's log (which also holds the hosts' standard error), without the
// complaints about the missing session bus that every start prints.
std::string logTail(const fs::path& log) {
  std::ifstream file(log);
  std::deque<std::string> lines;
  for (std::string line; std::getline(file, line);) {
    if (line.find("dbus") == std::string::npos) {
      lines.push_back(line);
      if (lines.size() > 30) {
        lines.pop_front();
      }
    }
  }
  std::string tail;
  for (const std::string& line : lines) {
    tail += "  | " + line + "\n";
  }
  return tail;
}

std::string millisecondsSince(Clock::time_point start) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  return std::to_string(elapsed.count()) + " ms";
}

bool mentionsSanitizer(const fs::path& log) {
  std::ifstream file(log);
  for (std::string line; std::getline(file, line);) {
    if (line.find("Sanitizer") != std::string::npos ||
        line.find("runtime error:") != std::string::npos) {
      return true;
    }
  }
  return false;
}

}  // namespace

void report(const std::string& line) {
  std::cout << "[ browser  ] " << line << std::endl;
}

fs::path BrowserTest::helpers() const {
  return folder_ / "prefix" / "libexec" / "quelvar";
}

Clock::time_point BrowserTest::within(std::chrono::seconds seconds) const {
  return std::min(Clock::now() + seconds, deadline_);
}

void BrowserTest::SetUp() {
  deadline_ = Clock::now() + kTestBudget;
  const fs::path chromium = QUELVAR_CHROMIUM;
  if (::access(chromium.c_str(), X_OK) != 0) {
    GTEST_SKIP() << "Chromium is not installed at " << chromium
                 << " (Debian package chromium); the browser test needs it";
  }

  std::string pattern = (fs::temp_directory_path() / "quelvar-browser-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << "cannot create a temporary folder";
  // /proc reports executables by their real path, so the folder is compared in that form.
  folder_ = fs::canonical(pattern);

  fs::create_directories(helpers());
  for (const fs::path& host : {fs::path(QUELVAR_HOST_BINARY), fs::path(QUELVAR_SPEECH_BINARY)}) {
    fs::copy_file(host, helpers() / host.filename());
  }

  // A user who has run Chromium: its folder exists, so the registration writes there too.
  // Chromium on Linux reads per-user native messaging manifests from
  // <profile>/NativeMessagingHosts, and its profile is ~/.config/chromium.
  const fs::path home = folder_ / "home";
  const fs::path profile = home / ".config" / "chromium";
  fs::create_directories(profile);
  const BrowserRegistration registration(folder_ / "prefix", home);
  const std::optional<RegistrationFailure> failure = registration.registerExtension(kExtensionID);
  ASSERT_FALSE(failure) << "registration failed: " << failure->description();
  ASSERT_THAT(registration.connectedBrowsers(kExtensionID), testing::Contains("Chromium"));

  const Clock::time_point start = Clock::now();
  chromium_.emplace(ChromiumLaunch{chromium, profile, home, folder_ / "chromium.log"});
  // Discovery reports the targets that exist already as well as every new one.
  devTools().call(
      "Target.setDiscoverTargets",
      {{"discover", true}, {"filter", nlohmann::json::array({nlohmann::json::object()})}},
      within(30s));
  const nlohmann::json loaded =
      devTools().call("Extensions.loadUnpacked", {{"path", QUELVAR_EXTENSION_DIR}}, within(30s));
  ASSERT_EQ(loaded.value("id", ""), kExtensionID)
      << "the extension's key does not give the fixed ID";
  report("Chromium started with the extension in " + millisecondsSince(start));
}

void BrowserTest::expectNoHostRunning(std::chrono::seconds grace, const std::string& when) {
  for (const RunningProcess& left : waitUntilNoneRunFrom(helpers(), Clock::now() + grace)) {
    ADD_FAILURE() << left.executable << " (pid " << left.pid << ") still runs " << when;
    ::kill(left.pid, SIGKILL);
  }
}

void BrowserTest::TearDown() {
  if (folder_.empty()) {
    return;  // skipped before anything was made
  }
  if (chromium_) {
    // Closing must end the browser by itself, well before the deadline; a kill is a failure.
    const Clock::time_point start = Clock::now();
    const std::optional<int> status = chromium_->close(start + 30s);
    report("Chromium closed in " + millisecondsSince(start));
    EXPECT_EQ(status, std::optional<int>(0))
        << "Chromium did not close cleanly after Browser.close";
    chromium_.reset();
  }
  expectNoHostRunning(10s, "after Chromium has exited");
  // The hosts' standard error lands in the log; in a sanitizer build their reports would
  // otherwise go unseen.
  EXPECT_FALSE(mentionsSanitizer(folder_ / "chromium.log")) << "a host's sanitizer report";
  if (HasFailure()) {
    report("Chromium's log, last lines:\n" + logTail(folder_ / "chromium.log"));
    report("kept for inspection: " + folder_.string());
  } else {
    fs::remove_all(folder_);
  }
}

}  // namespace quelvar::browser
