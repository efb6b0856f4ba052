// Synthesised audio, timing helpers and a driven analyzer pipeline for the PocketSphinx benchmark.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/async/Task.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxRecognition.hpp"

namespace quelvar::pocketsphinx::bench {

using Clock = std::chrono::steady_clock;
using Samples = std::vector<std::int16_t>;
constexpr std::uint32_t kBufferFrames = 1600;  // 0.1 s, as the hosts hand audio over

inline double millisSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline double cpuMillis() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Wall-clock and processor time of one run; on a shared machine the least disturbed run counts.
struct Cost {
  double wall = 0;
  double cpu = 0;
};

inline Cost least(const std::vector<Cost>& costs) {
  Cost best = costs.front();
  for (const Cost& cost : costs) {
    best.wall = std::min(best.wall, cost.wall);
    best.cpu = std::min(best.cpu, cost.cpu);
  }
  return best;
}

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Speech synthesised on the spot, 16000 Hz 16-bit mono.
inline Samples synthesise(const std::string& text) {
  const std::string command = "espeak-ng -v en-us+klatt4 -s 160 --stdout '" + text +
                              "' | sox -D -q -t wav - -r 16000 -c 1 -b 16 -e signed-integer "
                              "-t raw - vol 0.8";
  FILE* pipe = popen(command.c_str(), "r");
  Samples samples;
  if (pipe == nullptr) {
    return samples;
  }
  std::int16_t block[4096];
  while (std::size_t count = std::fread(block, sizeof(std::int16_t), 4096, pipe)) {
    samples.insert(samples.end(), block, block + count);
  }
  pclose(pipe);
  return samples;
}

inline Samples silence(double seconds) {
  return Samples(static_cast<std::size_t>(seconds * 16000));
}

inline void append(Samples& to, const Samples& more) {
  to.insert(to.end(), more.begin(), more.end());
}

inline long procStatus(const std::string& key) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(key + ":", 0) == 0) {
      return std::stol(line.substr(key.size() + 1));
    }
  }
  return -1;
}

inline bool runUntil(asio::io_context& io, const std::function<bool()>& done) {
  const auto deadline = Clock::now() + std::chrono::minutes(5);
  while (!done() && Clock::now() < deadline) {
    io.restart();
    io.run_one_for(std::chrono::milliseconds(20));
  }
  return done();
}

// One pipeline of the service with a reader that records when each result arrived.
struct Pipeline {
  Pipeline(asio::io_context& io, PocketSphinxRecognition& service)
      : io(io),
        transcriber(service.makeTranscriber("en-US")),
        analyzer(service.makeAnalyzer(transcriber)),
        input(std::make_shared<AnalyzerInputQueue>(100000)) {
    reader = Task::spawn(io.get_executor(), [this](Task&) -> asio::awaitable<void> {
      for (;;) {
        SpeechResultEvent event = co_await transcriber->nextResult();
        auto* result = std::get_if<SpeechResult>(&event);
        if (result == nullptr) {
          ended = true;
          co_return;
        }
        (result->isFinal ? finalsAt : partialsAt).push_back(Clock::now());
      }
    });
  }
  ~Pipeline() {
    reader->cancel();
    io.restart();
    io.poll();
  }

  double start() {
    const auto began = Clock::now();
    bool started = false;
    asio::co_spawn(
        io,
        [&]() -> asio::awaitable<void> {
          if (Status status = co_await analyzer->start(input); !status.ok()) {
            std::fprintf(stderr, "start failed: %s\n", status.error().description.c_str());
            std::exit(1);
          }
          started = true;
        },
        asio::detached);
    runUntil(io, [&] { return started; });
    return millisSince(began);
  }
  void feed(const Samples& audio, std::size_t at, std::size_t count) {
    auto buffer = std::make_shared<AudioBuffer>(PocketSphinxRecognition::kAudioFormat,
                                                static_cast<std::uint32_t>(count));
    std::copy_n(audio.begin() + at, count, buffer->int16Samples().begin());
    buffer->setFrameLength(static_cast<std::uint32_t>(count));
    input->yield({buffer, static_cast<std::int64_t>(at), 16000});
  }
  double cancel() {
    const auto began = Clock::now();
    double took = 0;
    bool done = false;
    asio::co_spawn(io, analyzer->cancelAndFinishNow(), [&](std::exception_ptr) {
      took = millisSince(began);
      done = true;
    });
    runUntil(io, [&] { return done; });
    return took;
  }

  asio::io_context& io;
  std::shared_ptr<SpeechTranscriber> transcriber;
  std::shared_ptr<SpeechAnalyzer> analyzer;
  std::shared_ptr<AnalyzerInputQueue> input;
  std::shared_ptr<Task> reader;
  std::vector<Clock::time_point> partialsAt, finalsAt;
  bool ended = false;
};

}  // namespace quelvar::pocketsphinx::bench
