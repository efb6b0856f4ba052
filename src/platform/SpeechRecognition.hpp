// The speech recognition services: recogniser inventory, model reservation, transcriber and
// analyzer.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>
#include "platform/async/Asio.hpp"

#include "platform/AnalyzerInputQueue.hpp"
#include "platform/Audio.hpp"
#include "platform/PlatformError.hpp"

namespace quelvar {

struct SpeechResult {
  std::string text;  // plain text, UTF-8
  bool isFinal = false;
};

// The result stream ended normally.
struct SpeechResultsEnd {};

// One step of a transcriber's result stream: a result, its normal end, or its failure.
using SpeechResultEvent = std::variant<SpeechResult, SpeechResultsEnd, PlatformError>;

// The recogniser module of one pipeline; its analyzer publishes results through it.
class SpeechTranscriber {
 public:
  virtual ~SpeechTranscriber() = default;
  virtual const std::string& locale() const = 0;
  // The next event in arrival order. A reader whose task is cancelled gets cancelledError().
  virtual asio::awaitable<SpeechResultEvent> nextResult() = 0;
};

// Runs recognition over the input queue and feeds the transcriber's results.
class SpeechAnalyzer {
 public:
  virtual ~SpeechAnalyzer() = default;
  // Returns once analysis runs; the analyzer then consumes `input` until it is finished.
  virtual asio::awaitable<Status> start(std::shared_ptr<AnalyzerInputQueue> input) = 0;
  // Stops at once, mid-utterance if need be; afterwards the result stream ends.
  virtual asio::awaitable<void> cancelAndFinishNow() = 0;
};

class AssetInstallationRequest {
 public:
  virtual ~AssetInstallationRequest() = default;
  virtual asio::awaitable<Status> downloadAndInstall() = 0;
};

class SpeechRecognitionService {
 public:
  virtual ~SpeechRecognitionService() = default;

  // The recogniser's own identifier for a locale equivalent to `localeIdentifier`, if any.
  virtual asio::awaitable<std::optional<std::string>> supportedLocale(
      const std::string& localeIdentifier) = 0;
  // Identifiers of the locales whose models are on this machine.
  virtual asio::awaitable<std::vector<std::string>> installedLocales() = 0;

  // True: a reservation is held and must be released once. False: none was taken.
  virtual asio::awaitable<Expected<bool>> reserve(const std::string& locale) = 0;
  virtual asio::awaitable<void> release(const std::string& locale) = 0;

  // A live transcriber (volatile and final results) for a supported locale.
  virtual std::shared_ptr<SpeechTranscriber> makeTranscriber(const std::string& locale) = 0;
  virtual asio::awaitable<std::optional<AudioFormat>> bestAvailableAudioFormat(
      const SpeechTranscriber& transcriber) = 0;
  virtual std::shared_ptr<SpeechAnalyzer> makeAnalyzer(
      std::shared_ptr<SpeechTranscriber> transcriber) = 0;

  // What must be installed before the locale can be transcribed; nullptr when nothing is missing.
  virtual asio::awaitable<Expected<std::unique_ptr<AssetInstallationRequest>>>
  assetInstallationRequest(const std::string& locale) = 0;
};

}  // namespace quelvar
