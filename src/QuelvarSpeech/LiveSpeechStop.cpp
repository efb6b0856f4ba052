// Pipeline shutdown: fence off old work, cancel everything, wait for it, give resources back.
#include "QuelvarSpeech/LiveSpeech.hpp"

namespace quelvar {

asio::awaitable<void> LiveSpeech::stop() {
  ++generation;
  if (input) {
    input->finish();
    input.reset();
  }
  // Both tasks are cancelled before the analyzer, so the stream error its cancellation may cause
  // reaches a collector that already knows to stay silent.
  if (collector) {
    collector->cancel();
  }
  if (translationWorker) {
    translationWorker->cancel();
  }
  pendingTranslation.reset();
  // An idle session is kept for a later start of its direction: once the tasks below have been
  // joined, nothing of this pipeline can use it again, so no caption of it can come out of it.
  std::shared_ptr<TranslationSession> idle;
  if (translator) {
    if (translating) {
      translator->cancel();
    } else {
      idle = translator;
    }
    translator.reset();
  }
  if (analyzer) {
    const std::shared_ptr<SpeechAnalyzer> finishing = analyzer;
    co_await finishing->cancelAndFinishNow();
  }
  if (const std::shared_ptr<Task> task = collector) {
    co_await task->join();
  }
  // The worker may have cleared its own handle while we waited.
  if (const std::shared_ptr<Task> task = translationWorker) {
    co_await task->join();
  }
  translationWorker.reset();
  if (idle) {
    warmTranslation = WarmTranslation{translatorSource, translatorTarget, std::move(idle)};
  }
  lastTranslationStarted.reset();
  collector.reset();
  analyzer.reset();
  converter.reset();
  format.reset();
  if (locale) {
    co_await platform_.speech.release(*locale);
  }
  locale.reset();
  frame = 0;
  sequence = 0;
}

}  // namespace quelvar
