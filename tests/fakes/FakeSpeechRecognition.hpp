// A scriptable speech recognition service: the test decides every answer and pushes every result.
#pragma once

#include <asio/experimental/channel.hpp>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/SpeechRecognition.hpp"

namespace quelvar::testing {

class FakeTranscriber final : public SpeechTranscriber {
 public:
  FakeTranscriber(const asio::any_io_executor& executor, std::string locale)
      : locale_(std::move(locale)), results_(executor, 1024) {}

  const std::string& locale() const override { return locale_; }

  // As the engine's stream does: what waits is read even by a cancelled reader, then nothing.
  asio::awaitable<SpeechResultEvent> nextResult() override {
    std::optional<SpeechResultEvent> event;
    results_.try_receive(
        [&](std::error_code, SpeechResultEvent waiting) { event = std::move(waiting); });
    if (!event && !co_await isCancellationRequested()) {
      auto [error, received] = co_await results_.async_receive(useTuple);
      if (!error) {
        event = std::move(received);
      }
    }
    co_return event ? std::move(*event) : cancelledError();
  }

  // A result, a failure or the end, as the engine would send it.
  void push(SpeechResultEvent event) { results_.try_send(std::error_code(), std::move(event)); }

 private:
  std::string locale_;
  asio::experimental::channel<void(std::error_code, SpeechResultEvent)> results_;
};

// Records "analyzer.start" and "analyzer.cancelAndFinishNow" in the service's calls.
struct FakeAnalyzer final : SpeechAnalyzer {
  FakeAnalyzer(std::vector<std::string>& calls, const Status& startAnswer,
               std::shared_ptr<FakeTranscriber> transcriber)
      : calls(calls), startAnswer(startAnswer), transcriber(std::move(transcriber)) {}

  asio::awaitable<Status> start(std::shared_ptr<AnalyzerInputQueue> queue) override {
    calls.push_back("analyzer.start");
    input = std::move(queue);
    co_return startAnswer;
  }
  asio::awaitable<void> cancelAndFinishNow() override {
    calls.push_back("analyzer.cancelAndFinishNow");
    cancelled = true;
    if (input) {
      input->cancel();
    }
    transcriber->push(SpeechResultsEnd{});
    co_return;
  }

  std::vector<std::string>& calls;
  const Status& startAnswer;
  std::shared_ptr<FakeTranscriber> transcriber;
  std::shared_ptr<AnalyzerInputQueue> input;  // the queue the pipeline feeds; never drained here
  bool cancelled = false;
};

// Records "downloadAndInstall <locale>" in the service's calls and gives its answer.
struct FakeInstallationRequest final : AssetInstallationRequest {
  std::function<Status()> download;
  asio::awaitable<Status> downloadAndInstall() override { co_return download(); }
};

class FakeSpeechRecognition final : public SpeechRecognitionService {
 public:
  explicit FakeSpeechRecognition(asio::any_io_executor executor) : executor_(std::move(executor)) {}

  // Script: which identifiers are supported (and as what), which are installed, and the answers.
  std::map<std::string, std::string> supported{{"en", "en-US"}, {"en-US", "en-US"}};
  std::vector<std::string> installed{"en-US"};
  Expected<bool> reserveAnswer = true;
  std::optional<AudioFormat> bestFormat = AudioFormat{16000.0, SampleType::int16, 1};
  Status analyzerStartAnswer;
  Expected<bool> assetRequestAnswer = false;  // true: a request is needed; false: none
  Status downloadAnswer;

  // Every call, in order, as short strings such as "reserve en-US".
  std::vector<std::string> calls;
  std::shared_ptr<FakeTranscriber> transcriber;  // the newest one made
  std::shared_ptr<FakeAnalyzer> analyzer;        // the newest one made

  asio::awaitable<std::optional<std::string>> supportedLocale(const std::string& id) override {
    calls.push_back("supportedLocale " + id);
    auto found = supported.find(id);
    co_return found == supported.end() ? std::nullopt : std::optional(found->second);
  }
  asio::awaitable<std::vector<std::string>> installedLocales() override { co_return installed; }
  asio::awaitable<Expected<bool>> reserve(const std::string& locale) override {
    calls.push_back("reserve " + locale);
    co_return reserveAnswer;
  }
  asio::awaitable<void> release(const std::string& locale) override {
    calls.push_back("release " + locale);
    co_return;
  }
  std::shared_ptr<SpeechTranscriber> makeTranscriber(const std::string& locale) override {
    transcriber = std::make_shared<FakeTranscriber>(executor_, locale);
    return transcriber;
  }
  asio::awaitable<std::optional<AudioFormat>> bestAvailableAudioFormat(
      const SpeechTranscriber&) override {
    co_return bestFormat;
  }
  std::shared_ptr<SpeechAnalyzer> makeAnalyzer(std::shared_ptr<SpeechTranscriber> module) override {
    analyzer = std::make_shared<FakeAnalyzer>(calls, analyzerStartAnswer,
                                              std::static_pointer_cast<FakeTranscriber>(module));
    return analyzer;
  }
  asio::awaitable<Expected<std::unique_ptr<AssetInstallationRequest>>> assetInstallationRequest(
      const std::string& locale) override {
    calls.push_back("assetInstallationRequest " + locale);
    if (!assetRequestAnswer.ok()) {
      co_return assetRequestAnswer.error();
    }
    auto request = std::make_unique<FakeInstallationRequest>();
    request->download = [this, locale] {
      calls.push_back("downloadAndInstall " + locale);
      return downloadAnswer;
    };
    co_return std::unique_ptr<AssetInstallationRequest>(
        assetRequestAnswer.value() ? std::move(request) : nullptr);
  }

 private:
  asio::any_io_executor executor_;
};

}  // namespace quelvar::testing
