// Target discovery from DevTools events, and evaluation inside a target's page.
#include "PageTarget.hpp"

namespace quelvar::browser {
namespace {

using nlohmann::json;

// Resolves once `probe` is not null; a mutation observer watches the document and every open
// shadow root that appears, so the page wakes the check, never a timer. A probe that throws
// counts as not yet: a target is reported before its document has been parsed.
constexpr const char* kWaitFor = R"JS(
new Promise((resolve) => {
  const watched = new Set();
  const observer = new MutationObserver(() => check());
  const watch = (node) => {
    if (node && !watched.has(node)) {
      watched.add(node);
      observer.observe(node, {subtree: true, childList: true, characterData: true,
                              attributes: true});
    }
  };
  const check = () => {
    for (const element of document.querySelectorAll('*')) {
      watch(element.shadowRoot);
    }
    let value = null;
    try {
      value = (() => PROBE)();
    } catch (notYet) {
      // The document is still being parsed: its elements are not all there yet.
    }
    if (value !== null && value !== undefined) {
      observer.disconnect();
      resolve(value);
    }
  };
  watch(document);
  check();
}))JS";

}  // namespace

json awaitEvent(DevToolsPipe& devTools, const std::string& method,
                const std::function<bool(const json&)>& matches, Clock::time_point deadline) {
  for (;;) {
    std::optional<json> event = devTools.nextEvent(deadline);
    if (!event) {
      throw DevToolsError("no " + method + " event in time");
    }
    const json params = event->value("params", json::object());
    if (event->value("method", "") == method && matches(params)) {
      return params;
    }
  }
}

json awaitTarget(DevToolsPipe& devTools, const std::function<bool(const json&)>& matches,
                 Clock::time_point deadline) {
  for (;;) {
    std::optional<json> event = devTools.nextEvent(deadline);
    if (!event) {
      throw DevToolsError("the expected target did not appear");
    }
    const std::string method = event->value("method", "");
    if (method != "Target.targetCreated" && method != "Target.targetInfoChanged") {
      continue;
    }
    const json info = (*event)["params"].value("targetInfo", json::object());
    if (matches(info)) {
      return info;
    }
  }
}

PageTarget::PageTarget(DevToolsPipe& devTools, const std::string& targetId,
                       Clock::time_point deadline)
    : devTools_(&devTools) {
  const json attached =
      devTools.call("Target.attachToTarget", {{"targetId", targetId}, {"flatten", true}}, deadline);
  session_ = attached.value("sessionId", "");
}

json PageTarget::call(std::string_view method, const json& params, Clock::time_point deadline) {
  return devTools_->call(method, params, deadline, session_);
}

json PageTarget::evaluate(const std::string& expression, Clock::time_point deadline) {
  const json params = {
      {"expression", expression},
      {"awaitPromise", true},
      {"returnByValue", true},
      {"userGesture", true},
  };
  const json reply = call("Runtime.evaluate", params, deadline);
  if (reply.contains("exceptionDetails")) {
    const json& details = reply["exceptionDetails"];
    const json exception = details.value("exception", json::object());
    throw DevToolsError("the page threw: " +
                        exception.value("description", details.value("text", "?")));
  }
  return reply.value("result", json::object()).value("value", json());
}

json PageTarget::waitFor(const std::string& probe, Clock::time_point deadline) {
  std::string script = kWaitFor;
  script.replace(script.find("PROBE"), 5, "(" + probe + ")");
  return evaluate(script, deadline);
}

}  // namespace quelvar::browser
