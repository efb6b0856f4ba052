// One PocketSphinx decoder with a loaded model: the only code that calls the engine directly.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/PlatformError.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxCatalogue.hpp"
#include "platform/linux/pocketsphinx/SpeechDecoder.hpp"

struct ps_decoder_s;
struct cmd_ln_s;

namespace quelvar::pocketsphinx {

// Engine options as its command line takes them, for example {"-maxhmmpf", "3000"}.
using EngineOptions = std::vector<std::pair<std::string, std::string>>;

// Not thread-safe: one thread at a time uses a decoder.
class PocketSphinxDecoder final : public SpeechDecoder {
 public:
  // Loads the model's files (slow: call it off the main thread).
  // `options` replace the service's defaults (for measurements).
  static Expected<std::unique_ptr<PocketSphinxDecoder>> load(const RecogniserModel& model,
                                                             const EngineOptions& options = {});
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
  // Whether the language model of the full search has the word.
  bool knowsWord(const std::string& word) const;
  std::string hypothesis() const override;
  void preferLightSearch(bool light) override { preferLight_ = light; }

  bool lightSearchInUse() const { return lightInUse_; }

 private:
  PocketSphinxDecoder(cmd_ln_s* config, ps_decoder_s* decoder);
  void chooseSearch();

  cmd_ln_s* config_;
  ps_decoder_s* decoder_;
  bool utteranceOpen_ = false;
  std::string fullSearch_;
  bool preferLight_ = false;
  bool lightSearchTried_ = false;
  bool lightSearchBuilt_ = false;
  bool lightInUse_ = false;
};

// Stops PocketSphinx from logging to standard error, which the hosts reserve for their own lines.
void silenceEngineLogging();

}  // namespace quelvar::pocketsphinx
