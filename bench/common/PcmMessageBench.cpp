// Per-message cost of taking in one second of audio: parse the body, decode the base64, validate.
#include <cstdint>
#include <optional>
#include <string>

#include <benchmark/benchmark.h>

#include "common/Json.hpp"
#include "common/Text.hpp"

namespace {

constexpr std::size_t kOneSecondOfAudio = 32000;  // 16000 Hz, 16-bit, mono

std::string pcmBody() {
  std::string audio(kOneSecondOfAudio, '\0');
  for (std::size_t i = 0; i < audio.size(); ++i) {
    audio[i] = static_cast<char>((i * 7919U) >> 3U);
  }
  const nlohmann::json message = {
      {"version", 1}, {"type", "pcm"}, {"sequence", 12345}, {"data", quelvar::encodeBase64(audio)}};
  return quelvar::serialize(message);
}

struct Audio {
  std::string bytes;
  std::int64_t sequence;
};

// The checks a host makes before the audio reaches the pipeline.
std::optional<Audio> takeAudio(const std::string& body) {
  const auto message = quelvar::parseObject(body);
  if (!message) {
    return std::nullopt;
  }
  const auto version = message->find("version");
  const auto type = message->find("type");
  if (version == message->end() || quelvar::wholeNumber(*version) != 1 || type == message->end() ||
      !type->is_string() || type->get_ref<const std::string&>() != "pcm") {
    return std::nullopt;
  }
  const auto data = message->find("data");
  const auto sequenceValue = message->find("sequence");
  if (data == message->end() || !data->is_string() || sequenceValue == message->end()) {
    return std::nullopt;
  }
  auto bytes = quelvar::decodeBase64(data->get_ref<const std::string&>());
  const auto sequence = quelvar::wholeNumber(*sequenceValue);
  if (!bytes || bytes->empty() || bytes->size() > kOneSecondOfAudio || bytes->size() % 2 != 0 ||
      !sequence) {
    return std::nullopt;
  }
  return Audio{std::move(*bytes), *sequence};
}

void wholeMessage(benchmark::State& state) {
  const std::string body = pcmBody();
  for (auto _ : state) {
    auto audio = takeAudio(body);
    if (!audio || audio->bytes.size() != kOneSecondOfAudio) {
      state.SkipWithError("the message was refused");
      break;
    }
    benchmark::DoNotOptimize(audio);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(body.size()));
}
BENCHMARK(wholeMessage)->Unit(benchmark::kMicrosecond);

void parseOnly(benchmark::State& state) {
  const std::string body = pcmBody();
  for (auto _ : state) {
    benchmark::DoNotOptimize(quelvar::parseObject(body));
  }
}
BENCHMARK(parseOnly)->Unit(benchmark::kMicrosecond);

void decodeOnly(benchmark::State& state) {
  const std::string text = (*quelvar::parseObject(pcmBody()))["data"].get<std::string>();
  for (auto _ : state) {
    benchmark::DoNotOptimize(quelvar::decodeBase64(text));
  }
}
BENCHMARK(decodeOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
