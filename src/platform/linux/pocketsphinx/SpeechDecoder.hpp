// What the decode loop needs of a decoder: the engine's calls for one stream of utterances.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/PlatformError.hpp"

namespace quelvar::pocketsphinx {

// Not thread-safe: one thread at a time uses a decoder.
class SpeechDecoder {
 public:
  virtual ~SpeechDecoder() = default;

  virtual Status startUtterance() = 0;
  virtual Status process(std::span<const std::int16_t> samples) = 0;
  virtual Status endUtterance() = 0;
  virtual bool utteranceOpen() const = 0;

  // Whether the voice-activity detector heard speech in the last processed samples.
  virtual bool inSpeech() const = 0;
  // The best hypothesis so far (partial while an utterance is open), "" when there is none.
  // After endUtterance this is the final result, which over a long utterance is costly.
  virtual std::string hypothesis() const = 0;

  // Chooses the cheaper search for the utterances started from now on (when the decoder has
  // one); an open utterance keeps the search it began with.
  virtual void preferLightSearch(bool light) = 0;
};

}  // namespace quelvar::pocketsphinx
