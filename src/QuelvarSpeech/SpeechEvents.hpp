// The events the speech host sends, the error codes they carry, and where they go.
#pragma once

#include <functional>
#include <string_view>

#include <nlohmann/json.hpp>

#include "common/ErrorCodes.hpp"

namespace quelvar {

namespace speech_error = error_code;

// Where the host's output goes: events to the extension, diagnostic lines to standard error.
// Injected so that tests capture both without a process.
struct SpeechOutput {
  std::function<void(const nlohmann::json&)> emit;
  // Takes one complete line, line feed included; failures to write are the sink's business.
  std::function<void(std::string_view)> diagnostic;
};

// {"type": "error", "error": code}: exactly these two keys.
inline nlohmann::json errorEvent(std::string_view code) {
  return {{"type", "error"}, {"error", code}};
}

// {"type": "pong"}: one object for the life of the process, so that the writer can send bytes it
// prepared once instead of serialising the reply to every "ping" (pings measure the transport).
inline const nlohmann::json& pongEvent() {
  static const nlohmann::json pong = {{"type", "pong"}};
  return pong;
}

}  // namespace quelvar
