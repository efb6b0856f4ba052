// The PocketSphinx decoder: configuration, model loading and the calls of one stream.
#include "platform/linux/pocketsphinx/PocketSphinxDecoder.hpp"

#include <err.h>
#include <pocketsphinx.h>

#include <mutex>

#include "platform/linux/pocketsphinx/ModelProbe.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxError.hpp"

namespace quelvar::pocketsphinx {

void silenceEngineLogging() {
  static std::once_flag once;
  std::call_once(once, [] { err_set_logfp(nullptr); });
}

Expected<std::unique_ptr<PocketSphinxDecoder>> PocketSphinxDecoder::load(
    const RecogniserModel& model) {
  silenceEngineLogging();
  if (!PocketSphinxCatalogue::isInstalled(model)) {
    return makeError(ErrorCode::modelNotInstalled, "The speech model for " + model.locale +
                                                       " is not installed (package " +
                                                       model.package + ").");
  }
  if (Status damaged = probeAcousticModel(model)) {
    return *damaged;
  }
  const std::string hmm = model.acousticModel.string();
  const std::string lm = model.languageModel.string();
  const std::string dict = model.dictionary.string();
  // The flat-lexicon second pass would re-decode every utterance when it ends, several hundred
  // milliseconds for a sentence, for little gain on live speech: finals must follow quickly.
  cmd_ln_t* config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.c_str(), "-lm", lm.c_str(),
                                 "-dict", dict.c_str(), "-fwdflat", "no", nullptr);
  if (config == nullptr) {
    return makeError(ErrorCode::modelLoadFailed, "The speech decoder could not be configured.");
  }
  ps_decoder_t* decoder = ps_init(config);
  if (decoder == nullptr) {
    cmd_ln_free_r(config);
    return makeError(ErrorCode::modelLoadFailed,
                     "The speech model for " + model.locale + " could not be loaded.");
  }
  return std::unique_ptr<PocketSphinxDecoder>(new PocketSphinxDecoder(config, decoder));
}

PocketSphinxDecoder::~PocketSphinxDecoder() {
  ps_free(decoder_);
  cmd_ln_free_r(config_);
}

Status PocketSphinxDecoder::startStream() {
  if (auto error = endUtterance()) {
    return error;
  }
  if (ps_start_stream(decoder_) < 0) {
    return makeError(ErrorCode::decoderFailed, "The speech decoder could not start a stream.");
  }
  return std::nullopt;
}

Status PocketSphinxDecoder::startUtterance() {
  if (ps_start_utt(decoder_) < 0) {
    return makeError(ErrorCode::decoderFailed, "The speech decoder could not start an utterance.");
  }
  utteranceOpen_ = true;
  return std::nullopt;
}

Status PocketSphinxDecoder::process(std::span<const std::int16_t> samples) {
  if (ps_process_raw(decoder_, samples.data(), samples.size(), FALSE, FALSE) < 0) {
    return makeError(ErrorCode::decoderFailed, "The speech decoder failed on its audio.");
  }
  return std::nullopt;
}

Status PocketSphinxDecoder::endUtterance() {
  if (!utteranceOpen_) {
    return std::nullopt;
  }
  utteranceOpen_ = false;
  if (ps_end_utt(decoder_) < 0) {
    return makeError(ErrorCode::decoderFailed, "The speech decoder could not end an utterance.");
  }
  return std::nullopt;
}

bool PocketSphinxDecoder::inSpeech() const {
  return ps_get_in_speech(decoder_) != 0;
}

std::string PocketSphinxDecoder::hypothesis() const {
  int32 score = 0;
  const char* text = ps_get_hyp(decoder_, &score);
  return text == nullptr ? std::string() : std::string(text);
}

}  // namespace quelvar::pocketsphinx
