// Feeds audio to a decoder and turns its hypotheses into partial and final results.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "platform/AnalyzerInputQueue.hpp"
#include "platform/SpeechRecognition.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxDecoder.hpp"

namespace quelvar::pocketsphinx {

// Runs on the analyzer's thread. An utterance ends where the decoder's voice-activity detector
// hears speech stop, and when the input is finished; each ending yields one final result.
class DecodeLoop {
 public:
  // Audio goes to the decoder in pieces of 25 ms: a stop request waits for one piece at most,
  // about 10 ms of decoding, and the engine's cost per call is negligible at this size.
  static constexpr std::size_t kChunkSamples = 400;
  // The hypothesis is looked at after every 0.2 s of audio, often enough for live captions and
  // rarely enough that asking costs next to nothing.
  static constexpr std::size_t kPartialIntervalSamples = 3200;

  using Publish = std::function<void(SpeechResult)>;

  DecodeLoop(PocketSphinxDecoder& decoder, const std::atomic<bool>& stop, Publish publish)
      : decoder_(decoder), stop_(stop), publish_(std::move(publish)) {}

  // Consumes `input` until it is finished (then closes the last utterance), cancelled or
  // `stop` is set (then leaves the utterance open). Returns the decoder's failure, if any.
  Status run(AnalyzerInputQueue& input);

  // The steps of `run`, for callers that hold the samples themselves.
  Status begin() { return decoder_.startUtterance(); }
  Status feed(std::span<const std::int16_t> samples);
  Status finish();

 private:
  Status closeUtterance();

  PocketSphinxDecoder& decoder_;
  const std::atomic<bool>& stop_;
  Publish publish_;
  bool speechHeard_ = false;
  std::string lastPartial_;
  std::size_t sinceLastLook_ = 0;
};

// Whether buffers of `format` can go to the decoder as they are.
bool isDecoderFormat(const AudioFormat& format);

}  // namespace quelvar::pocketsphinx
