// Chrome native messaging host manifests: written, checked and removed for this installation.
#include "BrowserRegistration.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <system_error>

#include "FileAccess.hpp"

namespace quelvar {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr std::string_view manifestFolder = ".config/google-chrome/NativeMessagingHosts";
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
  const std::optional<std::string> text = readWholeFile(file);
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

}  // namespace

BrowserRegistration::BrowserRegistration(fs::path bundle, fs::path home)
    : bundle_(standardised(bundle)),
      home_(standardised(home)),
      directory_(home_ / manifestFolder) {}

fs::path BrowserRegistration::runningBundle() {
  std::error_code error;
  const fs::path executable = fs::read_symlink("/proc/self/exe", error);
  if (error) {
    return {};
  }
  return executable.parent_path().parent_path();
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
  // The prefix itself may be the installation root (/usr, ~/.local), so it is compared with a
  // trailing slash; "/usrx" or "~/.local-old" still do not count.
  const std::string bundle = bundle_.string() + "/";
  const auto startsWith = [&bundle](const std::string& prefix) {
    return bundle.compare(0, prefix.size(), prefix) == 0;
  };
  return startsWith("/usr/") || startsWith("/opt/") ||
         startsWith((home_ / ".local").string() + "/");
}

fs::path BrowserRegistration::helperPath(const std::string& executable) const {
  return bundle_ / helperFolder / executable;
}

fs::path BrowserRegistration::manifestPath(const std::string& hostName) const {
  return directory_ / (hostName + ".json");
}

bool BrowserRegistration::configured(std::string_view id) const {
  if (!validID(id)) {
    return false;
  }
  const json expectedOrigins = json::array({origin(id)});
  for (const auto& [hostName, executable] : hosts()) {
    const fs::path helper = helperPath(executable);
    const std::optional<json> manifest = ownManifest(manifestPath(hostName), hostName, helper);
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
  std::error_code error;
  fs::create_directories(directory_, error);
  if (error) {
    return RegistrationFailure{error, directory_};
  }
  for (const auto& [hostName, executable] : hosts()) {
    const json manifest = {
        {"name", hostName},
        {"description", description},
        {"path", helperPath(executable).string()},
        {"type", "stdio"},
        {"allowed_origins", json::array({origin(id)})},
    };
    const fs::path file = manifestPath(hostName);
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
  for (const auto& [hostName, executable] : hosts()) {
    const fs::path file = manifestPath(hostName);
    if (!ownManifest(file, hostName, helperPath(executable))) {
      continue;
    }
    std::error_code error;
    fs::remove(file, error);
    if (error) {
      return RegistrationFailure{error, file};
    }
  }
  return std::nullopt;
}

}  // namespace quelvar
