// Native messaging host manifests of the Chromium-family browsers: written, checked and removed
// for this installation.
#include "BrowserRegistration.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <iterator>
#include <system_error>

#include "FileAccess.hpp"

namespace quelvar {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Each browser's user data folder below the configuration root; the manifests go into its
// NativeMessagingHosts subfolder ("Native messaging host location", developer.chrome.com/docs/
// extensions/develop/concepts/native-messaging). Where the folders come from:
// - Google Chrome stable, beta and dev, and Chromium: Chromium's docs/user_data_dir.md, section
//   "Linux" (google-chrome, google-chrome-beta, google-chrome-unstable, chromium, all below
//   $XDG_CONFIG_HOME or ~/.config).
// - Brave: brave-core's chromium_src/chrome/common/chrome_paths_linux.cc, which appends
//   "BraveSoftware/Brave-Browser" (plus "-Beta" or "-Dev" for those channels) to the same root.
// - Microsoft Edge and Vivaldi publish no Linux path of their own; these are the folders their
//   Linux builds show as the parent of "Profile Path" on edge://version and vivaldi://about
//   (where Microsoft's UserDataDir policy page tells users to look).
constexpr Browser browserTable[] = {
    {"Brave", "BraveSoftware/Brave-Browser"},
    {"Chromium", "chromium"},
    {"Google Chrome", "google-chrome", /*always=*/true},
    {"Google Chrome Beta", "google-chrome-beta"},
    {"Google Chrome Dev", "google-chrome-unstable"},
    {"Microsoft Edge", "microsoft-edge"},
    {"Vivaldi", "vivaldi"},
};
constexpr std::string_view hostsFolder = "NativeMessagingHosts";
constexpr std::string_view helperFolder = QUELVAR_HELPER_DIR;
constexpr std::string_view description = "Local on-device subtitle translation";

// Resolves "." and ".." and drops a trailing slash, so that prefix tests compare like with like.
fs::path standardised(const fs::path& path) {
  fs::path result = fs::absolute(path).lexically_normal();
  if (!result.has_filename() && result.has_relative_path()) {
    result = result.parent_path();
  }
  return result;
}

std::string origin(std::string_view id) {
  return "chrome-extension://" + std::string(id) + "/";
}

// The parsed manifest when it names `hostName` and `helper`; otherwise nothing.
std::optional<json> ownManifest(const fs::path& file, const std::string& hostName,
                                const fs::path& helper) {
  const std::optional<std::string> text = readWholeFile(file, maxManifestBytes);
  if (!text) {
    return std::nullopt;
  }
  json manifest = json::parse(*text, nullptr, /*allow_exceptions=*/false);
  if (!manifest.is_object()) {
    return std::nullopt;
  }
  const auto name = manifest.find("name");
  const auto path = manifest.find("path");
  if (name == manifest.end() || *name != hostName || path == manifest.end() ||
      *path != helper.string()) {
    return std::nullopt;
  }
  return manifest;
}

// The real path (symbolic links resolved, as far as the path exists) ending in "/", so that a
// prefix test cannot match a sibling that merely starts with the same letters.
std::string realFolder(const fs::path& path) {
  std::error_code error;
  fs::path real = fs::weakly_canonical(path, error);
  if (error) {
    real = standardised(path);
  }
  std::string text = real.string();
  if (text.empty() || text.back() != '/') {
    text += '/';
  }
  return text;
}

}  // namespace

BrowserRegistration::BrowserRegistration(fs::path bundle, fs::path home, fs::path config)
    : bundle_(standardised(bundle)), home_(standardised(home)), config_(standardised(config)) {}

BrowserRegistration::BrowserRegistration(fs::path bundle, fs::path home)
    : BrowserRegistration(bundle, home, home / ".config") {}

fs::path BrowserRegistration::runningBundle() {
  std::error_code error;
  const fs::path executable = fs::read_symlink("/proc/self/exe", error);
  if (error) {
    return {};
  }
  return executable.parent_path().parent_path();
}

fs::path BrowserRegistration::configFolder(const fs::path& home, const char* xdgConfigHome) {
  // A relative value is invalid by the XDG base directory rules and is ignored, as browsers do.
  if (xdgConfigHome != nullptr && fs::path(xdgConfigHome).is_absolute()) {
    return xdgConfigHome;
  }
  return home / ".config";
}

std::span<const Browser> BrowserRegistration::browsers() {
  return browserTable;
}

const Browser& BrowserRegistration::googleChrome() {
  return *std::find_if(std::begin(browserTable), std::end(browserTable),
                       [](const Browser& browser) { return browser.always; });
}

const std::map<std::string, std::string>& BrowserRegistration::hosts() {
  static const std::map<std::string, std::string> table{
      {"org.quelvar.host", "QuelvarHost"},
      {"org.quelvar.speech", "QuelvarSpeech"},
  };
  return table;
}

bool BrowserRegistration::validID(std::string_view id) {
  return id.size() == 32 &&
         std::all_of(id.begin(), id.end(), [](char c) { return c >= 'a' && c <= 'p'; });
}

bool BrowserRegistration::installedInApplications() const {
  // The running program's path is already real (/proc/self/exe), while /opt, /usr/local or the
  // home folder may be reached through symbolic links: both sides are compared as real paths.
  // The prefix itself may be the installation root (/usr, ~/.local).
  const std::string bundle = realFolder(bundle_);
  for (const fs::path& prefix :
       {fs::path("/usr"), fs::path("/usr/local"), fs::path("/opt"), home_ / ".local"}) {
    const std::string real = realFolder(prefix);
    if (bundle.compare(0, real.size(), real) == 0) {
      return true;
    }
  }
  return false;
}

fs::path BrowserRegistration::helperPath(const std::string& executable) const {
  return bundle_ / helperFolder / executable;
}

fs::path BrowserRegistration::manifestFolder(const Browser& browser) const {
  return config_ / browser.folder / hostsFolder;
}

fs::path BrowserRegistration::manifestPath(const std::string& hostName) const {
  return directory() / (hostName + ".json");
}

bool BrowserRegistration::configured(std::string_view id) const {
  return configuredIn(directory(), id);
}

bool BrowserRegistration::configuredIn(const fs::path& folder, std::string_view id) const {
  if (!validID(id)) {
    return false;
  }
  const json expectedOrigins = json::array({origin(id)});
  for (const auto& [hostName, executable] : hosts()) {
    const fs::path helper = helperPath(executable);
    const std::optional<json> manifest =
        ownManifest(folder / (hostName + ".json"), hostName, helper);
    if (!manifest) {
      return false;
    }
    const auto origins = manifest->find("allowed_origins");
    if (origins == manifest->end() || *origins != expectedOrigins || !isExecutableFile(helper)) {
      return false;
    }
  }
  return true;
}

std::vector<std::string_view> BrowserRegistration::connectedBrowsers(std::string_view id) const {
  std::vector<std::string_view> names;
  for (const Browser& browser : browsers()) {
    if (configuredIn(manifestFolder(browser), id)) {
      names.push_back(browser.name);
    }
  }
  return names;
}

std::optional<RegistrationFailure> BrowserRegistration::registerExtension(
    std::string_view id) const {
  if (!validID(id)) {
    return RegistrationFailure{RegistrationError::invalidID, {}};
  }
  for (const auto& [hostName, executable] : hosts()) {
    if (!isExecutableFile(helperPath(executable))) {
      return RegistrationFailure{RegistrationError::missingHelper, {}};
    }
  }
  // Google Chrome first: the folder every caller relies on is written even when another
  // browser's folder fails.
  if (auto failure = writeInto(directory(), id)) {
    return failure;
  }
  for (const Browser& browser : browsers()) {
    if (browser.always || !present(browser)) {
      continue;
    }
    if (auto failure = writeInto(manifestFolder(browser), id)) {
      return failure;
    }
  }
  return std::nullopt;
}

bool BrowserRegistration::present(const Browser& browser) const {
  std::error_code error;
  return browser.always || fs::is_directory(config_ / browser.folder, error);
}

std::vector<std::string_view> BrowserRegistration::presentBrowsers() const {
  std::vector<std::string_view> names;
  for (const Browser& browser : browsers()) {
    if (present(browser)) {
      names.push_back(browser.name);
    }
  }
  return names;
}

std::optional<RegistrationFailure> BrowserRegistration::writeInto(const fs::path& folder,
                                                                  std::string_view id) const {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) {
    return RegistrationFailure{error, folder};
  }
  for (const auto& [hostName, executable] : hosts()) {
    const json manifest = {
        {"name", hostName},
        {"description", description},
        {"path", helperPath(executable).string()},
        {"type", "stdio"},
        {"allowed_origins", json::array({origin(id)})},
    };
    const fs::path file = folder / (hostName + ".json");
    std::string bytes;
    try {
      // nlohmann's objects keep their keys sorted, as the manifest format asks.
      bytes = manifest.dump(2) + "\n";
    } catch (const json::exception&) {
      // The only way to get here is a bundle path that is not UTF-8.
      return RegistrationFailure{std::make_error_code(std::errc::illegal_byte_sequence), file};
    }
    if (const std::error_code writeError = writeFileAtomically(file, bytes)) {
      return RegistrationFailure{writeError, file};
    }
  }
  return std::nullopt;
}

std::optional<RegistrationFailure> BrowserRegistration::disconnect() const {
  std::optional<RegistrationFailure> first;
  for (const Browser& browser : browsers()) {
    for (const auto& [hostName, executable] : hosts()) {
      const fs::path file = manifestFolder(browser) / (hostName + ".json");
      if (!ownManifest(file, hostName, helperPath(executable))) {
        continue;
      }
      std::error_code error;
      fs::remove(file, error);
      if (error && !first) {
        first = RegistrationFailure{error, file};
      }
    }
  }
  return first;
}

}  // namespace quelvar
