// One DevTools target (a tab's page, the extension's popup or its offscreen document) that the
// test reads and drives by evaluating JavaScript in it.
#pragma once

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "DevToolsPipe.hpp"

namespace quelvar::browser {

// Waits for the discovery event of a target that `matches` its targetInfo; its targetInfo.
// Needs Target.setDiscoverTargets, which also reports the targets that exist already.
nlohmann::json awaitTarget(DevToolsPipe& devTools,
                           const std::function<bool(const nlohmann::json&)>& matches,
                           Clock::time_point deadline);

// Waits for the event `method` whose params satisfy `matches`; its params. Throws DevToolsError
// when none came before the deadline.
nlohmann::json awaitEvent(DevToolsPipe& devTools, const std::string& method,
                          const std::function<bool(const nlohmann::json&)>& matches,
                          Clock::time_point deadline);

class PageTarget {
 public:
  // Attaches to the target; throws DevToolsError.
  PageTarget(DevToolsPipe& devTools, const std::string& targetId, Clock::time_point deadline);

  // A command sent to this target's session.
  nlohmann::json call(std::string_view method, const nlohmann::json& params,
                      Clock::time_point deadline);

  // The value `expression` gives (awaited when it is a promise), run as by a user's gesture.
  // Throws DevToolsError when it threw or did not finish before the deadline.
  nlohmann::json evaluate(const std::string& expression, Clock::time_point deadline);

  // Waits until `probe` (an expression) gives a value that is not null and does not throw,
  // re-evaluating it on every change of the document (its open shadow roots included), not on a
  // timer.
  nlohmann::json waitFor(const std::string& probe, Clock::time_point deadline);

 private:
  DevToolsPipe* devTools_;
  std::string session_;
};

}  // namespace quelvar::browser
