// The events the speech host sends, the error codes they carry, and where they go.
#pragma once

#include <functional>
#include <string_view>

#include <nlohmann/json.hpp>

namespace quelvar {

namespace speech_error {
inline constexpr std::string_view invalidRequest = "INVALID_REQUEST";
inline constexpr std::string_view unsupportedPair = "UNSUPPORTED_PAIR";
inline constexpr std::string_view invalidAudio = "INVALID_AUDIO";
inline constexpr std::string_view audioSequence = "AUDIO_SEQUENCE";
inline constexpr std::string_view audioOverload = "AUDIO_OVERLOAD";
inline constexpr std::string_view speechUnsupported = "SPEECH_UNSUPPORTED";
inline constexpr std::string_view speechModelsMissing = "SPEECH_MODELS_MISSING";
inline constexpr std::string_view modelsNotInstalled = "MODELS_NOT_INSTALLED";
inline constexpr std::string_view speechUnavailable = "SPEECH_UNAVAILABLE";
inline constexpr std::string_view recognitionFailed = "RECOGNITION_FAILED";
inline constexpr std::string_view translationFailed = "TRANSLATION_FAILED";
}  // namespace speech_error

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

}  // namespace quelvar
