// Loads the test extension, finds its service worker target and evaluates calls inside it.
#include "ExtensionWorker.hpp"

#include <utility>

namespace quelvar::browser {
namespace {

using nlohmann::json;

// The target id of the extension's service worker, from the discovery events.
std::string awaitWorkerTarget(DevToolsPipe& devTools, const std::string& extensionID,
                              Clock::time_point deadline) {
  const std::string prefix = "chrome-extension://" + extensionID + "/";
  for (;;) {
    std::optional<json> event = devTools.nextEvent(deadline);
    if (!event) {
      throw DevToolsError("the service worker of " + extensionID + " did not start");
    }
    const std::string method = event->value("method", "");
    if (method != "Target.targetCreated" && method != "Target.targetInfoChanged") {
      continue;
    }
    const json info = (*event)["params"].value("targetInfo", json::object());
    if (info.value("type", "") == "service_worker" && info.value("url", "").rfind(prefix, 0) == 0) {
      return info.value("targetId", "");
    }
  }
}

}  // namespace

ExtensionWorker::ExtensionWorker(DevToolsPipe& devTools, std::string id, std::string session)
    : devTools_(&devTools), id_(std::move(id)), session_(std::move(session)) {}

ExtensionWorker ExtensionWorker::load(DevToolsPipe& devTools, const std::filesystem::path& folder,
                                      Clock::time_point deadline) {
  // Discovery first: it reports targets that exist already, so a worker that starts before
  // loadUnpacked returns is not missed.
  devTools.call("Target.setDiscoverTargets", {{"discover", true}}, deadline);
  const json loaded =
      devTools.call("Extensions.loadUnpacked", {{"path", folder.string()}}, deadline);
  const std::string id = loaded.value("id", "");
  const std::string target = awaitWorkerTarget(devTools, id, deadline);
  const json attached =
      devTools.call("Target.attachToTarget", {{"targetId", target}, {"flatten", true}}, deadline);
  ExtensionWorker worker(devTools, id, attached.value("sessionId", ""));
  // A worker started while DevTools watches waits for a debugger before running its script
  // (only its function declarations exist by then); let it run.
  devTools.call("Runtime.runIfWaitingForDebugger", json::object(), deadline, worker.session_);

  // The target can be reported before its script has run; wait inside the worker until it has.
  worker.evaluate(
      "new Promise((resolve) => { const check = () => globalThis.quelvarTest ? resolve(true) : "
      "setTimeout(check, 10); check(); })",
      deadline);
  return worker;
}

json ExtensionWorker::call(std::string_view function, const json& argument,
                           Clock::time_point deadline) {
  return evaluate("quelvarTest." + std::string(function) + "(" + argument.dump() + ")", deadline);
}

json ExtensionWorker::evaluate(const std::string& expression, Clock::time_point deadline) {
  const json params = {
      {"expression", expression},
      {"awaitPromise", true},
      {"returnByValue", true},
  };
  const json reply = devTools_->call("Runtime.evaluate", params, deadline, session_);
  if (reply.contains("exceptionDetails")) {
    const json& details = reply["exceptionDetails"];
    const json exception = details.value("exception", json::object());
    throw DevToolsError("the extension threw: " +
                        exception.value("description", details.value("text", "?")));
  }
  return reply.value("result", json::object()).value("value", json());
}

}  // namespace quelvar::browser
