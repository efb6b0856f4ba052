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
#include "platform/linux/pocketsphinx/SpeechDecoder.hpp"

namespace quelvar::pocketsphinx {

// Runs on the analyzer's thread. An utterance ends where the decoder's voice-activity detector
// hears speech stop, where the length cap cuts it, and when the input is finished; each ending
// yields one final result.
class DecodeLoop {
 public:
  static constexpr std::size_t kSampleRate = 16000;
  // Audio goes to the decoder in pieces of 25 ms: a stop request waits for one piece at most,
  // about 10 ms of decoding, and the engine's cost per call is negligible at this size.
  static constexpr std::size_t kChunkSamples = 400;
  // The hypothesis is looked at after every 0.2 s of audio, often enough for live captions and
  // rarely enough that asking costs next to nothing; once a second while catching up.
  static constexpr std::size_t kPartialIntervalSamples = kSampleRate / 5;
  static constexpr std::size_t kLightPartialIntervalSamples = kSampleRate;
  // Speech without a pause long enough for the voice-activity detector still gets finals of
  // sentence size: past the first length the utterance ends at the next short pause (a run of
  // quiet pieces), past the second wherever it is. This also bounds the decoder's memory, which
  // grows with the length of an utterance.
  static constexpr std::size_t kSoftCapSamples = 8 * kSampleRate;
  static constexpr std::size_t kHardCapSamples = 12 * kSampleRate;
  static constexpr int kPauseChunks = 4;
  // A piece is quiet when its mean level is below this fraction of the utterance's mean so far.
  static constexpr double kQuietRatio = 0.125;
  // Falling behind: this many buffers still wait when one is taken (a quarter of the queue). The
  // loop then decodes more cheaply until the queue is empty again, instead of letting it
  // overflow and lose audio.
  static constexpr std::size_t kBehindBuffers = AnalyzerInputQueue::kCapacity / 4;

  using Publish = std::function<void(SpeechResult)>;
  // Asked when the input has ended with an utterance open: whether anybody will still read its
  // final result. Building that result is the costliest call of an utterance, so it is skipped
  // when the answer is no.
  using FinalWanted = std::function<bool()>;

  DecodeLoop(SpeechDecoder& decoder, const std::atomic<bool>& stop, Publish publish,
             FinalWanted finalWanted = {})
      : decoder_(decoder),
        stop_(stop),
        publish_(std::move(publish)),
        finalWanted_(std::move(finalWanted)) {}

  // Consumes `input` until it is finished (then closes the last utterance if its result is
  // wanted), cancelled or `stop` is set (then abandons the utterance without a result). Returns
  // the decoder's failure, if any.
  Status run(AnalyzerInputQueue& input);

  // The steps of `run`, for callers that hold the samples themselves.
  Status begin() { return decoder_.startUtterance(); }
  Status feed(std::span<const std::int16_t> samples);
  Status finish();

  bool light() const { return light_; }

 private:
  Status processChunk(std::span<const std::int16_t> chunk);
  Status cut();
  Status closeUtterance();
  Status abandon();
  void adjustSetting(std::size_t waiting);
  bool quiet(std::span<const std::int16_t> chunk);

  SpeechDecoder& decoder_;
  const std::atomic<bool>& stop_;
  Publish publish_;
  FinalWanted finalWanted_;
  bool light_ = false;
  bool speechHeard_ = false;
  std::size_t speechSamples_ = 0;  // since speech was first heard in this utterance
  double levelSum_ = 0;            // the pieces' mean levels since then
  int quietChunks_ = 0;
  std::string lastPartial_;
  std::size_t sinceLastLook_ = 0;
};

// Whether buffers of `format` can go to the decoder as they are.
bool isDecoderFormat(const AudioFormat& format);

}  // namespace quelvar::pocketsphinx
