// The decode loop: chunking, voice-activity transitions and throttled partial results.
#include "platform/linux/pocketsphinx/DecodeLoop.hpp"

#include <algorithm>

#include "platform/linux/pocketsphinx/PocketSphinxError.hpp"

namespace quelvar::pocketsphinx {

bool isDecoderFormat(const AudioFormat& format) {
  return format.sampleRate == 16000.0 && format.sampleType == SampleType::int16 &&
         format.channels == 1;
}

Status DecodeLoop::run(AnalyzerInputQueue& input) {
  if (auto error = begin()) {
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
    const AudioBuffer& buffer = *item->buffer;
    if (auto error = feed(buffer.int16Samples().first(buffer.frameLength()))) {
      return error;
    }
  }
  if (stop_.load() || input.isCancelled()) {
    return std::nullopt;
  }
  return finish();
}

Status DecodeLoop::feed(std::span<const std::int16_t> samples) {
  while (!samples.empty() && !stop_.load()) {
    const std::size_t count = std::min(samples.size(), kChunkSamples);
    if (auto error = decoder_.process(samples.first(count))) {
      return error;
    }
    samples = samples.subspan(count);

    const bool inSpeech = decoder_.inSpeech();
    if (inSpeech) {
      speechHeard_ = true;
    } else if (speechHeard_) {
      if (auto error = closeUtterance()) {
        return error;
      }
      if (auto error = decoder_.startUtterance()) {
        return error;
      }
      continue;
    }

    sinceLastLook_ += count;
    if (sinceLastLook_ >= kPartialIntervalSamples) {
      sinceLastLook_ = 0;
      std::string hypothesis = decoder_.hypothesis();
      if (!hypothesis.empty() && hypothesis != lastPartial_) {
        lastPartial_ = hypothesis;
        publish_(SpeechResult{std::move(hypothesis), false});
      }
    }
  }
  return std::nullopt;
}

Status DecodeLoop::finish() {
  if (!decoder_.utteranceOpen()) {
    return std::nullopt;
  }
  return closeUtterance();
}

Status DecodeLoop::closeUtterance() {
  if (auto error = decoder_.endUtterance()) {
    return error;
  }
  std::string hypothesis = decoder_.hypothesis();
  // An utterance that showed partial results always gets its final one, even an empty one, so
  // that the reader knows it is over.
  if (!hypothesis.empty() || !lastPartial_.empty()) {
    publish_(SpeechResult{std::move(hypothesis), true});
  }
  speechHeard_ = false;
  lastPartial_.clear();
  sinceLastLook_ = 0;
  return std::nullopt;
}

}  // namespace quelvar::pocketsphinx
