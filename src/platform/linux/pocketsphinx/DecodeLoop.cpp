// The decode loop: chunking, utterance ends, the length cap, throttled partial results and the
// lighter setting while catching up.
#include "platform/linux/pocketsphinx/DecodeLoop.hpp"

#include <algorithm>
#include <cstdlib>

#include "platform/linux/pocketsphinx/PocketSphinxError.hpp"

namespace quelvar::pocketsphinx {

bool isDecoderFormat(const AudioFormat& format) {
  return format.sampleRate == 16000.0 && format.sampleType == SampleType::int16 &&
         format.channels == 1;
}

Status DecodeLoop::run(AnalyzerInputQueue& input) {
  if (Status error = begin(); !error.ok()) {
    return error;
  }
  while (!stop_.load()) {
    std::optional<AnalyzerInput> item = input.next();
    if (!item) {
      break;
    }
    if (!item->buffer || !isDecoderFormat(item->buffer->format())) {
      return makeError(ErrorCode::unsupportedAudio,
                       "The speech analyzer takes 16000 Hz 16-bit mono audio only.");
    }
    adjustSetting(input.size());
    const AudioBuffer& buffer = *item->buffer;
    if (Status error = feed(buffer.int16Samples().first(buffer.frameLength())); !error.ok()) {
      return error;
    }
  }
  if (stop_.load() || input.isCancelled() ||
      (decoder_.utteranceOpen() && finalWanted_ && !finalWanted_())) {
    return abandon();
  }
  return finish();
}

void DecodeLoop::adjustSetting(std::size_t waiting) {
  const bool light = light_ ? waiting > 0 : waiting >= kBehindBuffers;
  if (light != light_) {
    light_ = light;
    decoder_.preferLightSearch(light);
  }
}

Status DecodeLoop::feed(std::span<const std::int16_t> samples) {
  while (!samples.empty() && !stop_.load()) {
    const std::size_t count = std::min(samples.size(), kChunkSamples);
    if (Status error = processChunk(samples.first(count)); !error.ok()) {
      return error;
    }
    samples = samples.subspan(count);
  }
  return {};
}

Status DecodeLoop::processChunk(std::span<const std::int16_t> chunk) {
  if (Status error = decoder_.process(chunk); !error.ok()) {
    return error;
  }
  if (decoder_.inSpeech()) {
    speechHeard_ = true;
  } else if (speechHeard_) {
    return cut();
  }
  if (speechHeard_) {
    speechSamples_ += chunk.size();
    quietChunks_ = quiet(chunk) ? quietChunks_ + 1 : 0;
    if (speechSamples_ >= kHardCapSamples ||
        (speechSamples_ >= kSoftCapSamples && quietChunks_ >= kPauseChunks)) {
      return cut();
    }
  }

  sinceLastLook_ += chunk.size();
  if (sinceLastLook_ >= (light_ ? kLightPartialIntervalSamples : kPartialIntervalSamples)) {
    sinceLastLook_ = 0;
    std::string hypothesis = decoder_.hypothesis();
    if (!hypothesis.empty() && hypothesis != lastPartial_) {
      lastPartial_ = hypothesis;
      publish_(SpeechResult{std::move(hypothesis), false});
    }
  }
  return {};
}

bool DecodeLoop::quiet(std::span<const std::int16_t> chunk) {
  double sum = 0;
  for (const std::int16_t sample : chunk) {
    sum += std::abs(static_cast<int>(sample));
  }
  const double level = sum / static_cast<double>(chunk.size());
  levelSum_ += level * static_cast<double>(chunk.size());
  const double mean = levelSum_ / static_cast<double>(speechSamples_);
  return level < kQuietRatio * mean;
}

// The samples after the cut go to the next utterance: nothing is lost or decoded twice.
Status DecodeLoop::cut() {
  if (Status error = closeUtterance(); !error.ok()) {
    return error;
  }
  return decoder_.startUtterance();
}

Status DecodeLoop::finish() {
  if (!decoder_.utteranceOpen()) {
    return {};
  }
  return closeUtterance();
}

Status DecodeLoop::closeUtterance() {
  if (Status error = decoder_.endUtterance(); !error.ok()) {
    return error;
  }
  std::string hypothesis = decoder_.hypothesis();
  // An utterance that showed partial results always gets its final one, even an empty one, so
  // that the reader knows it is over.
  if (!hypothesis.empty() || !lastPartial_.empty()) {
    publish_(SpeechResult{std::move(hypothesis), true});
  }
  speechHeard_ = false;
  speechSamples_ = 0;
  levelSum_ = 0;
  quietChunks_ = 0;
  lastPartial_.clear();
  sinceLastLook_ = 0;
  return {};
}

// Ends the utterance without asking for its result, leaving the decoder ready for the next user.
Status DecodeLoop::abandon() {
  return decoder_.endUtterance();
}

}  // namespace quelvar::pocketsphinx
