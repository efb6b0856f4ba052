// The PocketSphinx decoder: configuration, model loading and the calls of one stream.
#include "platform/linux/pocketsphinx/PocketSphinxDecoder.hpp"

#include <err.h>
#include <pocketsphinx.h>

#include <map>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/linux/pocketsphinx/DictionarySubset.hpp"
#include "platform/linux/pocketsphinx/ModelProbe.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxError.hpp"

namespace quelvar::pocketsphinx {

namespace {

constexpr const char* kLightSearch = "light";

// The flat-lexicon second pass would re-decode every utterance when it ends, several hundred
// milliseconds for a sentence, for little gain on live speech: finals must follow quickly.
// An utterance ends after 0.25 s without speech (the engine's default is 0.5 s, in frames of
// 10 ms), which in running speech is about a sentence; shorter pauses split sentences into
// fragments.
const EngineOptions& defaultOptions() {
  static const EngineOptions options{{"-fwdflat", "no"}, {"-vad_postspeech", "25"}};
  return options;
}

// The cheaper search for catching up: fewer active models and word exits per frame. Measured
// on real and synthesised speech it costs about half the processor time for a point or two more
// word errors (bench/README.md).
struct IntegerOption {
  const char* name;
  long value;
};
constexpr IntegerOption kLightOptions[] = {{"-maxhmmpf", 3000}, {"-maxwpf", 5}};

// The name the engine gives the search of a language model named in its configuration.
constexpr const char* kFullSearch = "_default";

// The engine's configuration and a decoder made from it; either is null on failure (a decoder
// that failed frees nothing of the configuration). The language model is read on a thread of its
// own while the engine loads the acoustic model and the dictionary, which it does not need: a
// tenth of the load, in parallel. That thread reads with a configuration of its own, since the
// engine's set-up writes to the one it is given.
std::pair<cmd_ln_t*, ps_decoder_t*> initDecoder(const RecogniserModel& model,
                                                const std::filesystem::path& dictionary,
                                                const EngineOptions& options) {
  std::map<std::string, std::string> chosen{{"-hmm", model.acousticModel.string()},
                                            {"-lm", model.languageModel.string()},
                                            {"-dict", dictionary.string()}};
  for (const auto& [name, value] : defaultOptions()) {
    chosen[name] = value;
  }
  for (const auto& [name, value] : options) {
    chosen[name] = value;
  }
  const std::string languageModelFile = chosen["-lm"];
  chosen.erase("-lm");
  std::vector<std::string> words;
  for (const auto& [name, value] : chosen) {
    words.push_back(name);
    words.push_back(value);
  }
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  const auto parse = [&] {
    return cmd_ln_parse_r(nullptr, ps_args(), static_cast<int32>(argv.size()), argv.data(), TRUE);
  };
  cmd_ln_t* config = parse();
  if (config == nullptr) {
    return {nullptr, nullptr};
  }
  ngram_model_t* languageModel = nullptr;
  logmath_t* logmath = nullptr;  // borrowed by the model until the search holds it
  std::thread reader([&] {
    cmd_ln_t* readerConfig = parse();
    if (readerConfig == nullptr) {
      return;
    }
    // The same scale as the decoder's own, so that the scores are the ones it would have read.
    logmath = logmath_init(cmd_ln_float32_r(readerConfig, "-logbase"), 0,
                           cmd_ln_boolean_r(readerConfig, "-bestpath"));
    languageModel = ngram_model_read(readerConfig, languageModelFile.c_str(), NGRAM_AUTO, logmath);
    cmd_ln_free_r(readerConfig);
  });
  ps_decoder_t* decoder = ps_init(config);
  reader.join();
  if (decoder != nullptr &&
      (languageModel == nullptr || ps_set_lm(decoder, kFullSearch, languageModel) != 0 ||
       ps_set_search(decoder, kFullSearch) != 0)) {
    ps_free(decoder);
    decoder = nullptr;
  }
  ngram_model_free(languageModel);  // the search keeps its own references
  logmath_free(logmath);
  return {config, decoder};
}

}  // namespace

void silenceEngineLogging() {
  static std::once_flag once;
  std::call_once(once, [] { err_set_logfp(nullptr); });
}

Expected<std::unique_ptr<PocketSphinxDecoder>> PocketSphinxDecoder::load(
    const RecogniserModel& model, const EngineOptions& options) {
  silenceEngineLogging();
  if (!PocketSphinxCatalogue::isInstalled(model)) {
    return makeError(ErrorCode::modelNotInstalled, "The speech model for " + model.locale +
                                                       " is not installed (package " +
                                                       model.package + ").");
  }
  if (Status damaged = probeAcousticModel(model); !damaged.ok()) {
    return damaged.error();
  }
  // The subset loads the same search faster; should the engine refuse it all the same, the whole
  // dictionary is the answer, and the subset is dropped to be made again.
  const bool subset = isCurrentSubset(model);
  cmd_ln_t* config = nullptr;
  ps_decoder_t* decoder = nullptr;
  if (subset) {
    std::tie(config, decoder) = initDecoder(model, subsetFile(model), options);
    if (decoder == nullptr) {
      cmd_ln_free_r(config);
      std::error_code ignored;
      std::filesystem::remove(subsetFile(model), ignored);
    }
  }
  if (decoder == nullptr) {
    std::tie(config, decoder) = initDecoder(model, model.dictionary, options);
  }
  if (config == nullptr) {
    return makeError(ErrorCode::modelLoadFailed, "The speech decoder could not be configured.");
  }
  if (decoder == nullptr) {
    cmd_ln_free_r(config);
    return makeError(ErrorCode::modelLoadFailed,
                     "The speech model for " + model.locale + " could not be loaded.");
  }
  auto loaded = std::unique_ptr<PocketSphinxDecoder>(new PocketSphinxDecoder(config, decoder));
  if (!subset && !model.cacheFolder.empty()) {
    // Made once per model version; a failure to write only leaves the next load as slow.
    (void)writeSubset(model, [&](const std::string& word) { return loaded->knowsWord(word); });
  }
  return loaded;
}

namespace {

// The name of the search a freshly loaded decoder has, its only one. Read through an iterator
// freed here: ps_get_search leaves its own iterator allocated.
std::string initialSearch(ps_decoder_t* decoder) {
  ps_search_iter_t* search = ps_search_iter(decoder);
  if (search == nullptr) {
    return {};
  }
  std::string name = ps_search_iter_val(search);
  ps_search_iter_free(search);
  return name;
}

}  // namespace

PocketSphinxDecoder::PocketSphinxDecoder(cmd_ln_t* config, ps_decoder_t* decoder)
    : config_(config), decoder_(decoder), fullSearch_(initialSearch(decoder)) {}

PocketSphinxDecoder::~PocketSphinxDecoder() {
  ps_free(decoder_);
  cmd_ln_free_r(config_);
}

Status PocketSphinxDecoder::startStream() {
  if (Status error = endUtterance(); !error.ok()) {
    return error;
  }
  preferLight_ = false;
  chooseSearch();
  if (ps_start_stream(decoder_) < 0) {
    return makeError(ErrorCode::decoderFailed, "The speech decoder could not start a stream.");
  }
  return {};
}

// The light search shares the model and language model but has a lexicon tree of its own (about
// 45 MB), so it is built only once a stream first falls behind.
void PocketSphinxDecoder::chooseSearch() {
  if (preferLight_ && !lightSearchTried_) {
    lightSearchTried_ = true;
    std::vector<long> saved;
    for (const IntegerOption& option : kLightOptions) {
      saved.push_back(cmd_ln_int_r(config_, option.name));
      cmd_ln_set_int_r(config_, option.name, option.value);
    }
    // The search takes its limits from the configuration when it is built.
    ngram_model_t* languageModel = ps_get_lm(decoder_, fullSearch_.c_str());
    lightSearchBuilt_ =
        languageModel != nullptr && ps_set_lm(decoder_, kLightSearch, languageModel) == 0;
    for (std::size_t i = 0; i < saved.size(); ++i) {
      cmd_ln_set_int_r(config_, kLightOptions[i].name, saved[i]);
    }
  }
  // Without the light search, or if switching fails, the search in use goes on.
  const bool light = preferLight_ && lightSearchBuilt_;
  if (light != lightInUse_ &&
      ps_set_search(decoder_, light ? kLightSearch : fullSearch_.c_str()) == 0) {
    lightInUse_ = light;
  }
}

Status PocketSphinxDecoder::startUtterance() {
  chooseSearch();
  if (ps_start_utt(decoder_) < 0) {
    return makeError(ErrorCode::decoderFailed, "The speech decoder could not start an utterance.");
  }
  utteranceOpen_ = true;
  return {};
}

Status PocketSphinxDecoder::process(std::span<const std::int16_t> samples) {
  if (ps_process_raw(decoder_, samples.data(), samples.size(), FALSE, FALSE) < 0) {
    return makeError(ErrorCode::decoderFailed, "The speech decoder failed on its audio.");
  }
  return {};
}

Status PocketSphinxDecoder::endUtterance() {
  if (!utteranceOpen_) {
    return {};
  }
  utteranceOpen_ = false;
  if (ps_end_utt(decoder_) < 0) {
    return makeError(ErrorCode::decoderFailed, "The speech decoder could not end an utterance.");
  }
  return {};
}

bool PocketSphinxDecoder::knowsWord(const std::string& word) const {
  // The search holds its language model in a set whose vocabulary is mapped onto the whole
  // dictionary, so only the set can tell whether its model has a word of its own.
  ngram_model_t* languageModels = ps_get_lm(decoder_, fullSearch_.c_str());
  if (languageModels == nullptr) {
    return false;
  }
  const int32 id = ngram_wid(languageModels, word.c_str());
  return id != ngram_unknown_wid(languageModels) &&
         ngram_model_set_known_wid(languageModels, id) != 0;
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
