// Synthesised speech, awaiting the service's answers and one analyzer pipeline on the real engine,
// driven from a test.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/async/Task.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxError.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxRecognition.hpp"

namespace quelvar::pocketsphinx::testing {

using Samples = std::vector<std::int16_t>;

// A failure of this service with the given code.
MATCHER_P(IsError, code, "") {
  return arg.domain == error_domain::pocketsphinx && arg.code == static_cast<std::int64_t>(code);
}

// A sentence synthesised at build time, 16000 Hz 16-bit mono.
inline Samples speech(const std::string& name) {
  std::ifstream file(std::string(QUELVAR_TEST_SPEECH_DIR) + "/" + name + ".raw", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), {});
  Samples samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

inline Samples silence(double seconds) {
  return Samples(static_cast<std::size_t>(seconds * 16000));
}

inline Samples join(std::initializer_list<Samples> parts) {
  Samples all;
  for (const auto& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

const std::vector<std::string> kHelloWords = {"hello", "world", "test", "speech", "recognition"};
const std::vector<std::string> kWeatherWords = {"weather", "nice", "today"};

// How many of `words` occur as whole words in `text`: recognition is checked loosely.
inline int wordsFound(const std::string& text, const std::vector<std::string>& words) {
  std::istringstream in(text);
  std::vector<std::string> heard{std::istream_iterator<std::string>(in), {}};
  int found = 0;
  for (const auto& word : words) {
    found += std::find(heard.begin(), heard.end(), word) != heard.end() ? 1 : 0;
  }
  return found;
}

// Runs the executor the engine's thread posts to until `done` or the limit; never sleeps.
inline bool runUntil(asio::io_context& io, const std::function<bool()>& done,
                     std::chrono::seconds limit = std::chrono::seconds(120)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    io.restart();
    io.run_one_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The answer of one of the service's operations, which complete on `io` alone.
template <class T>
T await(asio::io_context& io, asio::awaitable<T> operation) {
  std::optional<T> result;
  asio::co_spawn(
      io, [&]() -> asio::awaitable<void> { result.emplace(co_await std::move(operation)); },
      asio::detached);
  io.restart();
  io.run();
  return std::move(*result);
}

inline void await(asio::io_context& io, asio::awaitable<void> operation) {
  asio::co_spawn(io, std::move(operation), asio::detached);
  io.restart();
  io.run();
}

// One pipeline: transcriber, analyzer, an input queue and a reader that records every result.
class EnginePipeline {
  asio::io_context& io_;

 public:
  // The queue is larger than the hosts' so that a test can hand over all its audio at once.
  EnginePipeline(asio::io_context& io, PocketSphinxRecognition& service,
                 const std::string& locale = "en-US")
      : io_(io),
        transcriber(service.makeTranscriber(locale)),
        analyzer(service.makeAnalyzer(transcriber)),
        input(std::make_shared<AnalyzerInputQueue>(4096)) {
    reader_ = Task::spawn(io.get_executor(), [this](Task&) -> asio::awaitable<void> {
      for (;;) {
        SpeechResultEvent event = co_await transcriber->nextResult();
        if (auto* result = std::get_if<SpeechResult>(&event)) {
          (result->isFinal ? finals : partials).push_back(result->text);
          ++results;
        } else {
          if (auto* error = std::get_if<PlatformError>(&event)) {
            failure = *error;
          }
          ended = true;
          co_return;
        }
      }
    });
  }

  ~EnginePipeline() {
    reader_->cancel();
    io_.restart();
    io_.poll();
  }

  Status start() {
    std::optional<Status> outcome;
    asio::co_spawn(io_, analyzer->start(input),
                   [&](std::exception_ptr, Status status) { outcome = std::move(status); });
    EXPECT_TRUE(runUntil(io_, [&] { return outcome.has_value(); }));
    return outcome.value_or(Status());
  }

  // Hands the audio over in buffers of 0.1 s, as the hosts' audio intake does.
  void feed(const Samples& samples, std::uint32_t bufferFrames = 1600) {
    for (std::size_t at = 0; at < samples.size(); at += bufferFrames) {
      auto frames =
          static_cast<std::uint32_t>(std::min<std::size_t>(bufferFrames, samples.size() - at));
      auto buffer = std::make_shared<AudioBuffer>(PocketSphinxRecognition::kAudioFormat, frames);
      std::copy_n(samples.begin() + at, frames, buffer->int16Samples().begin());
      buffer->setFrameLength(frames);
      ASSERT_EQ(input->yield({buffer, fed_, 16000}), AnalyzerInputQueue::YieldResult::enqueued);
      fed_ += frames;
    }
  }

  // Cancels the analyzer and runs until the call has returned.
  void cancel() {
    bool done = false;
    asio::co_spawn(io_, analyzer->cancelAndFinishNow(), [&](std::exception_ptr) { done = true; });
    EXPECT_TRUE(runUntil(io_, [&] { return done; }));
  }

  bool runUntilEnded() {
    return runUntil(io_, [this] { return ended; });
  }
  bool finishAndRunUntilEnded() {
    input->finish();
    return runUntilEnded();
  }

  std::shared_ptr<SpeechTranscriber> transcriber;
  std::shared_ptr<SpeechAnalyzer> analyzer;
  std::shared_ptr<AnalyzerInputQueue> input;
  std::vector<std::string> partials;
  std::vector<std::string> finals;
  int results = 0;
  bool ended = false;
  std::optional<PlatformError> failure;

 private:
  std::shared_ptr<Task> reader_;
  std::int64_t fed_ = 0;
};

// Threads and resident memory of this process, from /proc.
inline long procStatus(const std::string& key) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(key + ":", 0) == 0) {
      return std::stol(line.substr(key.size() + 1));
    }
  }
  return -1;
}

}  // namespace quelvar::pocketsphinx::testing
