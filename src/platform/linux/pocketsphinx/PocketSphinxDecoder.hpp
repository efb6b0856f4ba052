// One PocketSphinx decoder with a loaded model: the only code that calls the engine directly.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/PlatformError.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxCatalogue.hpp"

struct ps_decoder_s;
struct cmd_ln_s;

namespace quelvar::pocketsphinx {

// Not thread-safe: one thread at a time uses a decoder.
class PocketSphinxDecoder {
 public:
  // Loads the model's files (slow: call it off the main thread).
  static Expected<std::unique_ptr<PocketSphinxDecoder>> load(const RecogniserModel& model);
  ~PocketSphinxDecoder();
  PocketSphinxDecoder(const PocketSphinxDecoder&) = delete;
  PocketSphinxDecoder& operator=(const PocketSphinxDecoder&) = delete;

  // Forgets whatever an earlier user left behind (an open utterance, the noise estimate) so
  // that the next stream starts afresh.
  Status startStream();
  Status startUtterance();
  Status process(std::span<const std::int16_t> samples);
  Status endUtterance();
  bool utteranceOpen() const { return utteranceOpen_; }

  // Whether the voice-activity detector heard speech in the last processed samples.
  bool inSpeech() const;
  // The best hypothesis so far (partial while an utterance is open), "" when there is none.
  std::string hypothesis() const;

  ps_decoder_s* engine() { return decoder_; }

 private:
  PocketSphinxDecoder(cmd_ln_s* config, ps_decoder_s* decoder)
      : config_(config), decoder_(decoder) {}

  cmd_ln_s* config_;
  ps_decoder_s* decoder_;
  bool utteranceOpen_ = false;
};

// Stops PocketSphinx from logging to standard error, which the hosts reserve for their own lines.
void silenceEngineLogging();

}  // namespace quelvar::pocketsphinx
