// A scriptable translation service: each request waits until the test answers or fails it.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Translation.hpp"
#include "platform/async/Event.hpp"

namespace quelvar::testing {

// Answers a translation at once, for tests that cannot step in while it runs.
using ImmediateTranslator = std::function<Expected<std::string>(const std::string& text)>;

class FakeTranslationSession final : public TranslationSession {
 public:
  // `prepareAnswer` is read at each preparation, so a test can change it for a kept session.
  FakeTranslationSession(asio::any_io_executor executor, std::string source,
                         const Status& prepareAnswer, ImmediateTranslator immediate)
      : settled_(executor),
        source_(std::move(source)),
        prepareAnswer_(prepareAnswer),
        immediate_(std::move(immediate)) {}

  asio::awaitable<Status> prepareTranslation() override { co_return prepareAnswer_; }

  asio::awaitable<Expected<std::string>> translate(const std::string& text) override {
    requests.push_back(text);
    if (immediate_) {
      co_return immediate_(text);
    }
    std::optional<Expected<std::string>> outcome;
    waiting_.push_back(&outcome);
    while (!outcome && co_await settled_.waitUnlessCancelled()) {
    }
    std::erase(waiting_, &outcome);
    co_return outcome ? std::move(*outcome) : cancelledError();
  }

  void cancel() override {
    cancelled = true;
    while (answer(cancelledError())) {
    }
  }

  // Settles the oldest request still waiting with a translation or an error; false when none
  // waits.
  bool answer(Expected<std::string> outcome) {
    if (waiting_.empty()) {
      return false;
    }
    *waiting_.front() = std::move(outcome);
    waiting_.pop_front();
    settled_.notify();
    return true;
  }

  const std::string& source() const { return source_; }

  std::vector<std::string> requests;  // every text asked for, in order
  bool cancelled = false;

 private:
  Event settled_;
  std::string source_;
  const Status& prepareAnswer_;
  ImmediateTranslator immediate_;
  std::deque<std::optional<Expected<std::string>>*> waiting_;  // the oldest request first
};

class FakeTranslation final : public TranslationService {
 public:
  explicit FakeTranslation(asio::any_io_executor executor) : executor_(std::move(executor)) {}

  // Script: the known languages, the status of each direction (default unsupported), and what
  // preparing a session answers.
  std::vector<std::string> languages;
  std::map<std::pair<std::string, std::string>, LanguageStatus> statuses;
  Status prepareAnswer;
  // When set, sessions answer every translation at once instead of waiting for the test.
  ImmediateTranslator immediateAnswer;

  std::vector<std::shared_ptr<FakeTranslationSession>> sessions;  // every session made, in order

  asio::awaitable<std::vector<std::string>> supportedLanguages() override { co_return languages; }
  asio::awaitable<LanguageStatus> status(const std::string& source,
                                         const std::string& target) override {
    auto found = statuses.find({source, target});
    co_return found == statuses.end() ? LanguageStatus::unsupported : found->second;
  }
  std::shared_ptr<TranslationSession> makeSession(const std::string& source,
                                                  const std::string&) override {
    sessions.push_back(std::make_shared<FakeTranslationSession>(executor_, source, prepareAnswer,
                                                                immediateAnswer));
    return sessions.back();
  }

 private:
  asio::any_io_executor executor_;
};

}  // namespace quelvar::testing
