// Recognition results to captions: the collector, the one-slot queue and the paced worker.
#include <string>

#include "QuelvarSpeech/LiveSpeech.hpp"
#include "common/Framing.hpp"
#include "common/Text.hpp"

namespace quelvar {
namespace {

// Bytes of recognised text that waiting finals may add up to before the older ones give way.
constexpr std::size_t kMaxJoinedFinals = 2000;

}  // namespace

void LiveSpeech::launchCollector(std::shared_ptr<SpeechTranscriber> transcriber,
                                 std::int64_t generation, std::string targetCode) {
  collector = Task::spawn(
      executor_, [weakSpeech = weak_from_this(), transcriber = std::move(transcriber), generation,
                  session = translator, target = std::move(targetCode)](Task& task) {
        return runCollector(task, weakSpeech, transcriber, generation, session, target);
      });
}

asio::awaitable<void> LiveSpeech::runCollector(Task& task, std::weak_ptr<LiveSpeech> weakSpeech,
                                               std::shared_ptr<SpeechTranscriber> transcriber,
                                               std::int64_t generation,
                                               std::shared_ptr<TranslationSession> translator,
                                               std::string targetCode) {
  std::int64_t segment = 0;
  for (;;) {
    // Only a weak reference is held across this wait: the pipeline may go away meanwhile.
    SpeechResultEvent event = co_await transcriber->nextResult();
    if (std::holds_alternative<SpeechResultsEnd>(event)) {
      co_return;
    }
    const std::shared_ptr<LiveSpeech> speech = weakSpeech.lock();
    if (!speech || !speech->isCurrent(task, generation)) {
      // Stopping cancels this task before the analyzer, so the error that cancelling the
      // analyzer may cause lands here and stays silent.
      co_return;
    }
    if (const auto* error = std::get_if<PlatformError>(&event)) {
      speech->output_.diagnostic("Speech failure: " + error->domain + " " +
                                 std::to_string(error->code) + " " + error->description + "\n");
      speech->emitError(speech_error::recognitionFailed);
      co_return;
    }
    const auto& result = std::get<SpeechResult>(event);
    std::string text = trimWhitespaceAndNewlines(result.text);
    if (text.empty()) {
      continue;  // not even a final result advances the segment without text
    }
    const bool final = result.isFinal;
    if (final || graphemeCount(text) >= kMinPartialLength) {
      speech->queueTranslation(std::move(text), final, std::to_string(segment), translator,
                               targetCode, generation);
    }
    if (final) {
      ++segment;
    }
  }
}

void LiveSpeech::queueTranslation(std::string text, bool final, std::string segment,
                                  std::shared_ptr<TranslationSession> translator,
                                  std::string targetCode, std::int64_t generation) {
  // Newest wins, except that a waiting final result is never displaced by a partial one, and a
  // final that comes before the waiting one was translated carries it along (up to a bound), so
  // no sentence goes missing from the subtitles when translation lags.
  const bool finalWaits = pendingTranslation && pendingTranslation->final;
  if (finalWaits && final && pendingTranslation->text.size() + text.size() < kMaxJoinedFinals) {
    text = pendingTranslation->text + " " + text;
  }
  if (!finalWaits || final) {
    pendingTranslation = PendingTranslation{std::move(text), final, std::move(segment)};
  }
  if (translationWorker) {
    return;  // the running worker picks the entry up
  }
  translationWorker = Task::spawn(
      executor_, [weakSpeech = weak_from_this(), generation, session = std::move(translator),
                  target = std::move(targetCode)](Task& task) {
        return runTranslationWorker(task, weakSpeech, generation, session, target);
      });
}

asio::awaitable<void> LiveSpeech::runTranslationWorker(
    Task& task, std::weak_ptr<LiveSpeech> weakSpeech, std::int64_t generation,
    std::shared_ptr<TranslationSession> translator, std::string targetCode) {
  // The worker keeps the pipeline alive until it ends; stop() waits for it.
  const std::shared_ptr<LiveSpeech> speech = weakSpeech.lock();
  if (!speech) {
    co_return;
  }
  Clock& clock = speech->platform_.clock;
  while (speech->isCurrent(task, generation) && speech->pendingTranslation) {
    if (speech->lastTranslationStarted) {
      const auto remaining = kTranslationSpacing - (clock.now() - *speech->lastTranslationStarted);
      if (remaining > std::chrono::nanoseconds::zero()) {
        if (!co_await clock.sleepFor(remaining)) {
          // Only cancellation interrupts the sleep, and then the pipeline is being stopped; the
          // waiting entry stays for a later worker.
          if (speech->isCurrent(task, generation)) {
            speech->emitError(speech_error::translationFailed);
          }
          break;
        }
        if (!speech->isCurrent(task, generation) || !speech->pendingTranslation) {
          break;
        }
      }
    }

    PendingTranslation entry = std::move(*speech->pendingTranslation);
    speech->pendingTranslation.reset();
    speech->lastTranslationStarted = clock.now();
    speech->translating = true;
    Expected<std::string> answer = co_await translator->translate(entry.text);
    speech->translating = false;
    if (!speech->isCurrent(task, generation)) {
      break;  // a late answer for a stopped pipeline is dropped
    }
    if (!answer.ok()) {
      speech->emitError(speech_error::translationFailed);
      break;
    }
    const nlohmann::json caption = {{"type", "caption"},
                                    {"source", entry.text},
                                    {"translation", cleanUpTranslation(answer.value(), targetCode)},
                                    {"final", entry.final},
                                    {"segment", entry.segment}};
    // The browser would drop the whole connection over a frame this large; only this caption
    // is lost instead.
    if (!fitsOutboundFrame(caption)) {
      speech->emitError(speech_error::translationFailed);
      break;
    }
    speech->output_.emit(caption);
  }
  speech->clearTranslationWorker(task);
}

void LiveSpeech::clearTranslationWorker(const Task& task) {
  if (translationWorker.get() == &task) {
    translationWorker.reset();
  }
}

}  // namespace quelvar
