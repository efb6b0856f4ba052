// Validation of inbound speech messages in the protocol's order, and their dispatch.
#include "QuelvarSpeech/SpeechMessage.hpp"

#include "QuelvarSpeech/FlatObject.hpp"
#include "common/Json.hpp"
#include "common/Text.hpp"

namespace quelvar {

namespace {

// The fields validation reads, from a whole JSON document.
struct DocumentFields {
  const nlohmann::json& message;

  std::optional<std::string_view> string(const char* key) const {
    const std::string* value = stringField(message, key);
    return value ? std::optional<std::string_view>(*value) : std::nullopt;
  }
  // Also a float without a fraction; nothing when absent or not whole.
  std::optional<std::int64_t> whole(const char* key) const {
    const auto value = message.find(key);
    return value == message.end() ? std::nullopt : wholeNumber(*value);
  }
};

// The same from a flat object, whose numbers are all integers.
struct FlatFields {
  const FlatObject& message;

  std::optional<std::string_view> string(const char* key) const {
    const FlatValue* value = message.find(key);
    const auto* text = value ? std::get_if<std::string_view>(value) : nullptr;
    return text ? std::optional<std::string_view>(*text) : std::nullopt;
  }
  std::optional<std::int64_t> whole(const char* key) const {
    const FlatValue* value = message.find(key);
    const auto* number = value ? std::get_if<std::int64_t>(value) : nullptr;
    return number ? std::optional<std::int64_t>(*number) : std::nullopt;
  }
};

template <class Fields>
SpeechMessage parseStart(const Fields& message) {
  const std::optional<std::string_view> source = message.string("source");
  const std::optional<std::string_view> target = message.string("target");
  if (!source || !target || !isValidPair(*source, *target)) {
    return RefusedMessage{speech_error::unsupportedPair};
  }
  return StartMessage{std::string(*source), std::string(*target)};
}

template <class Fields>
SpeechMessage parsePcm(const Fields& message) {
  const RefusedMessage refused{speech_error::invalidAudio};
  const std::optional<std::string_view> data = message.string("data");
  if (!data) {
    return refused;
  }
  std::optional<std::string> audio = decodeBase64(*data);
  if (!audio || audio->empty() || audio->size() > kMaxAudioBytes || audio->size() % 2 != 0) {
    return refused;
  }
  const std::optional<std::int64_t> number = message.whole("sequence");
  if (!number) {
    return refused;
  }
  return PcmMessage{std::move(*audio), *number};
}

template <class Fields>
SpeechMessage parseFields(const Fields& message) {
  const RefusedMessage invalid{speech_error::invalidRequest};
  if (message.whole("version") != 1) {
    return invalid;
  }
  const std::optional<std::string_view> type = message.string("type");
  if (!type) {
    return invalid;
  }
  if (*type == "start") {
    return parseStart(message);
  }
  if (*type == "pcm") {
    return parsePcm(message);
  }
  if (*type == "stop") {
    return StopMessage{};
  }
  if (*type == "ping") {
    return PingMessage{};
  }
  return invalid;
}

}  // namespace

SpeechMessage parseSpeechMessage(std::string_view body) {
  if (const std::optional<FlatObject> flat = FlatObject::read(body)) {
    return parseFields(FlatFields{*flat});
  }
  const std::optional<nlohmann::json> message = parseObject(body);
  if (!message) {
    return RefusedMessage{speech_error::invalidRequest};
  }
  return parseFields(DocumentFields{*message});
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
    output.emit(pongEvent());
  }
}

}  // namespace quelvar
