// Pipeline start-up: availability checks, then the recogniser, converter, analyzer and session.
#include <algorithm>
#include <string>
#include <utility>

#include "QuelvarSpeech/LiveSpeech.hpp"
#include "common/Text.hpp"

namespace quelvar {

namespace {

// Neither a best format nor a converter to it: audio cannot reach the analyzer.
PlatformError featureUnsupported() {
  return {error_domain::audio, 3328, "The analyzer's audio format is not supported."};
}

// A service that handed out no object where it must: reported like any failed step, never
// dereferenced.
PlatformError missingPart() {
  return {error_domain::pipeline, 1, "The service provided no object for this step."};
}

}  // namespace

LiveSpeech::LiveSpeech(asio::any_io_executor executor, Platform platform, SpeechOutput output)
    : executor_(std::move(executor)), platform_(platform), output_(std::move(output)) {}

asio::awaitable<void> LiveSpeech::start(std::string source, std::string targetCode) {
  co_await stop();
  const std::int64_t startGeneration = generation;
  // Only a start of the same direction may use the warm session; any other start ends it.
  if (warmTranslation &&
      (warmTranslation->source != source || warmTranslation->targetCode != targetCode)) {
    warmTranslation->session->cancel();
    warmTranslation.reset();
  }

  const std::optional<std::string> supported =
      co_await platform_.speech.supportedLocale(speechLocaleCode(source));
  if (!supported) {
    emitError(speech_error::speechUnsupported);
    co_return;
  }
  const std::vector<std::string> installed = co_await platform_.speech.installedLocales();
  if (std::find(installed.begin(), installed.end(), *supported) == installed.end()) {
    emitError(speech_error::speechModelsMissing);
    co_return;
  }
  // Translation uses the codes as received, not the speech locale.
  if (co_await platform_.translation.status(source, targetCode) != LanguageStatus::installed) {
    emitError(speech_error::modelsNotInstalled);
    co_return;
  }

  const Expected<bool> reserved = co_await platform_.speech.reserve(*supported);
  if (!reserved.ok()) {
    co_await failStartup("reserve speech model", reserved.error());
    co_return;
  }
  if (reserved.value()) {
    locale = supported;
  }

  std::shared_ptr<SpeechTranscriber> transcriber = platform_.speech.makeTranscriber(*supported);
  std::optional<AudioFormat> best;
  if (transcriber) {
    best = co_await platform_.speech.bestAvailableAudioFormat(*transcriber);
  }
  std::unique_ptr<AudioConverter> made = best ? platform_.makeConverter(pcmFormat, *best) : nullptr;
  if (!made) {
    co_await failStartup("configure audio format", featureUnsupported());
    co_return;
  }
  format = best;
  converter = std::move(made);

  analyzer = platform_.speech.makeAnalyzer(transcriber);

  translator = takeTranslationSession(source, targetCode);
  Status prepared = missingPart();
  if (translator) {
    prepared = co_await translator->prepareTranslation();
  }
  if (!prepared.ok()) {
    if (translator) {
      translator->cancel();  // not kept for a later start: it could not get ready
      translator.reset();
    }
    co_await failStartup("prepare translation", prepared.error());
    co_return;
  }

  input = std::make_shared<AnalyzerInputQueue>(AnalyzerInputQueue::kCapacity);

  // The collector runs before the analyzer starts, so no early result can be missed.
  launchCollector(transcriber, startGeneration, targetCode);

  Status started = missingPart();
  if (analyzer) {
    started = co_await analyzer->start(input);
  }
  if (!started.ok()) {
    co_await failStartup("start speech analyzer", started.error());
    co_return;
  }
  output_.emit({{"type", "ready"}});
}

std::shared_ptr<TranslationSession> LiveSpeech::takeTranslationSession(
    const std::string& source, const std::string& targetCode) {
  translatorSource = source;
  translatorTarget = targetCode;
  if (std::optional<WarmTranslation> warm = std::exchange(warmTranslation, std::nullopt)) {
    return warm->session;  // of this direction: start() ended any other
  }
  return platform_.translation.makeSession(source, targetCode);
}

asio::awaitable<void> LiveSpeech::failStartup(std::string_view label, const PlatformError& error) {
  const std::string detail =
      std::string(label) + ": " + error.domain + " (" + std::to_string(error.code) + ")";
  output_.diagnostic("Speech startup failed: " + detail + "\n");
  co_await stop();
  output_.emit({{"type", "error"}, {"error", speech_error::speechUnavailable}, {"detail", detail}});
}

}  // namespace quelvar
