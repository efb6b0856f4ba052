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
using caption::testing::TempDir;
using nlohmann::json;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using Names = std::vector<std::string_view>;

const std::string idA = "abcdefghijklmnopabcdefghijklmnop";
const std::string idB = "ponmlkjihgfedcbaponmlkjihgfedcba";

void writeFile(const fs::path& path, const std::string& text, fs::perms perms = fs::perms::none) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
  if (perms != fs::perms::none) {
    fs::permissions(path, perms);
  }
}

// Every file below `folder`, relative to it.
std::vector<std::string> filesBelow(const fs::path& folder) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_directory()) {
      files.push_back(fs::relative(entry.path(), folder).string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

class BrowserRegistrationTest : public testing::Test {
 protected:
  void SetUp() override { fs::create_directories(home_); }

  // An installation prefix holding both helpers.
  BrowserRegistration installAt(const fs::path& prefix, const fs::path& config = {}) {
    for (const auto& [name, executable] : BrowserRegistration::hosts()) {
      writeFile(prefix / "libexec/quelvar" / executable, "#!/bin/sh\n", fs::perms::owner_all);
    }
    return config.empty() ? BrowserRegistration(prefix, home_)
                          : BrowserRegistration(prefix, home_, config);
  }

  TempDir folder_;
  fs::path root_ = fs::canonical(folder_.path());
  fs::path home_ = root_ / "home";
};

TEST_F(BrowserRegistrationTest, anInvalidIDOrAMissingHelperIsRefusedAndWritesNothing) {
  const BrowserRegistration registration = installAt(home_ / ".local");
  for (const std::string& id :
       {std::string(), idA.substr(1), idA + "a", idA + " ", "A" + idA.substr(1),
        "q" + idA.substr(1), "0" + idA.substr(1), idA.substr(2) + "\xc3\xa9"}) {
    EXPECT_FALSE(BrowserRegistration::validID(id)) << '"' << id << '"';
    const auto failure = registration.registerExtension(id);
    EXPECT_EQ(failure ? failure->code : std::error_code(), RegistrationError::invalidID) << id;
  }
  EXPECT_FALSE(fs::exists(home_ / ".config"));

  writeFile(registration.manifestPath("org.quelvar.host"), "old");
  const fs::path speech = registration.helperPath("QuelvarSpeech");
  for (const bool present : {false, true}) {
    fs::remove(speech);
    if (present) {
      writeFile(speech, "not executable", fs::perms::owner_read | fs::perms::owner_write);
    }
    const auto failure = registration.registerExtension(idA);
    EXPECT_EQ(failure ? failure->code : std::error_code(), RegistrationError::missingHelper);
    EXPECT_THAT(filesBelow(home_ / ".config"),
                ElementsAre("google-chrome/NativeMessagingHosts/org.quelvar.host.json"));
    EXPECT_EQ(readFile(registration.manifestPath("org.quelvar.host")), "old");
  }
}

TEST_F(BrowserRegistrationTest, registerWritesManifestsThatReplaceOldIDs) {
  const BrowserRegistration registration = installAt(home_ / ".local");
  ASSERT_FALSE(registration.registerExtension(idA));
  EXPECT_EQ(registration.directory(), home_ / ".config/google-chrome/NativeMessagingHosts");
  for (const auto& [name, executable] : BrowserRegistration::hosts()) {
    EXPECT_EQ(json::parse(readFile(registration.manifestPath(name))),
              (json{{"name", name},
                    {"description", "Local on-device subtitle translation"},
                    {"path", (home_ / ".local/libexec/quelvar" / executable).string()},
                    {"type", "stdio"},
                    {"allowed_origins", {"chrome-extension://" + idA + "/"}}}));
  }
  EXPECT_TRUE(registration.configured(idA));
  ASSERT_FALSE(registration.registerExtension(idB));
  EXPECT_FALSE(registration.configured(idA));
  EXPECT_TRUE(registration.configured(idB));
}

TEST_F(BrowserRegistrationTest, registerWritesGoogleChromeAndEveryBrowserWhoseFolderExists) {
  const std::vector<std::pair<std::vector<std::string>, Names>> cases = {
      {{}, {"Google Chrome"}},
      {{"BraveSoftware/Brave-Browser", "vivaldi", "google-chrome-unstable", "chromium"},
       {"Brave", "Chromium", "Google Chrome", "Google Chrome Dev", "Vivaldi"}},
      {{"BraveSoftware", "microsoft-edge", "google-chrome-beta"},
       {"Google Chrome", "Google Chrome Beta", "Microsoft Edge"}},
  };
  for (const auto& [present, expected] : cases) {
    fs::remove_all(home_ / ".config");
    for (const std::string& folder : present) {
      fs::create_directories(home_ / ".config" / folder);
    }
    const BrowserRegistration registration = installAt(home_ / ".local");
    ASSERT_FALSE(registration.registerExtension(idA));
    EXPECT_EQ(registration.connectedBrowsers(idA), expected) << testing::PrintToString(present);
    EXPECT_THAT(registration.connectedBrowsers(idB), IsEmpty());
    for (const Browser& browser : BrowserRegistration::browsers()) {
      EXPECT_EQ(fs::exists(registration.manifestFolder(browser)),
                std::find(expected.begin(), expected.end(), browser.name) != expected.end())
          << browser.name;
    }
  }
}

TEST_F(BrowserRegistrationTest, theConfigurationFolderIsAnAbsoluteXdgConfigHomeOrElseDotConfig) {
  const fs::path xdg = root_ / "xdg";
  for (const auto& [value, expected] :
       std::vector<std::pair<const char*, fs::path>>{{nullptr, home_ / ".config"},
                                                     {"", home_ / ".config"},
                                                     {"relative/config", home_ / ".config"},
                                                     {xdg.c_str(), xdg}}) {
    EXPECT_EQ(BrowserRegistration::configFolder(home_, value), expected)
        << (value ? value : "unset");
  }

  fs::create_directories(xdg / "chromium");
  fs::create_directories(home_ / ".config/vivaldi");
  const BrowserRegistration registration = installAt(home_ / ".local", xdg);
  ASSERT_FALSE(registration.registerExtension(idA));
  EXPECT_EQ(registration.connectedBrowsers(idA), (Names{"Chromium", "Google Chrome"}));
  EXPECT_THAT(filesBelow(home_ / ".config"), IsEmpty());
}

TEST_F(BrowserRegistrationTest, configuredComparesNameOriginsAndPathAndNeedsTheHelpers) {
  using Edit = std::function<void(json&)>;
  const std::vector<std::tuple<const char*, Edit, bool>> cases = {
      {"type edited, extra member", [](json& m) { m["type"] = "socket", m["comment"] = 1; }, true},
      {"second origin", [](json& m) { m["allowed_origins"].push_back("chrome-extension://x/"); },
       false},
      {"other name", [](json& m) { m["name"] = "org.quelvar.other"; }, false},
      {"other program", [](json& m) { m["path"] = "/usr/bin/true"; }, false},
      {"path missing", [](json& m) { m.erase("path"); }, false},
      {"not an object", [](json& m) { m = json::array({m}); }, false},
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
  writeFile(file, "{not json");
  EXPECT_FALSE(registration.configured(idA));

  ASSERT_FALSE(registration.registerExtension(idA));
  fs::remove(registration.helperPath("QuelvarHost"));
  EXPECT_FALSE(registration.configured(idA)) << "a vanished helper";
}

TEST_F(BrowserRegistrationTest, disconnectRemovesOurManifestsFromEveryBrowserAndNothingElse) {
  const BrowserRegistration registration = installAt(home_ / ".local");
  EXPECT_FALSE(registration.disconnect());
  EXPECT_FALSE(fs::exists(home_ / ".config"));

  for (const char* folder : {"BraveSoftware/Brave-Browser", "vivaldi"}) {
    fs::create_directories(home_ / ".config" / folder);
  }
  ASSERT_FALSE(registration.registerExtension(idB));
  // A moved copy of the app neither sees nor removes them.
  const BrowserRegistration moved = installAt(root_ / "moved");
  EXPECT_THAT(moved.connectedBrowsers(idB), IsEmpty());
  EXPECT_FALSE(moved.disconnect());
  EXPECT_EQ(registration.connectedBrowsers(idB), (Names{"Brave", "Google Chrome", "Vivaldi"}));

  writeFile(
      home_ / ".config/BraveSoftware/Brave-Browser/NativeMessagingHosts/org.quelvar.speech.json",
      R"({"name": "org.quelvar.speech", "path": "/elsewhere/QuelvarSpeech"})");
  writeFile(home_ / ".config/vivaldi/NativeMessagingHosts/org.other.json", "{}");
  EXPECT_FALSE(registration.disconnect());
  EXPECT_THAT(registration.connectedBrowsers(idB), IsEmpty());
  EXPECT_THAT(
      filesBelow(home_ / ".config"),
      ElementsAre("BraveSoftware/Brave-Browser/NativeMessagingHosts/org.quelvar.speech.json",
                  "vivaldi/NativeMessagingHosts/org.other.json"));
}

TEST_F(BrowserRegistrationTest, installedMeansTheRealPathIsBelowUsrOptOrTheUsersLocalFolder) {
  // A home reached through a link, and a ~/.local that is itself a link elsewhere.
  const fs::path linkedHome = root_ / "linked-home";
  fs::create_directory_symlink(home_, linkedHome);
  const fs::path storage = root_ / "storage";
  fs::create_directories(storage / "quelvar");
  const fs::path otherHome = root_ / "other";
  fs::create_directories(otherHome);
  fs::create_directory_symlink(storage, otherHome / ".local");
  const std::vector<std::tuple<fs::path, fs::path, bool>> cases = {
      {"/usr", home_, true},
      {"/opt/quelvar/", home_, true},
      {home_ / ".local/share/quelvar", linkedHome.string() + "/", true},
      {linkedHome / ".local", home_, true},
      {storage / "quelvar", otherHome, true},
      {"/usrlocal", home_, false},
      {home_ / ".localx", linkedHome, false},
      {home_ / "Downloads/quelvar", home_, false},
      {"/usr/../tmp/quelvar", home_, false},
      {storage.string() + "x", otherHome, false},
  };
  for (const auto& [prefix, home, expected] : cases) {
    EXPECT_EQ(BrowserRegistration(prefix, home).installedInApplications(), expected)
        << prefix << " with home " << home;
  }
}

TEST_F(BrowserRegistrationTest, failuresNameTheFileAndLeaveNoTemporaryFiles) {
  const BrowserRegistration registration = installAt(home_ / ".local");
  writeFile(home_ / ".config/google-chrome", "a file where a folder belongs");
  auto failure = registration.registerExtension(idA);
  ASSERT_TRUE(failure);
  EXPECT_THAT(failure->description(), HasSubstr(registration.directory().string()));
  fs::remove(home_ / ".config/google-chrome");

  // A folder in the way of the second manifest: the first is written, the folder is untouched.
  writeFile(registration.manifestPath("org.quelvar.speech") / "keep", "");
  failure = registration.registerExtension(idA);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->code.category(), std::system_category());
  EXPECT_EQ(failure->path, registration.manifestPath("org.quelvar.speech"));
  EXPECT_THAT(filesBelow(registration.directory()),
              ElementsAre("org.quelvar.host.json", "org.quelvar.speech.json/keep"));
}

}  // namespace
}  // namespace quelvar
