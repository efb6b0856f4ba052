// Recognition cost and latency: the analyzer against the bare PocketSphinx decoder on one audio.
#include "BenchPipeline.hpp"

namespace {

using namespace quelvar;
using namespace quelvar::pocketsphinx;
using namespace quelvar::pocketsphinx::bench;

// The same utterance segmentation as the analyzer, straight on the decoder: no thread, no queue,
// no partial results.
Cost bareDecoder(PocketSphinxDecoder& decoder, const Samples& audio, int& finals) {
  const auto start = Clock::now();
  const double cpuStart = cpuMillis();
  decoder.startStream();
  decoder.startUtterance();
  bool speech = false;
  for (std::size_t at = 0; at < audio.size(); at += kBufferFrames) {
    const std::size_t count = std::min<std::size_t>(kBufferFrames, audio.size() - at);
    decoder.process({audio.data() + at, count});
    if (decoder.inSpeech()) {
      speech = true;
    } else if (speech) {
      decoder.endUtterance();
      finals += decoder.hypothesis().empty() ? 0 : 1;
      decoder.startUtterance();
      speech = false;
    }
  }
  decoder.endUtterance();
  return {millisSince(start), cpuMillis() - cpuStart};
}

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
  if (!bare.ok()) {
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
