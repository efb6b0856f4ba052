// The window's decisions against real manifests in a temporary home: notices, settings, status.
#include "CaptionTestSupport.hpp"
#include "ConnectionFlow.hpp"

#include <gmock/gmock.h>

#include <fstream>

namespace quelvar {

namespace {

namespace fs = std::filesystem;
using testing::AllOf;
using testing::ElementsAre;
using testing::Field;
using testing::HasSubstr;
using testing::Optional;

const std::string idA = "abcdefghijklmnopabcdefghijklmnop";

// An outcome whose notice is an error (or not) holding `words`, with these settings.
testing::Matcher<Outcome> outcome(bool error, const std::string& words,
                                  const SettingsChange& settings = {}) {
  return AllOf(Field(&Outcome::notice, Optional(AllOf(Field(&Notice::error, error),
                                                      Field(&Notice::text, HasSubstr(words))))),
               Field(&Outcome::settings, settings));
}

enum class Place { installed, downloads, installedWithoutHelpers };

class ConnectionFlowTest : public testing::Test {
 protected:
  BrowserRegistration registrationAt(Place place) {
    const fs::path prefix =
        place == Place::downloads ? home_ / "Downloads/quelvar" : home_ / ".local";
    fs::create_directories(prefix / "libexec/quelvar");
    for (const auto& [name, executable] : BrowserRegistration::hosts()) {
      if (place != Place::installedWithoutHelpers) {
        std::ofstream(prefix / "libexec/quelvar" / executable) << "#!/bin/sh\n";
        fs::permissions(prefix / "libexec/quelvar" / executable, fs::perms::owner_all);
      }
    }
    return BrowserRegistration(prefix, home_);
  }

  caption::testing::TempDir folder_;
  fs::path home_ = fs::canonical(folder_.path()) / "home";
};

TEST_F(ConnectionFlowTest, connectByHandShowsANoticeAndStoresSettingsOnlyOnSuccess) {
  const std::vector<std::tuple<Place, std::string, testing::Matcher<Outcome>>> cases = {
      {Place::downloads, idA, outcome(true, "Install Quel & Co, open the installed copy")},
      {Place::installed, idA + " ", outcome(true, "32-letter extension ID")},
      {Place::installed, "q" + idA.substr(1), outcome(true, "32-letter extension ID")},
      {Place::installedWithoutHelpers, idA, outcome(true, "missing its translation helpers")},
      {Place::installed, idA, outcome(false, "You’re ready", {idA, false})},
  };
  for (const auto& [place, id, expected] : cases) {
    fs::remove_all(home_);
    const BrowserRegistration registration = registrationAt(place);
    const ConnectionFlow flow(registration, "Quel & Co");
    const Outcome connected = flow.connect(id);
    EXPECT_THAT(connected, expected) << id;
    EXPECT_EQ(flow.status(id).configured, !connected.notice->error);
  }
}

TEST_F(ConnectionFlowTest, theAutomaticConnectionWritesOnlyWhereABrowserLacksTheManifests) {
  const BrowserRegistration registration = registrationAt(Place::installed);
  const ConnectionFlow flow(registration, "Quelvar");
  EXPECT_EQ(flow.connectAutomatically(std::nullopt, false), Outcome{});
  EXPECT_EQ(flow.connectAutomatically(idA, true), Outcome{}) << "disconnected by hand";
  EXPECT_FALSE(fs::exists(home_ / ".config"));
  EXPECT_THAT(flow.connectAutomatically(idA, false), outcome(false, "You’re ready"));

  // Chromium used for the first time since: its folder gets the manifests as well.
  fs::create_directories(home_ / ".config/chromium");
  EXPECT_THAT(flow.connectAutomatically(idA, false), outcome(false, "You’re ready"));
  EXPECT_THAT(registration.connectedBrowsers(idA), ElementsAre("Chromium", "Google Chrome"));

  const BrowserRegistration elsewhere = registrationAt(Place::downloads);
  EXPECT_THAT(ConnectionFlow(elsewhere, "Quelvar").connectAutomatically(idA, false),
              outcome(true, "Install the app"));
}

}  // namespace
}  // namespace quelvar
