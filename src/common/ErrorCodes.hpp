// The error codes of the hosts' protocol, spelled once: both hosts, the caption tool and the
// fuzzers name them from here, so a renamed code fails to compile instead of silently breaking a
// peer.
#pragma once

#include <array>
#include <string_view>

namespace quelvar::error_code {

inline constexpr std::string_view invalidRequest = "INVALID_REQUEST";
inline constexpr std::string_view unsupportedPair = "UNSUPPORTED_PAIR";
inline constexpr std::string_view modelsNotInstalled = "MODELS_NOT_INSTALLED";
inline constexpr std::string_view translationFailed = "TRANSLATION_FAILED";
inline constexpr std::string_view speechUnsupported = "SPEECH_UNSUPPORTED";
// Speech host only.
inline constexpr std::string_view invalidAudio = "INVALID_AUDIO";
inline constexpr std::string_view audioSequence = "AUDIO_SEQUENCE";
inline constexpr std::string_view audioOverload = "AUDIO_OVERLOAD";
inline constexpr std::string_view speechModelsMissing = "SPEECH_MODELS_MISSING";
inline constexpr std::string_view speechUnavailable = "SPEECH_UNAVAILABLE";
inline constexpr std::string_view recognitionFailed = "RECOGNITION_FAILED";
// Language host only.
inline constexpr std::string_view speechDownloadFailed = "SPEECH_DOWNLOAD_FAILED";

// Every code each host may send.
inline constexpr std::array speechHostCodes{
    invalidRequest,    unsupportedPair,   invalidAudio,        audioSequence,
    audioOverload,     speechUnsupported, speechModelsMissing, modelsNotInstalled,
    speechUnavailable, recognitionFailed, translationFailed};
inline constexpr std::array languageHostCodes{invalidRequest,     unsupportedPair,
                                              modelsNotInstalled, translationFailed,
                                              speechUnsupported,  speechDownloadFailed};

}  // namespace quelvar::error_code
