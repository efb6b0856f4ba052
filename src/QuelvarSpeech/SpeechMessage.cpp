// Validation of inbound speech messages in the protocol's order, and their dispatch.
#include "QuelvarSpeech/SpeechMessage.hpp"

#include "common/Json.hpp"
#include "common/Text.hpp"

namespace quelvar {

namespace {

SpeechMessage parseStart(const nlohmann::json& message) {
  const std::string* source = stringField(message, "source");
  const std::string* target = stringField(message, "target");
  if (!source || !target || !isValidPair(*source, *target)) {
    return RefusedMessage{speech_error::unsupportedPair};
  }
  return StartMessage{*source, *target};
}

SpeechMessage parsePcm(const nlohmann::json& message) {
  const RefusedMessage refused{speech_error::invalidAudio};
  const std::string* data = stringField(message, "data");
  if (!data) {
    return refused;
  }
  std::optional<std::string> audio = decodeBase64(*data);
  if (!audio || audio->empty() || audio->size() > kMaxAudioBytes || audio->size() % 2 != 0) {
    return refused;
  }
  const auto sequence = message.find("sequence");
  const std::optional<std::int64_t> number =
      sequence == message.end() ? std::nullopt : wholeNumber(*sequence);
  if (!number) {
    return refused;
  }
  return PcmMessage{std::move(*audio), *number};
}

}  // namespace

SpeechMessage parseSpeechMessage(std::string_view body) {
  const RefusedMessage invalid{speech_error::invalidRequest};
  const std::optional<nlohmann::json> message = parseObject(body);
  if (!message) {
    return invalid;
  }
  const auto version = message->find("version");
  if (version == message->end() || wholeNumber(*version) != 1) {
    return invalid;
  }
  const std::string* type = stringField(*message, "type");
  if (!type) {
    return invalid;
  }
  if (*type == "start") {
    return parseStart(*message);
  }
  if (*type == "pcm") {
    return parsePcm(*message);
  }
  if (*type == "stop") {
    return StopMessage{};
  }
  if (*type == "ping") {
    return PingMessage{};
  }
  return invalid;
}

asio::awaitable<void> handleMessage(std::string_view body, LiveSpeech& speech,
                                    const SpeechOutput& output) {
  SpeechMessage message = parseSpeechMessage(body);
  if (auto* refused = std::get_if<RefusedMessage>(&message)) {
    output.emit(errorEvent(refused->error));
  } else if (auto* start = std::get_if<StartMessage>(&message)) {
    co_await speech.start(std::move(start->source), std::move(start->target));
  } else if (auto* pcm = std::get_if<PcmMessage>(&message)) {
    speech.feed(pcm->audio, pcm->sequence);
  } else if (std::holds_alternative<StopMessage>(message)) {
    co_await speech.stop();
  } else {
    static const nlohmann::json pong = {{"type", "pong"}};  // built once: pings measure transport
    output.emit(pong);
  }
}

}  // namespace quelvar
