// The request kinds behind Host::respond; each completes the reply envelope it is given.
#pragma once

#include <nlohmann/json.hpp>

#include "QuelvarHost/Host.hpp"

namespace quelvar::host {

inline constexpr const char* kInvalidRequest = "INVALID_REQUEST";
inline constexpr const char* kUnsupportedPair = "UNSUPPORTED_PAIR";
inline constexpr const char* kModelsNotInstalled = "MODELS_NOT_INSTALLED";
inline constexpr const char* kTranslationFailed = "TRANSLATION_FAILED";
inline constexpr const char* kSpeechUnsupported = "SPEECH_UNSUPPORTED";
inline constexpr const char* kSpeechDownloadFailed = "SPEECH_DOWNLOAD_FAILED";

// Adds the error code to a reply whose "ok" stays false.
inline void fail(nlohmann::json& reply, const char* code) {
  reply["error"] = code;
}

inline void succeed(nlohmann::json& reply) {
  reply["ok"] = true;
}

// The string value of `key`, or nullptr when it is missing or not a string.
inline const std::string* stringField(const nlohmann::json& request, const char* key) {
  const auto found = request.find(key);
  return found != request.end() && found->is_string() ? found->get_ptr<const std::string*>()
                                                      : nullptr;
}

asio::awaitable<void> answerLanguages(nlohmann::json& reply, HostServices services);
asio::awaitable<void> answerTranslate(const nlohmann::json& request, nlohmann::json& reply,
                                      HostServices services);
asio::awaitable<void> answerDownloadSpeech(const nlohmann::json& request, nlohmann::json& reply,
                                           HostServices services);

}  // namespace quelvar::host
