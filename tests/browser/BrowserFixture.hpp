// A fresh installation, registration and headless Chromium with Quelvar's extension, per test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "ChromiumProcess.hpp"

namespace quelvar::browser {

// Fixed by the public key in the extension's manifest: the first 32 hex digits of the SHA-256
// of that key (DER), each digit 0-f written as a letter a-p.
inline constexpr const char* kExtensionID = "ghmabdajkcchlhdfnkkdeempkjedbihi";

// Each test gets an installation prefix holding copies of both hosts (so that any process
// started from it is known to be this test's), a home folder in which BrowserRegistration
// writes the manifests, and a Chromium whose profile lies in that home folder, with the
// extension loaded unpacked from the source tree and target discovery on.
class BrowserTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  DevToolsPipe& devTools() { return chromium_->devTools(); }
  const std::filesystem::path& folder() const { return folder_; }
  // Where the hosts run from: <prefix>/libexec/quelvar.
  std::filesystem::path helpers() const;

  // A deadline `seconds` from now, but never after the test's own deadline.
  Clock::time_point within(std::chrono::seconds seconds) const;

  // Checks that no host process from this installation is left; kills any that is.
  void expectNoHostRunning(std::chrono::seconds grace, const std::string& when);

 private:
  Clock::time_point deadline_;
  std::filesystem::path folder_;
  std::optional<ChromiumProcess> chromium_;
};

// One line of the test's report, so that the log shows which path each check took.
void report(const std::string& line);

}  // namespace quelvar::browser
