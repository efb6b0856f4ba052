// Registers the two native messaging hosts of one installation with Chrome, checks and removes
// that.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "RegistrationError.hpp"

namespace quelvar {

// An immutable value: all registration state lives in the manifest files below `home`.
class BrowserRegistration {
 public:
  // `bundle` is the installation prefix (the folder above bin/), `home` the user's home folder.
  BrowserRegistration(std::filesystem::path bundle, std::filesystem::path home);

  // The prefix of the running program: the folder above the one holding its executable.
  static std::filesystem::path runningBundle();

  // True for exactly 32 letters from "a" to "p", the alphabet of Chrome extension IDs.
  static bool validID(std::string_view id);

  // True when the bundle lies in a place software is installed to: below /usr, /opt or ~/.local.
  bool installedInApplications() const;

  // True when both manifests name this bundle's helpers and allow exactly this extension.
  bool configured(std::string_view id) const;

  // Writes both manifests for the extension. Empty on success.
  std::optional<RegistrationFailure> registerExtension(std::string_view id) const;

  // Removes the manifests that point at this bundle's helpers, whichever extension they allow.
  std::optional<RegistrationFailure> disconnect() const;

  const std::filesystem::path& bundle() const { return bundle_; }
  const std::filesystem::path& directory() const { return directory_; }
  std::filesystem::path helperPath(const std::string& executable) const;
  std::filesystem::path manifestPath(const std::string& hostName) const;

  // Registered host name to helper executable file name.
  static const std::map<std::string, std::string>& hosts();

 private:
  std::filesystem::path bundle_;
  std::filesystem::path home_;
  std::filesystem::path directory_;
};

}  // namespace quelvar
