// Recognition cost and latency: the analyzer against the bare PocketSphinx decoder on one audio.
#include <pocketsphinx.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "platform/async/Task.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxRecognition.hpp"

namespace {

using namespace quelvar;
using namespace quelvar::pocketsphinx;
using Clock = std::chrono::steady_clock;
using Samples = std::vector<std::int16_t>;
constexpr std::uint32_t kBufferFrames = 1600;  // 0.1 s, as the hosts hand audio over

double millisSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double cpuMillis() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Wall-clock and processor time of one run; on a shared machine the least disturbed run counts.
struct Cost {
  double wall = 0;
  double cpu = 0;
};

Cost least(const std::vector<Cost>& costs) {
  Cost best = costs.front();
  for (const Cost& cost : costs) {
    best.wall = std::min(best.wall, cost.wall);
    best.cpu = std::min(best.cpu, cost.cpu);
  }
  return best;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Speech synthesised on the spot, 16000 Hz 16-bit mono.
Samples synthesise(const std::string& text) {
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

Samples silence(double seconds) {
  return Samples(static_cast<std::size_t>(seconds * 16000));
}

void append(Samples& to, const Samples& more) {
  to.insert(to.end(), more.begin(), more.end());
}

long procStatus(const std::string& key) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(key + ":", 0) == 0) {
      return std::stol(line.substr(key.size() + 1));
    }
  }
  return -1;
}

// The same utterance segmentation as the analyzer, with nothing around it: no thread, no queue,
// no partial results.
Cost bareDecoder(PocketSphinxDecoder& decoder, const Samples& audio, int& finals) {
  ps_decoder_t* ps = decoder.engine();
  const auto start = Clock::now();
  const double cpuStart = cpuMillis();
  ps_start_stream(ps);
  ps_start_utt(ps);
  bool speech = false;
  for (std::size_t at = 0; at < audio.size(); at += kBufferFrames) {
    const std::size_t count = std::min<std::size_t>(kBufferFrames, audio.size() - at);
    ps_process_raw(ps, audio.data() + at, count, FALSE, FALSE);
    if (ps_get_in_speech(ps)) {
      speech = true;
    } else if (speech) {
      ps_end_utt(ps);
      int32 score = 0;
      finals += ps_get_hyp(ps, &score) != nullptr ? 1 : 0;
      ps_start_utt(ps);
      speech = false;
    }
  }
  ps_end_utt(ps);
  return {millisSince(start), cpuMillis() - cpuStart};
}

bool runUntil(asio::io_context& io, const std::function<bool()>& done) {
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
          if (Status status = co_await analyzer->start(input)) {
            std::fprintf(stderr, "start failed: %s\n", status->description.c_str());
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

Cost analyzerRun(asio::io_context& io, PocketSphinxRecognition& service, const Samples& audio,
                 int& partials, int& finals) {
  Pipeline pipeline(io, service);
  pipeline.start();
  const auto start = Clock::now();
  const double cpuStart = cpuMillis();
  for (std::size_t at = 0; at < audio.size(); at += kBufferFrames) {
    pipeline.feed(audio, at, std::min<std::size_t>(kBufferFrames, audio.size() - at));
  }
  pipeline.input->finish();
  runUntil(io, [&] { return pipeline.ended; });
  const Cost took{millisSince(start), cpuMillis() - cpuStart};
  partials = static_cast<int>(pipeline.partialsAt.size());
  finals = static_cast<int>(pipeline.finalsAt.size());
  pipeline.cancel();
  return took;
}

// Audio handed over in real time; the clock starts when the buffer holding the last sample of
// speech has been handed over and stops when its final result arrives.
double finalLatency(asio::io_context& io, PocketSphinxRecognition& service, const Samples& speech) {
  Samples audio = silence(0.5);
  append(audio, speech);
  std::size_t speechEnd = audio.size();
  while (speechEnd > 0 && std::abs(audio[speechEnd - 1]) < 300) {
    --speechEnd;
  }
  append(audio, silence(2.0));
  Pipeline pipeline(io, service);
  pipeline.start();
  Clock::time_point speechHandedOver;
  bool fed = false;
  asio::co_spawn(
      io,
      [&]() -> asio::awaitable<void> {
        asio::steady_timer timer(io);
        const auto began = Clock::now();
        for (std::size_t at = 0; at < audio.size(); at += kBufferFrames) {
          timer.expires_at(began + std::chrono::milliseconds(at / 16));
          co_await timer.async_wait(useTuple);
          pipeline.feed(audio, at, std::min<std::size_t>(kBufferFrames, audio.size() - at));
          if (at < speechEnd && speechEnd <= at + kBufferFrames) {
            speechHandedOver = Clock::now();
          }
        }
        fed = true;
      },
      asio::detached);
  runUntil(io, [&] { return !pipeline.finalsAt.empty() || fed; });
  const double latency =
      pipeline.finalsAt.empty()
          ? -1
          : std::chrono::duration<double, std::milli>(pipeline.finalsAt[0] - speechHandedOver)
                .count();
  runUntil(io, [&] { return fed; });
  pipeline.cancel();
  return latency;
}

// Cancels at some point after decoding is under way, while plenty of audio still waits.
double cancelLatency(asio::io_context& io, PocketSphinxRecognition& service, const Samples& speech,
                     std::chrono::milliseconds after) {
  Pipeline pipeline(io, service);
  pipeline.start();
  for (int i = 0; i < 8; ++i) {
    for (std::size_t at = 0; at < speech.size(); at += kBufferFrames) {
      pipeline.feed(speech, at, std::min<std::size_t>(kBufferFrames, speech.size() - at));
    }
  }
  runUntil(io, [&] { return !pipeline.partialsAt.empty(); });
  asio::steady_timer delay(io, after);
  bool waited = false;
  delay.async_wait([&](std::error_code) { waited = true; });
  runUntil(io, [&] { return waited; });
  return pipeline.cancel();
}

}  // namespace

int main() {
  const Samples hello = synthesise("hello world this is a test of the speech recognition");
  const Samples weather = synthesise("the weather is nice today");
  const Samples fox = synthesise("please open the door and thank you very much");
  if (hello.empty() || weather.empty() || fox.empty()) {
    std::fprintf(stderr, "espeak-ng and sox are needed to synthesise the audio\n");
    return 1;
  }
  Samples audio;
  for (int round = 0; round < 4; ++round) {
    for (const Samples* sentence : {&hello, &weather, &fox}) {
      append(audio, silence(0.8));
      append(audio, *sentence);
    }
  }
  append(audio, silence(1.0));
  const double audioMs = audio.size() / 16.0;

  asio::io_context io;
  PocketSphinxRecognition service(io.get_executor());
  double cold, warm;
  {
    Pipeline first(io, service);
    cold = first.start();
    first.cancel();
    Pipeline second(io, service);
    warm = second.start();
    second.cancel();
  }
  std::printf("analyzer start: cold %.0f ms, warm %.1f ms (model loads: %d)\n", cold, warm,
              service.modelLoads());

  const PocketSphinxCatalogue catalogue = PocketSphinxCatalogue::debian();
  auto bare = PocketSphinxDecoder::load(*catalogue.find("en-US"));
  if (!bare) {
    std::fprintf(stderr, "%s\n", bare.error().description.c_str());
    return 1;
  }
  std::vector<Cost> bareCosts, analyzerCosts;
  int bareFinals = 0, partials = 0, finals = 0;
  for (int run = 0; run < 5; ++run) {
    bareFinals = 0;
    bareCosts.push_back(bareDecoder(*bare.value(), audio, bareFinals));
    analyzerCosts.push_back(analyzerRun(io, service, audio, partials, finals));
  }
  const Cost bareCost = least(bareCosts), analyzerCost = least(analyzerCosts);
  std::printf("audio %.1f s, best of %zu runs each\n", audioMs / 1000, bareCosts.size());
  std::printf("bare decoder: %.0f ms wall (real-time factor %.3f), %.0f ms processor; %d finals\n",
              bareCost.wall, bareCost.wall / audioMs, bareCost.cpu, bareFinals);
  std::printf(
      "analyzer:     %.0f ms wall (real-time factor %.3f), %.0f ms processor; "
      "%d partials, %d finals\n",
      analyzerCost.wall, analyzerCost.wall / audioMs, analyzerCost.cpu, partials, finals);
  std::printf("analyzer / bare decoder: %.3f wall, %.3f processor (target at most 1.15)\n",
              analyzerCost.wall / bareCost.wall, analyzerCost.cpu / bareCost.cpu);

  std::vector<double> latencies;
  for (const Samples* sentence : {&hello, &weather, &fox}) {
    latencies.push_back(finalLatency(io, service, *sentence));
  }
  std::printf(
      "end of speech to final result, real-time input: %.0f / %.0f / %.0f ms "
      "(target under 700 ms)\n",
      latencies[0], latencies[1], latencies[2]);

  std::vector<double> cancels;
  for (int run = 0; run < 10; ++run) {
    cancels.push_back(cancelLatency(io, service, hello, std::chrono::milliseconds(run * 37 % 100)));
  }
  std::printf("cancelAndFinishNow mid-utterance: median %.1f ms, max %.1f ms (target < 100 ms)\n",
              median(cancels), *std::max_element(cancels.begin(), cancels.end()));
  std::printf("peak resident memory: %ld MB (two decoders: the analyzer's and the bare one)\n",
              procStatus("VmHWM") / 1024);
  return 0;
}
