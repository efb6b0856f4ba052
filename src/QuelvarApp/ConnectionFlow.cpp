// Connection by hand and at launch, disconnection and the status line, as values the window shows.
#include "ConnectionFlow.hpp"

namespace quelvar {
namespace {

const char* const readyNotice =
    "You’re ready. You can quit this app. Translation works from Chrome, including after "
    "restarting your computer. Open the extension on a video tab to start.";
const char* const removedNotice =
    "Browser registration removed. Stop any current translation in the extension.";

Outcome failed(const RegistrationFailure& failure) {
  return {Notice{failure.description(), true}, {}};
}

}  // namespace

ConnectionFlow::ConnectionFlow(const BrowserRegistration& registration, std::string name)
    : registration_(registration), name_(std::move(name)) {}

Outcome ConnectionFlow::connectAutomatically(const std::optional<std::string>& builtInID,
                                             bool automaticConnectionDisabled) const {
  if (!builtInID || automaticConnectionDisabled) {
    return {};
  }
  if (!registration_.installedInApplications()) {
    return failed({RegistrationError::notInstalled, {}});
  }
  // A browser used for the first time since the last launch gets its manifests too.
  if (registration_.connectedBrowsers(*builtInID) != registration_.presentBrowsers()) {
    if (const auto failure = registration_.registerExtension(*builtInID)) {
      return failed(*failure);
    }
  }
  return {Notice{readyNotice, false}, {}};
}

Outcome ConnectionFlow::connect(const std::string& id) const {
  if (!registration_.installedInApplications()) {
    return {
        Notice{"Install " + name_ + ", open the installed copy, then connect the extension.", true},
        {}};
  }
  if (const auto failure = registration_.registerExtension(id)) {
    return failed(*failure);
  }
  return {Notice{readyNotice, false}, {id, false}};
}

Outcome ConnectionFlow::disconnect() const {
  if (const auto failure = registration_.disconnect()) {
    return failed(*failure);
  }
  return {Notice{removedNotice, false}, {std::nullopt, true}};
}

ConnectionStatus ConnectionFlow::status(const std::string& id) const {
  ConnectionStatus status;
  status.configured = registration_.configured(id);
  status.text = status.configured ? "Chrome connection configured" : "Connect the Chrome extension";
  status.connectTitle = status.configured ? "Reconnect extension" : "Connect extension";
  for (const std::string_view browser : registration_.connectedBrowsers(id)) {
    status.connectedLine += (status.connectedLine.empty() ? "Connected in " : ", ");
    status.connectedLine += browser;
  }
  return status;
}

}  // namespace quelvar
