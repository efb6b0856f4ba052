// BrowserRegistration against real files in a temporary home and installation prefix.
#include "BrowserRegistration.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <tuple>
#include <vector>

namespace quelvar {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string idA = "abcdefghijklmnopabcdefghijklmnop";
const std::string idB = "ponmlkjihgfedcbaponmlkjihgfedcba";

void writeFile(const fs::path& path, const std::string& text, fs::perms perms = fs::perms::none) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
  if (perms != fs::perms::none) {
    fs::permissions(path, perms);
  }
}

std::string readFile(const fs::path& path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

std::ptrdiff_t entries(const fs::path& folder) {
  return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

class BrowserRegistrationTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quelvar-registration-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    home_ = root_ / "home";
    fs::create_directories(home_);
  }
  void TearDown() override { fs::remove_all(root_); }

  // An installation prefix holding both helpers.
  BrowserRegistration installAt(const fs::path& prefix) {
    for (const auto& [name, executable] : BrowserRegistration::hosts()) {
      writeFile(prefix / "libexec/quelvar" / executable, "#!/bin/sh\n", fs::perms::owner_all);
    }
    return BrowserRegistration(prefix, home_);
  }

  json manifest(const BrowserRegistration& registration, const std::string& name) {
    return json::parse(readFile(registration.manifestPath(name)));
  }

  fs::path root_;
  fs::path home_;
};

TEST_F(BrowserRegistrationTest, anInvalidIDIsRefusedAndWritesNothing) {
  const BrowserRegistration registration = installAt(home_ / ".local");
  EXPECT_TRUE(BrowserRegistration::validID(idA));
  for (const std::string& id : std::vector<std::string>{
           "", "abcdefghijklmnopabcdefghijklmno", idA + "a", idA + " ",
           "Abcdefghijklmnopabcdefghijklmnop", "ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP",
           "qbcdefghijklmnopabcdefghijklmnop", "zbcdefghijklmnopabcdefghijklmnop",
           "0bcdefghijklmnopabcdefghijklmnop", " " + idA.substr(1), idA.substr(1) + " ",
           idA.substr(2) + "\xc3\xa9"}) {
    EXPECT_FALSE(BrowserRegistration::validID(id)) << '"' << id << '"';
    const auto failure = registration.registerExtension(id);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code, RegistrationError::invalidID);
    EXPECT_FALSE(registration.configured(id));
  }
  EXPECT_FALSE(fs::exists(home_ / ".config"));
}

TEST_F(BrowserRegistrationTest, missingOrNonExecutableHelperWritesNothing) {
  for (const bool existingDirectory : {false, true}) {
    const BrowserRegistration registration = installAt(home_ / ".local");
    if (existingDirectory) {
      writeFile(registration.manifestPath("org.quelvar.host"), "old");
    }
    const fs::path speech = registration.helperPath("QuelvarSpeech");
    for (const bool present : {false, true}) {
      fs::remove(speech);
      if (present) {
        writeFile(speech, "not executable", fs::perms::owner_read | fs::perms::owner_write);
      }
      const auto failure = registration.registerExtension(idA);
      ASSERT_TRUE(failure);
      EXPECT_EQ(failure->code, RegistrationError::missingHelper);
      EXPECT_EQ(fs::exists(registration.directory()), existingDirectory);
      if (existingDirectory) {
        EXPECT_EQ(readFile(registration.manifestPath("org.quelvar.host")), "old");
        EXPECT_FALSE(fs::exists(registration.manifestPath("org.quelvar.speech")));
      }
    }
    fs::remove_all(home_ / ".config");
  }
}

TEST_F(BrowserRegistrationTest, registerCreatesTheFolderWritesSortedManifestsAndReplacesOldIDs) {
  const BrowserRegistration registration = installAt(home_ / ".local");
  ASSERT_FALSE(registration.registerExtension(idA));
  EXPECT_EQ(registration.directory(), home_ / ".config/google-chrome/NativeMessagingHosts");
  EXPECT_TRUE(registration.configured(idA));
  for (const auto& [name, executable] : BrowserRegistration::hosts()) {
    const std::string text = readFile(registration.manifestPath(name));
    EXPECT_LT(text.find("\"allowed_origins\""), text.find("\"description\""));
    EXPECT_LT(text.find("\"name\""), text.find("\"path\""));
    EXPECT_LT(text.find("\"path\""), text.find("\"type\""));
    const json written = json::parse(text);
    EXPECT_EQ(written, (json{{"name", name},
                             {"description", "Local on-device subtitle translation"},
                             {"path", (home_ / ".local/libexec/quelvar" / executable).string()},
                             {"type", "stdio"},
                             {"allowed_origins", {"chrome-extension://" + idA + "/"}}}));
    EXPECT_TRUE(fs::path(written["path"].get<std::string>()).is_absolute());
  }
  EXPECT_EQ(entries(registration.directory()), 2);

  // Registering another ID replaces the first.
  ASSERT_FALSE(registration.registerExtension(idB));
  EXPECT_FALSE(registration.configured(idA));
  EXPECT_TRUE(registration.configured(idB));
}

TEST_F(BrowserRegistrationTest, configuredComparesNameOriginsAndPathAndNeedsTheHelpers) {
  using Edit = std::function<void(json&)>;
  const std::vector<std::tuple<const char*, Edit, bool>> cases = {
      {"type edited", [](json& m) { m["type"] = "socket"; }, true},
      {"description edited", [](json& m) { m["description"] = "mine"; }, true},
      {"extra member", [](json& m) { m["comment"] = 1; }, true},
      {"second origin", [](json& m) { m["allowed_origins"].push_back("chrome-extension://x/"); },
       false},
      {"origin without slash",
       [](json& m) { m["allowed_origins"] = {"chrome-extension://" + idA}; }, false},
      {"origins not an array", [](json& m) { m["allowed_origins"] = "x"; }, false},
      {"other name", [](json& m) { m["name"] = "org.quelvar.other"; }, false},
      {"other program", [](json& m) { m["path"] = "/usr/bin/true"; }, false},
      {"path missing", [](json& m) { m.erase("path"); }, false},
      {"not an object", [](json& m) { m = json::array({m}); }, false},
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
  writeFile(file, "{not json");
  EXPECT_FALSE(registration.configured(idA));

  ASSERT_FALSE(registration.registerExtension(idA));
  fs::remove(registration.helperPath("QuelvarHost"));
  EXPECT_FALSE(registration.configured(idA)) << "a vanished helper";
}

TEST_F(BrowserRegistrationTest, aMovedInstallationNeitherSeesNorRemovesTheOldManifests) {
  ASSERT_FALSE(installAt(home_ / ".local").registerExtension(idA));
  const BrowserRegistration moved = installAt(root_ / "moved");
  EXPECT_FALSE(moved.configured(idA));
  EXPECT_FALSE(moved.disconnect());
  EXPECT_TRUE(fs::exists(moved.manifestPath("org.quelvar.host")));
  EXPECT_TRUE(fs::exists(moved.manifestPath("org.quelvar.speech")));
}

TEST_F(BrowserRegistrationTest, disconnectRemovesOnlyThisInstallationsManifests) {
  const BrowserRegistration registration = installAt(home_ / ".local");
  EXPECT_FALSE(registration.disconnect());
  EXPECT_FALSE(fs::exists(registration.directory()));

  ASSERT_FALSE(registration.registerExtension(idB));
  const fs::path foreign = registration.manifestPath("org.quelvar.speech");
  writeFile(foreign, R"({"name": "org.quelvar.speech", "path": "/elsewhere/QuelvarSpeech"})");
  EXPECT_FALSE(registration.disconnect());
  EXPECT_FALSE(fs::exists(registration.manifestPath("org.quelvar.host")));
  EXPECT_TRUE(fs::exists(foreign));
  EXPECT_TRUE(fs::is_directory(registration.directory()));
}

TEST_F(BrowserRegistrationTest, installedMeansBelowUsrOptOrTheUsersLocalFolder) {
  const std::vector<std::pair<fs::path, bool>> cases = {
      {"/usr", true},
      {"/usr/local", true},
      {"/opt/quelvar/", true},
      {home_ / ".local", true},
      {home_ / ".local/share/quelvar", true},
      {"/usr2/quelvar", false},
      {"/optional/quelvar", false},
      {home_ / ".localised", false},
      {home_ / "Downloads/quelvar", false},
      {"/usr/../tmp/quelvar", false},
      {home_ / ".local/../build", false},
      {"/tmp/quelvar/build", false},
  };
  for (const auto& [prefix, expected] : cases) {
    EXPECT_EQ(BrowserRegistration(prefix, home_).installedInApplications(), expected) << prefix;
    EXPECT_EQ(BrowserRegistration(prefix, home_.string() + "/").installedInApplications(), expected)
        << prefix << " with a trailing slash on home";
  }
}

TEST_F(BrowserRegistrationTest, failuresNameTheFileAndLeaveNoTemporaryFiles) {
  const BrowserRegistration registration = installAt(home_ / ".local");
  writeFile(home_ / ".config/google-chrome", "a file where a folder belongs");
  auto failure = registration.registerExtension(idA);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->path, registration.directory());
  EXPECT_NE(failure->description().find(registration.directory().string()), std::string::npos);
  fs::remove(home_ / ".config/google-chrome");

  // A folder in the way of the second manifest: the first is written, the folder is untouched.
  fs::create_directories(registration.manifestPath("org.quelvar.speech") / "keep");
  failure = registration.registerExtension(idA);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->code.category(), std::system_category());
  EXPECT_EQ(failure->path, registration.manifestPath("org.quelvar.speech"));
  EXPECT_EQ(manifest(registration, "org.quelvar.host")["allowed_origins"][0],
            "chrome-extension://" + idA + "/");
  EXPECT_TRUE(fs::exists(registration.manifestPath("org.quelvar.speech") / "keep"));
  EXPECT_EQ(entries(registration.directory()), 2);
}

TEST(RegistrationError, describesOwnErrorsWithTheirTexts) {
  EXPECT_EQ((RegistrationFailure{RegistrationError::invalidID, {}}).description(),
            "Enter the 32-letter extension ID shown in Chrome's extension details.");
  EXPECT_EQ((RegistrationFailure{RegistrationError::missingHelper, "/ignored"}).description(),
            "This app is missing its translation helpers. Download a complete app build.");
  EXPECT_EQ((RegistrationFailure{RegistrationError::notInstalled, {}}).description(),
            "Install the app and open the installed copy to connect Chrome automatically.");
}

}  // namespace
}  // namespace quelvar
