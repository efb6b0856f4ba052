// The speech host's entry: the frame reader, the message loop and the event writer.
#pragma once

#include <cstdint>
#include <string_view>

#include <nlohmann/json.hpp>

#include "common/Framing.hpp"
#include "platform/Platform.hpp"

namespace quelvar {

class SpeechHost {
 public:
  // Runs one native messaging session on `io` (driven on the calling thread) until standard
  // input ends on a frame boundary; returns the exit status (0). A broken input stream, an
  // overfull frame queue, a failed write or an exception that escapes the loop or a background
  // task end the process with status 1 instead.
  static int main(asio::io_context& io, Platform platform);

  // Exactly `count` bytes of standard input, nothing at its end, or a failure part-way.
  static ReadResult readExactly(std::int64_t count);
  // Writes one frame to standard output; ends the process with status 1 if it cannot.
  static void emit(const nlohmann::json& message);
  // Writes one line to standard error; a failure to write is ignored.
  static void diagnostic(std::string_view line);

  SpeechHost() = delete;
};

}  // namespace quelvar
