// The test extension's service worker, reached through the DevTools protocol.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "DevToolsPipe.hpp"

namespace quelvar::browser {

class ExtensionWorker {
 public:
  // Installs the unpacked extension in `folder` and attaches to its service worker once the
  // worker's script has defined the functions the test calls. Throws DevToolsError.
  static ExtensionWorker load(DevToolsPipe& devTools, const std::filesystem::path& folder,
                              Clock::time_point deadline);

  // The ID Chromium gave the extension.
  const std::string& id() const { return id_; }

  // Awaits quelvarTest.<function>(argument) in the worker and returns the value it resolved to.
  // Throws DevToolsError when it threw, or did not finish before the deadline.
  nlohmann::json call(std::string_view function, const nlohmann::json& argument,
                      Clock::time_point deadline);

 private:
  ExtensionWorker(DevToolsPipe& devTools, std::string id, std::string session);
  nlohmann::json evaluate(const std::string& expression, Clock::time_point deadline);

  DevToolsPipe* devTools_;
  std::string id_;
  std::string session_;
};

}  // namespace quelvar::browser
