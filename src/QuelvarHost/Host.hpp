// The language host: one native messaging request at a time, each answered with one reply.
#pragma once

#include <cstdint>

#include <nlohmann/json.hpp>

#include "common/Framing.hpp"
#include "platform/SpeechRecognition.hpp"
#include "platform/Translation.hpp"
#include "platform/async/Asio.hpp"

namespace quelvar {

namespace host {
class WarmSessions;
}

// The platform services a request may use; the program passes the real ones, tests fakes.
// Without warm sessions every translation starts its engine afresh.
struct HostServices {
  SpeechRecognitionService& speech;
  TranslationService& translation;
  host::WarmSessions* warm = nullptr;
};

// Where the host reads requests, writes replies and reports a broken transport.
struct HostStreams {
  int input = 0;
  int output = 1;
  int error = 2;
};

struct Host {
  // Reads, answers and writes requests until the input ends (returns 0) or the transport breaks
  // (returns 1 after one line on the error stream). Each request runs to completion on `context`
  // before the next frame is read, so exactly one is in flight and replies keep request order.
  // Translation sessions stay warm between requests and are all ended before this returns.
  static int main(asio::io_context& context, HostServices services, HostStreams streams = {});

  // The reply to one request object. Never fails: every problem becomes an error reply.
  static asio::awaitable<nlohmann::json> respond(nlohmann::json request, HostServices services);

  static ReadResult readExactly(std::int64_t count, int fd = 0);
  // One reply frame; false when it cannot be serialised or written.
  static bool write(const nlohmann::json& reply, int fd = 1);
};

}  // namespace quelvar
