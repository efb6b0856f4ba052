// The request kinds behind Host::respond; each completes the reply envelope it is given.
#pragma once

#include <string_view>

#include <nlohmann/json.hpp>

#include "QuelvarHost/Host.hpp"
#include "common/ErrorCodes.hpp"
#include "common/Json.hpp"

namespace quelvar::host {

inline constexpr std::string_view kInvalidRequest = error_code::invalidRequest;
inline constexpr std::string_view kUnsupportedPair = error_code::unsupportedPair;
inline constexpr std::string_view kModelsNotInstalled = error_code::modelsNotInstalled;
inline constexpr std::string_view kTranslationFailed = error_code::translationFailed;
inline constexpr std::string_view kSpeechUnsupported = error_code::speechUnsupported;
inline constexpr std::string_view kSpeechDownloadFailed = error_code::speechDownloadFailed;

// Adds the error code to a reply whose "ok" stays false.
inline void fail(nlohmann::json& reply, std::string_view code) {
  reply["error"] = code;
}

inline void succeed(nlohmann::json& reply) {
  reply["ok"] = true;
}

asio::awaitable<void> answerLanguages(nlohmann::json& reply, HostServices services);
asio::awaitable<void> answerTranslate(const nlohmann::json& request, nlohmann::json& reply,
                                      HostServices services);
asio::awaitable<void> answerDownloadSpeech(const nlohmann::json& request, nlohmann::json& reply,
                                           HostServices services);

}  // namespace quelvar::host
