// The extension's side of a live session, for benchmarks.
#include "SpeechHostClient.hpp"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace quelvar::bench {

SpeechHostClient::SpeechHostClient(const std::string& program)
    : process_(program), reader_(process_) {}

SpeechHostClient::~SpeechHostClient() {
  finish();
}

double SpeechHostClient::ping() {
  const auto began = Clock::now();
  require(send(R"({"version":1,"type":"ping"})"), "the speech host stopped reading");
  require(reader_.waitForType(cursor_, "pong").has_value(), "no pong from the speech host");
  return millisSince(began);
}

double SpeechHostClient::start(const std::string& source, const std::string& target) {
  const auto began = Clock::now();
  require(send(requestBody(
              {{"version", 1}, {"type", "start"}, {"source", source}, {"target", target}})),
          "the speech host stopped reading");
  const auto answer = reader_.waitFor(cursor_, [](const nlohmann::json& message) {
    const std::string type = message.value("type", "");
    return type == "ready" || type == "error";
  });
  require(answer.has_value(), "no answer to \"start\"");
  require(answer->message["type"] == "ready",
          "\"start\" failed: " + answer->message.dump() +
              " (are pocketsphinx-en-us and apertium-eng-spa installed?)");
  sequence_ = 0;
  return millisBetween(began, answer->at);
}

void SpeechHostClient::stop() {
  require(send(R"({"version":1,"type":"stop"})"), "the speech host stopped reading");
  // "stop" has no answer; a ping behind it returns once the pipeline is down.
  ping();
}

void SpeechHostClient::stream(
    const Samples& audio, std::size_t chunk, double speed,
    const std::function<void(std::size_t at, Clock::time_point when)>& sent) {
  const auto began = Clock::now();
  for (std::size_t at = 0; at < audio.size(); at += chunk) {
    if (speed > 0) {
      const double due = static_cast<double>(at) / kSampleRate / speed;
      std::this_thread::sleep_until(
          began + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(due)));
    }
    const std::size_t count = std::min(chunk, audio.size() - at);
    require(send(pcmBody(audio, at, count, sequence_++)), "the speech host stopped reading");
    if (sent) {
      sent(at, Clock::now());
    }
  }
}

int SpeechHostClient::finish() {
  if (finished_) {
    return -1;
  }
  finished_ = true;
  process_.closeInput();
  reader_.join();
  const e2e::HostExit exit = process_.finish();
  if (!exit.errors.empty()) {
    std::fprintf(stderr, "speech host said: %s", exit.errors.c_str());
  }
  return exit.status;
}

}  // namespace quelvar::bench
