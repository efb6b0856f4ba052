// The live subtitle pipeline: audio in, recognition, paced translation, captions out.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "QuelvarSpeech/SpeechEvents.hpp"
#include "platform/Platform.hpp"
#include "platform/async/Task.hpp"

namespace quelvar {

// All state lives on the main executor; start, feed, stop and the two background tasks
// (collector and translation worker) interleave only at their waits. Stale background work is
// fenced by `generation`, which only stop() changes.
class LiveSpeech : public std::enable_shared_from_this<LiveSpeech> {
 public:
  // The wire format of "pcm" audio: 16-bit signed mono at 16000 Hz.
  static constexpr double kWireSampleRate = 16000.0;
  // Translation requests start at least this far apart.
  static constexpr std::chrono::milliseconds kTranslationSpacing{700};
  // Partial results shorter than this (in user-perceived characters) are not translated.
  static constexpr std::size_t kMinPartialLength = 4;

  LiveSpeech(asio::any_io_executor executor, Platform platform, SpeechOutput output);
  LiveSpeech(const LiveSpeech&) = delete;
  LiveSpeech& operator=(const LiveSpeech&) = delete;

  // Builds the pipeline for one language pair; every outcome is an event.
  asio::awaitable<void> start(std::string source, std::string targetCode);
  // One message of wire audio, already validated (even byte count, at most one second).
  void feed(std::string_view data, std::int64_t sequenceNumber);
  // Tears the pipeline down completely; safe when nothing runs. Emits nothing.
  asio::awaitable<void> stop();

 private:
  struct PendingTranslation {
    std::string text;
    bool final = false;
    std::string segment;
  };

  // A prepared translation session that outlived its pipeline idle, kept for a later start of
  // the same direction so that it skips starting the engine again.
  struct WarmTranslation {
    std::string source;
    std::string targetCode;
    std::shared_ptr<TranslationSession> session;
  };

  asio::awaitable<void> failStartup(std::string_view label, const PlatformError& error);
  // The warm session, kept only for this direction, or a new one.
  std::shared_ptr<TranslationSession> takeTranslationSession(const std::string& source,
                                                             const std::string& targetCode);
  void queueTranslation(std::string text, bool final, std::string segment,
                        std::shared_ptr<TranslationSession> translator, std::string targetCode,
                        std::int64_t generation);

  // The collector captures the transcriber, this pipeline weakly, its generation, the session
  // and the target code.
  void launchCollector(std::shared_ptr<SpeechTranscriber> transcriber, std::int64_t generation,
                       std::string targetCode);
  static asio::awaitable<void> runCollector(Task& task, std::weak_ptr<LiveSpeech> weakSpeech,
                                            std::shared_ptr<SpeechTranscriber> transcriber,
                                            std::int64_t generation,
                                            std::shared_ptr<TranslationSession> translator,
                                            std::string targetCode);
  static asio::awaitable<void> runTranslationWorker(Task& task,
                                                    std::weak_ptr<LiveSpeech> weakSpeech,
                                                    std::int64_t generation,
                                                    std::shared_ptr<TranslationSession> translator,
                                                    std::string targetCode);
  // The worker leaves its slot free for the next one; only its own handle is cleared.
  void clearTranslationWorker(const Task& task);
  bool isCurrent(const Task& task, std::int64_t capturedGeneration) const {
    return !task.isCancelled() && generation == capturedGeneration;
  }
  void emitError(std::string_view code) { output_.emit(errorEvent(code)); }

  asio::any_io_executor executor_;
  Platform platform_;
  SpeechOutput output_;

  std::shared_ptr<TranslationSession> translator;
  std::optional<WarmTranslation> warmTranslation;
  std::string translatorSource;  // the direction of `translator`
  std::string translatorTarget;
  // A translate() of the worker is awaited: cancelling it is what stops it promptly, and a
  // cancelled session cannot be kept.
  bool translating = false;
  std::shared_ptr<SpeechAnalyzer> analyzer;
  std::shared_ptr<AnalyzerInputQueue> input;
  std::shared_ptr<Task> collector;
  std::shared_ptr<Task> translationWorker;
  std::optional<PendingTranslation> pendingTranslation;
  // None stands for the distant past: the next request may start at once.
  std::optional<Clock::TimePoint> lastTranslationStarted;
  std::optional<AudioFormat> format;
  std::unique_ptr<AudioConverter> converter;
  std::optional<std::string> locale;  // held only while the platform granted a reservation
  std::int64_t frame = 0;
  std::int64_t sequence = 0;
  std::int64_t generation = 0;
  const AudioFormat pcmFormat{kWireSampleRate, SampleType::int16, 1};
};

}  // namespace quelvar
