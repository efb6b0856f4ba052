// A translation session over one installed Apertium mode, with one persistent pipeline.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Translation.hpp"
#include "platform/async/Clock.hpp"
#include "platform/linux/apertium/ApertiumPipeline.hpp"

namespace quelvar::apertium {

// A pipeline that takes longer than its time limit for one segment is ended. The limit is the
// answer time, plus the start time while the programs may still be loading their data, plus a
// share per kilobyte of text.
struct SessionOptions {
  std::chrono::nanoseconds answerTimeout = std::chrono::seconds(10);
  std::chrono::nanoseconds startTimeout = std::chrono::seconds(10);
  std::chrono::nanoseconds timeoutPerKilobyte = std::chrono::seconds(2);
  ModeOptions mode;
};

class ApertiumSession final : public TranslationSession,
                              public std::enable_shared_from_this<ApertiumSession> {
 public:
  // Without a mode file the direction is not installed, and preparing fails.
  ApertiumSession(asio::any_io_executor executor, std::shared_ptr<Clock> clock,
                  std::optional<std::filesystem::path> modeFile, SessionOptions options = {});
  ~ApertiumSession() override;

  // Starts the pipeline and waits until it answers.
  asio::awaitable<Status> prepareTranslation() override;
  // Starts the pipeline first if it is not running (again).
  asio::awaitable<Expected<std::string>> translate(const std::string& text) override;
  // Ends the pipeline for good: this and every later request fail.
  void cancel() override;

  // The running programs, for tests that end them from outside.
  std::vector<pid_t> processIds() const;

 private:
  asio::awaitable<Status> prepare(std::shared_ptr<ApertiumSession> alive);
  asio::awaitable<Expected<std::string>> translate(std::shared_ptr<ApertiumSession> alive,
                                                   std::string text);
  Status ensureRunning();
  asio::awaitable<Expected<std::string>> exchange(const std::string& segment);

  asio::any_io_executor executor_;
  std::shared_ptr<Clock> clock_;
  std::optional<std::filesystem::path> modeFile_;
  SessionOptions options_;
  std::shared_ptr<ApertiumPipeline> pipeline_;
  bool pipelineAnswered_ = false;  // whether the programs have loaded, as far as we know
  bool cancelled_ = false;
};

}  // namespace quelvar::apertium
