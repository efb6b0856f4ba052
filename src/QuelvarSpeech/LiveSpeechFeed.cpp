// Audio intake: sequence check, conversion to the analyzer's format, timestamps, hand-off.
#include <cmath>
#include <cstring>
#include <limits>

#include "QuelvarSpeech/LiveSpeech.hpp"

namespace quelvar {

namespace {

// Room for the rate change plus a margin for what the converter held back earlier. Nothing when
// the figure does not fit a frame count (an absurd analyzer rate).
std::optional<std::uint32_t> outputCapacity(double sampleRate, std::uint32_t frames) {
  const double capacity = sampleRate * frames / LiveSpeech::kWireSampleRate + 64.0;
  if (!(capacity >= 1.0) || capacity >= std::numeric_limits<std::uint32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(capacity);
}

// The sample rate as a whole number of ticks per second, truncated.
std::int32_t timescale(double sampleRate) {
  constexpr double kLargest = std::numeric_limits<std::int32_t>::max();
  return sampleRate < kLargest ? static_cast<std::int32_t>(sampleRate)
                               : std::numeric_limits<std::int32_t>::max();
}

}  // namespace

void LiveSpeech::feed(std::string_view data, std::int64_t sequenceNumber) {
  if (sequenceNumber != sequence) {
    emitError(speech_error::audioSequence);
    return;
  }
  if (!format || !converter || !input) {
    emitError(speech_error::audioSequence);
    return;
  }
  // From here on the message counts as consumed, whatever happens to its audio.
  sequence = sequenceNumber + 1;

  const auto frames = static_cast<std::uint32_t>(data.size() / sizeof(std::int16_t));
  if (frames == 0) {
    return;
  }
  const std::optional<std::uint32_t> capacity = outputCapacity(format->sampleRate, frames);
  if (!capacity) {
    return;
  }
  AudioBuffer in(pcmFormat, frames);
  auto out = std::make_shared<AudioBuffer>(*format, *capacity);
  in.setFrameLength(frames);
  // Wire samples are little-endian, like the machines this runs on.
  std::memcpy(in.data(), data.data(), std::size_t{frames} * sizeof(std::int16_t));

  // The converter is never told that the stream ended, so messages join into one signal.
  if (!converter->convert(in, *out).ok()) {
    emitError(speech_error::invalidAudio);
    return;
  }

  const std::int64_t startFrame = frame;
  frame += out->frameLength();
  if (out->frameLength() == 0) {
    return;
  }
  // A dropped buffer keeps its place on the timeline: later buffers are not shifted into the gap.
  const AnalyzerInput item{std::move(out), startFrame, timescale(format->sampleRate)};
  if (input->yield(item) == AnalyzerInputQueue::YieldResult::dropped) {
    emitError(speech_error::audioOverload);
  }
}

}  // namespace quelvar
