// Inbound speech messages: validation of one frame body, and its dispatch to the pipeline.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "QuelvarSpeech/LiveSpeech.hpp"
#include "QuelvarSpeech/SpeechEvents.hpp"

namespace quelvar {

// Largest decoded "pcm" payload: one second of 16-bit audio at 16000 Hz.
inline constexpr std::size_t kMaxAudioBytes = 32000;

struct StartMessage {
  std::string source;
  std::string target;
};
struct PcmMessage {
  std::string audio;  // decoded bytes: 2 to kMaxAudioBytes, an even count
  std::int64_t sequence = 0;
};
struct StopMessage {};
struct PingMessage {};
// A message refused by validation, answered with this error code.
struct RefusedMessage {
  std::string_view error;
};

using SpeechMessage =
    std::variant<RefusedMessage, StartMessage, PcmMessage, StopMessage, PingMessage>;

// Checks one body in the protocol's order; never throws.
SpeechMessage parseSpeechMessage(std::string_view body);

// Acts on one body; "start" and "stop" complete before this returns. Events go to `emit`.
asio::awaitable<void> handleMessage(std::string_view body, LiveSpeech& speech,
                                    const SpeechOutput& output);

}  // namespace quelvar
