// Registers the two native messaging hosts of one installation with every Chromium-family
// browser of the user, checks and removes that.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "RegistrationError.hpp"

namespace quelvar {

// A browser that reads per-user manifests from <config>/<folder>/NativeMessagingHosts.
struct Browser {
  std::string_view name;
  std::string_view folder;
  // Written whether or not the browser's own folder exists: the one browser the extension's
  // instructions name.
  bool always = false;
};

// An immutable value: all registration state lives in the manifest files below `config`.
class BrowserRegistration {
 public:
  // `bundle` is the installation prefix (the folder above bin/), `home` the user's home folder,
  // `config` the folder browsers keep their settings in (see configFolder).
  BrowserRegistration(std::filesystem::path bundle, std::filesystem::path home,
                      std::filesystem::path config);
  // With the configuration folder below the home folder, as when XDG_CONFIG_HOME is not set.
  BrowserRegistration(std::filesystem::path bundle, std::filesystem::path home);

  // The prefix of the running program: the folder above the one holding its executable.
  static std::filesystem::path runningBundle();

  // `xdgConfigHome` when it is an absolute path, else `home`/.config; the value of
  // XDG_CONFIG_HOME (or null) goes in, as the XDG base directory rules say.
  static std::filesystem::path configFolder(const std::filesystem::path& home,
                                            const char* xdgConfigHome);

  // Every browser we register with, sorted by name.
  static std::span<const Browser> browsers();
  // The browser whose folder is always written and whose manifests `configured` reads.
  static const Browser& googleChrome();

  // True for exactly 32 letters from "a" to "p", the alphabet of Chrome extension IDs.
  static bool validID(std::string_view id);

  // True when the bundle's real path lies below the real path of a place software is installed
  // to: /usr, /usr/local, /opt or ~/.local.
  bool installedInApplications() const;

  // True when Google Chrome's two manifests name this bundle's helpers and allow exactly this
  // extension.
  bool configured(std::string_view id) const;

  // The names of the browsers whose two manifests are configured for this extension, in
  // browsers() order.
  std::vector<std::string_view> connectedBrowsers(std::string_view id) const;

  // The names of the browsers registerExtension writes to: Google Chrome, and every other one
  // whose own configuration folder exists, in browsers() order.
  std::vector<std::string_view> presentBrowsers() const;

  // Writes both manifests for the extension into the folders of the present browsers, Google
  // Chrome's first. Empty on success.
  std::optional<RegistrationFailure> registerExtension(std::string_view id) const;

  // Removes, from every browser's folder, the manifests that point at this bundle's helpers,
  // whichever extension they allow. Reports the first failure after trying every file.
  std::optional<RegistrationFailure> disconnect() const;

  const std::filesystem::path& bundle() const { return bundle_; }
  // Google Chrome's manifest folder.
  std::filesystem::path directory() const { return manifestFolder(googleChrome()); }
  std::filesystem::path manifestFolder(const Browser& browser) const;
  std::filesystem::path helperPath(const std::string& executable) const;
  // The manifest in Google Chrome's folder.
  std::filesystem::path manifestPath(const std::string& hostName) const;

  // Registered host name to helper executable file name.
  static const std::map<std::string, std::string>& hosts();

 private:
  bool present(const Browser& browser) const;
  bool configuredIn(const std::filesystem::path& folder, std::string_view id) const;
  std::optional<RegistrationFailure> writeInto(const std::filesystem::path& folder,
                                               std::string_view id) const;

  std::filesystem::path bundle_;
  std::filesystem::path home_;
  std::filesystem::path config_;
};

}  // namespace quelvar
