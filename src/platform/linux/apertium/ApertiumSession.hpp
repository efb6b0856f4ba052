// A translation session over the Apertium modes of an installed direction, in one pipeline.
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

// A pipeline that takes longer than its time limit for one segment is ended. A new pipeline must
// answer an empty sentence within the start time: its programs load their data in well under a
// second on an idle machine and in a few seconds on a very busy one, while a program that cannot
// load its data ends (seen at once) or spins: a damaged generator takes over ten seconds of
// processor time. After that the limit is the answer time plus a share per kilobyte of text.
struct SessionOptions {
  std::chrono::nanoseconds answerTimeout = std::chrono::seconds(10);
  std::chrono::nanoseconds startTimeout = std::chrono::seconds(8);
  std::chrono::nanoseconds timeoutPerKilobyte = std::chrono::seconds(2);
  ModeOptions mode;
};

// The pipeline runs the programs of every mode of its route one after another: a direction with
// no pair of its own goes through a middle language in one pipeline.
class ApertiumSession final : public TranslationSession,
                              public std::enable_shared_from_this<ApertiumSession> {
 public:
  // Without a mode file the direction is not installed, and preparing fails.
  ApertiumSession(asio::any_io_executor executor, std::shared_ptr<Clock> clock,
                  std::vector<std::filesystem::path> route, SessionOptions options = {});
  ApertiumSession(asio::any_io_executor executor, std::shared_ptr<Clock> clock,
                  std::optional<std::filesystem::path> modeFile, SessionOptions options = {});
  ~ApertiumSession() override;

  // Starts the pipeline and waits until it answers and translates a probe sentence.
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
  asio::awaitable<Status> warmUp();
  asio::awaitable<Expected<std::string>> exchange(const std::string& segment,
                                                  std::chrono::nanoseconds limit);

  asio::any_io_executor executor_;
  std::shared_ptr<Clock> clock_;
  std::vector<std::filesystem::path> route_;
  std::optional<std::string> probe_;  // a sentence in the source language, when one is known
  SessionOptions options_;
  std::shared_ptr<ApertiumPipeline> pipeline_;
  bool warm_ = false;  // whether the running pipeline has loaded and passed the probe
  bool cancelled_ = false;
};

}  // namespace quelvar::apertium
