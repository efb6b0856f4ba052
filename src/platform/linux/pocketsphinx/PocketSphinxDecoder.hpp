// One PocketSphinx decoder with a loaded model: the only code that calls the engine directly.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/PlatformError.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxCatalogue.hpp"
#include "platform/linux/pocketsphinx/SpeechDecoder.hpp"

struct ps_decoder_s;
struct cmd_ln_s;

namespace quelvar::pocketsphinx {

class PocketSphinxDecoder final : public SpeechDecoder {
 public:
  // Loads the model's files (slow: call it off the main thread).
  static Expected<std::unique_ptr<PocketSphinxDecoder>> load(const RecogniserModel& model);
  ~PocketSphinxDecoder();
  PocketSphinxDecoder(const PocketSphinxDecoder&) = delete;
  PocketSphinxDecoder& operator=(const PocketSphinxDecoder&) = delete;

  // Forgets whatever an earlier user left behind (an open utterance, the noise estimate) so
  // that the next stream starts afresh.
  Status startStream();
  Status startUtterance() override;
  Status process(std::span<const std::int16_t> samples) override;
  Status endUtterance() override;
  bool utteranceOpen() const override { return utteranceOpen_; }
  bool inSpeech() const override;
  std::string hypothesis() const override;
  void preferLightSearch(bool light) override { preferLight_ = light; }

  ps_decoder_s* engine() { return decoder_; }

 private:
  PocketSphinxDecoder(cmd_ln_s* config, ps_decoder_s* decoder)
      : config_(config), decoder_(decoder) {}

  cmd_ln_s* config_;
  ps_decoder_s* decoder_;
  bool utteranceOpen_ = false;
  bool preferLight_ = false;
};

// Stops PocketSphinx from logging to standard error, which the hosts reserve for their own lines.
void silenceEngineLogging();

}  // namespace quelvar::pocketsphinx
