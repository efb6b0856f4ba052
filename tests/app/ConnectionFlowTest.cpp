// The window's decisions against real manifests in a temporary home: notices, settings, status.
#include "CaptionTestSupport.hpp"
#include "ConnectionFlow.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

namespace quelvar {

using caption::testing::TempDir;

void PrintTo(const Outcome& outcome, std::ostream* out) {
  *out << (outcome.notice ? (outcome.notice->error ? "error: " : "notice: ") + outcome.notice->text
                          : "no notice")
       << " | id " << outcome.settings.chromeExtensionID.value_or("-") << " | disabled "
       << (outcome.settings.automaticConnectionDisabled
               ? (*outcome.settings.automaticConnectionDisabled ? "true" : "false")
               : "-");
}

namespace {

namespace fs = std::filesystem;

const std::string idA = "abcdefghijklmnopabcdefghijklmnop";
const std::string ready =
    "You’re ready. You can quit this app. Translation works from Chrome, including after "
    "restarting your computer. Open the extension on a video tab to start.";
const std::string removed =
    "Browser registration removed. Stop any current translation in the extension.";
const std::string invalidID =
    "Enter the 32-letter extension ID shown in Chrome's extension details.";

Outcome refusal(const std::string& text) {
  return {Notice{text, true}, {}};
}

enum class Place { installed, downloads, installedWithoutHelpers };

class ConnectionFlowTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::canonical(folder_.path());
    home_ = root_ / "home";
  }

  BrowserRegistration registrationAt(Place place) {
    const fs::path prefix =
        place == Place::downloads ? home_ / "Downloads/quelvar" : home_ / ".local";
    fs::create_directories(prefix / "libexec/quelvar");
    if (place != Place::installedWithoutHelpers) {
      for (const auto& [name, executable] : BrowserRegistration::hosts()) {
        const fs::path helper = prefix / "libexec/quelvar" / executable;
        std::ofstream(helper) << "#!/bin/sh\n";
        fs::permissions(helper, fs::perms::owner_all);
      }
    }
    return BrowserRegistration(prefix, home_);
  }

  ino_t inode(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
  }

  TempDir folder_;
  fs::path root_;
  fs::path home_;
};

TEST_F(ConnectionFlowTest, connectByHandShowsANoticeAndStoresSettingsOnlyOnSuccess) {
  const std::vector<std::tuple<Place, std::string, Outcome>> cases = {
      {Place::downloads, idA,
       refusal("Install Quel & Co, open the installed copy, then connect the extension.")},
      {Place::installed, "", refusal(invalidID)},
      {Place::installed, idA + " ", refusal(invalidID)},
      {Place::installedWithoutHelpers, idA,
       refusal("This app is missing its translation helpers. Download a complete app build.")},
      {Place::installed, idA, {Notice{ready, false}, {idA, false}}},
  };
  for (const auto& [place, id, expected] : cases) {
    fs::remove_all(home_);
    const BrowserRegistration registration = registrationAt(place);
    const ConnectionFlow flow(registration, "Quel & Co");
    EXPECT_EQ(flow.connect(id), expected) << id;
    EXPECT_EQ(flow.status(id).configured, !expected.notice->error);
  }
}

TEST_F(ConnectionFlowTest, theAutomaticConnectionWritesOnlyWhereABrowserLacksTheManifests) {
  const BrowserRegistration registration = registrationAt(Place::installed);
  const ConnectionFlow flow(registration, "Quelvar");
  EXPECT_EQ(flow.connectAutomatically(std::nullopt, false), Outcome{});
  EXPECT_EQ(flow.connectAutomatically(idA, true), Outcome{});
  EXPECT_FALSE(fs::exists(home_ / ".config"));

  const Outcome readyOutcome{Notice{ready, false}, {}};
  EXPECT_EQ(flow.connectAutomatically(idA, false), readyOutcome);
  const fs::path chrome = registration.manifestPath("org.quelvar.host");
  const ino_t written = inode(chrome);
  EXPECT_EQ(flow.connectAutomatically(idA, false), readyOutcome);
  EXPECT_EQ(inode(chrome), written) << "connected everywhere: nothing is rewritten";

  // Chromium used for the first time since: its folder gets the manifests as well.
  fs::create_directories(home_ / ".config/chromium");
  EXPECT_EQ(flow.connectAutomatically(idA, false), readyOutcome);
  EXPECT_EQ(flow.status(idA),
            (ConnectionStatus{true, "Chrome connection configured", "Reconnect extension",
                              "Connected in Chromium, Google Chrome"}));

  const BrowserRegistration elsewhere = registrationAt(Place::downloads);
  EXPECT_EQ(ConnectionFlow(elsewhere, "Quelvar").connectAutomatically(idA, false),
            refusal("Install the app and open the installed copy to connect Chrome "
                    "automatically."));
}

TEST_F(ConnectionFlowTest, disconnectDisablesTheAutomaticConnectionAndResetsTheStatus) {
  const BrowserRegistration registration = registrationAt(Place::installed);
  const ConnectionFlow flow(registration, "Quelvar");
  const Outcome disconnected{Notice{removed, false}, {std::nullopt, true}};
  EXPECT_EQ(flow.disconnect(), disconnected) << "nothing registered";
  fs::create_directories(home_ / ".config/vivaldi");
  ASSERT_EQ(flow.connect(idA).notice->text, ready);
  EXPECT_EQ(flow.status(idA).connectedLine, "Connected in Google Chrome, Vivaldi");
  EXPECT_EQ(flow.disconnect(), disconnected);
  EXPECT_EQ(flow.status(idA),
            (ConnectionStatus{false, "Connect the Chrome extension", "Connect extension", ""}));
}

}  // namespace
}  // namespace quelvar
