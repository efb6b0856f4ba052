// The companion window's decisions, apart from Qt: what connect, disconnect and the automatic
// connection at launch do, which notice follows, which settings change, and what the status says.
#pragma once

#include <optional>
#include <string>

#include "BrowserRegistration.hpp"

namespace quelvar {

struct Notice {
  std::string text;
  bool error = false;

  bool operator==(const Notice&) const = default;
};

// The settings an action stores; an empty member leaves that setting as it is.
struct SettingsChange {
  std::optional<std::string> chromeExtensionID;
  std::optional<bool> automaticConnectionDisabled;

  bool operator==(const SettingsChange&) const = default;
};

struct Outcome {
  std::optional<Notice> notice;  // none: the notice stays as it is
  SettingsChange settings;

  bool operator==(const Outcome&) const = default;
};

struct ConnectionStatus {
  bool configured = false;    // green status, "Reconnect extension", "Disconnect" enabled
  std::string text;           // the status line
  std::string connectTitle;   // the connect button's title
  std::string connectedLine;  // "Connected in ..." or empty when no browser is connected

  bool operator==(const ConnectionStatus&) const = default;
};

class ConnectionFlow {
 public:
  // `name` is the app's display name, as the notices use it.
  ConnectionFlow(const BrowserRegistration& registration, std::string name);

  // At launch: connects a build's built-in extension unless the user disconnected it by hand.
  // Writes only when some browser that should hold the manifests lacks them.
  Outcome connectAutomatically(const std::optional<std::string>& builtInID,
                               bool automaticConnectionDisabled) const;
  // "Connect extension" (or Enter) with the ID as typed.
  Outcome connect(const std::string& id) const;
  Outcome disconnect() const;
  ConnectionStatus status(const std::string& id) const;

 private:
  const BrowserRegistration& registration_;
  std::string name_;
};

}  // namespace quelvar
