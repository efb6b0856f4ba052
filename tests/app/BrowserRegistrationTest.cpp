// BrowserRegistration against real files in a temporary home, configuration and prefix.
#include "BrowserRegistration.hpp"
#include "CaptionTestSupport.hpp"
#include "FileAccess.hpp"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <functional>
#include <tuple>
#include <vector>

namespace quelvar {
namespace {

namespace fs = std::filesystem;
using caption::testing::readFile;
using nlohmann::json;
using testing::ElementsAre;
using testing::IsEmpty;

const std::string idA = "abcdefghijklmnopabcdefghijklmnop";

void writeFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

class BrowserRegistrationTest : public testing::Test {
 protected:
  // An installation prefix holding both helpers.
  BrowserRegistration installAt(const fs::path& prefix) {
    for (const auto& [name, executable] : BrowserRegistration::hosts()) {
      writeFile(prefix / "libexec/quelvar" / executable, "#!/bin/sh\n");
      fs::permissions(prefix / "libexec/quelvar" / executable, fs::perms::owner_all);
    }
    return BrowserRegistration(prefix, home_);
  }

  caption::testing::TempDir folder_;
  fs::path root_ = fs::canonical(folder_.path());
  fs::path home_ = root_ / "home";
};

TEST_F(BrowserRegistrationTest, registerWritesManifestsThatLetInOnlyTheExtensionsOrigin) {
  const BrowserRegistration registration = installAt(home_ / ".local");
  ASSERT_FALSE(registration.registerExtension(idA));
  for (const auto& [name, executable] : BrowserRegistration::hosts()) {
    EXPECT_EQ(json::parse(readFile(registration.manifestPath(name))),
              (json{{"name", name},
                    {"description", "Local on-device subtitle translation"},
                    {"path", (home_ / ".local/libexec/quelvar" / executable).string()},
                    {"type", "stdio"},
                    {"allowed_origins", {"chrome-extension://" + idA + "/"}}}));
  }
}

TEST_F(BrowserRegistrationTest, theConfigurationFolderIsAnAbsoluteXdgConfigHomeOrElseDotConfig) {
  for (const auto& [value, expected] : std::vector<std::pair<const char*, fs::path>>{
           {nullptr, home_ / ".config"}, {"relative", home_ / ".config"}, {"/xdg", "/xdg"}}) {
    EXPECT_EQ(BrowserRegistration::configFolder(home_, value), expected)
        << (value ? value : "unset");
  }
}

TEST_F(BrowserRegistrationTest, configuredComparesNameOriginsAndPathAndNeedsTheHelpers) {
  using Edit = std::function<void(json&)>;
  const std::vector<std::tuple<const char*, Edit, bool>> cases = {
      {"type edited, extra member", [](json& m) { m["type"] = "socket", m["comment"] = 1; }, true},
      {"second origin", [](json& m) { m["allowed_origins"].push_back("chrome-extension://x/"); },
       false},
      {"other name", [](json& m) { m["name"] = "org.quelvar.other"; }, false},
      {"past the size limit", [](json& m) { m["comment"] = std::string(maxManifestBytes, ' '); },
       false},
  };
  const BrowserRegistration registration = installAt(home_ / ".local");
  const fs::path file = registration.manifestPath("org.quelvar.speech");
  for (const auto& [what, edit, expected] : cases) {
    ASSERT_FALSE(registration.registerExtension(idA));
    json edited = json::parse(readFile(file));
    edit(edited);
    writeFile(file, edited.dump());
    EXPECT_EQ(registration.configured(idA), expected) << what;
  }
  ASSERT_FALSE(registration.registerExtension(idA));
  fs::remove(registration.helperPath("QuelvarHost"));
  EXPECT_FALSE(registration.configured(idA)) << "a vanished helper";
}

TEST_F(BrowserRegistrationTest, disconnectRemovesOnlyThisInstallationsManifestsFromEveryBrowser) {
  fs::create_directories(home_ / ".config/vivaldi");
  const BrowserRegistration registration = installAt(home_ / ".local");
  ASSERT_FALSE(registration.registerExtension(idA));
  // A moved copy of the app neither sees nor removes them.
  const BrowserRegistration moved = installAt(root_ / "moved");
  EXPECT_THAT(moved.connectedBrowsers(idA), IsEmpty());
  EXPECT_FALSE(moved.disconnect());
  EXPECT_THAT(registration.connectedBrowsers(idA), ElementsAre("Google Chrome", "Vivaldi"));
  EXPECT_FALSE(registration.disconnect());
  EXPECT_THAT(registration.connectedBrowsers(idA), IsEmpty());
}

TEST_F(BrowserRegistrationTest, installedMeansTheRealPathIsBelowUsrOptOrTheUsersLocalFolder) {
  // A home reached through a link.
  const fs::path linkedHome = root_ / "linked-home";
  fs::create_directories(home_);
  fs::create_directory_symlink(home_, linkedHome);
  for (const auto& [prefix, expected] :
       std::vector<std::pair<fs::path, bool>>{{"/opt/quelvar/", true},
                                              {linkedHome / ".local", true},
                                              {"/usrlocal", false},
                                              {"/usr/../tmp/quelvar", false}}) {
    EXPECT_EQ(BrowserRegistration(prefix, home_).installedInApplications(), expected) << prefix;
  }
}

TEST_F(BrowserRegistrationTest, aManifestThatCannotBeWrittenIsAFailureNamingIt) {
  const BrowserRegistration registration = installAt(home_ / ".local");
  fs::create_directories(registration.manifestPath("org.quelvar.speech") / "in-the-way");
  const auto failure = registration.registerExtension(idA);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->path, registration.manifestPath("org.quelvar.speech"));
}

}  // namespace
}  // namespace quelvar
