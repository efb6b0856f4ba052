// The speech host end to end, with the real engines: "start" to "ready" cold and warm, caption
// latency after the end of speech, the whole host against the bare decoder, peak memory; with
// --long, resident memory over many minutes of audio.
// Usage: bench_speech_session [--long[=minutes]] [--speed=times-real-time] [--start-only]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "SpeechHostClient.hpp"
#include "SpeechRuns.hpp"

using namespace quelvar::bench;

namespace {

struct Options {
  double longMinutes = 0;  // 0: no long run
  double speed = 0;        // 0: chosen from the bare decoder's speed
  bool startOnly = false;  // only the start-up figures, from more runs
};

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--long") {
      options.longMinutes = 10;
    } else if (arg.rfind("--long=", 0) == 0) {
      options.longMinutes = std::atof(arg.c_str() + 7);
    } else if (arg.rfind("--speed=", 0) == 0) {
      options.speed = std::atof(arg.c_str() + 8);
    } else if (arg == "--start-only") {
      options.startOnly = true;
    } else {
      std::fprintf(stderr,
                   "usage: %s [--long[=minutes]] [--speed=times-real-time] [--start-only]\n",
                   argv[0]);
      std::exit(2);
    }
  }
  return options;
}

const char* kSentences[] = {
    "hello world this is a test of the speech recognition",
    "the weather is nice today",
    "please open the door and thank you very much",
    "we are going to the market tomorrow morning",
    "my brother has a new car",
    "the children are playing in the garden",
};

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

// Start-up in fresh processes, taking turns with hosts whose cache folder is empty, as on the
// first start after the speech model is installed or updated: that start reads the whole
// dictionary and writes the cut-down copy that later starts load.
void startUp(const std::string& program, int runs) {
  const std::filesystem::path emptyCache = std::filesystem::temp_directory_path() /
                                           ("quelvar-bench-cache-" + std::to_string(::getpid()));
  const char* userCache = std::getenv("XDG_CACHE_HOME");
  const std::string kept = userCache ? userCache : "";
  std::vector<double> spawnToPong, cold, warm, first;
  const std::string loadBefore = loadAverage();
  for (int run = 0; run < runs; ++run) {
    {
      const auto spawned = Clock::now();
      SpeechHostClient host(program);
      host.ping();
      spawnToPong.push_back(millisSince(spawned));
      cold.push_back(host.start("en", "es"));
      host.stop();
      warm.push_back(host.start("en", "es"));
    }
    std::filesystem::remove_all(emptyCache);
    ::setenv("XDG_CACHE_HOME", emptyCache.c_str(), 1);
    {
      SpeechHostClient host(program);
      host.ping();
      first.push_back(host.start("en", "es"));
    }
    userCache ? ::setenv("XDG_CACHE_HOME", kept.c_str(), 1) : ::unsetenv("XDG_CACHE_HOME");
  }
  std::filesystem::remove_all(emptyCache);
  const Summary coldStart = summarise(cold), warmStart = summarise(warm);
  std::printf("load average %s before, %s after\n", loadBefore.c_str(), loadAverage().c_str());
  std::printf("process start to first pong: %s\n", describe(summarise(spawnToPong)).c_str());
  std::printf("\"start\" to \"ready\", cold:    %s (target under 1000 ms, under 300 ms quiet)\n",
              describe(coldStart).c_str());
  std::printf("  first after a model install (empty cache folder): %s\n",
              describe(summarise(first)).c_str());
  std::printf("\"start\" to \"ready\", warm:    %s (target under 300 ms, under 100 ms quiet)\n",
              describe(warmStart).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parse(argc, argv);
  const std::string program = QUELVAR_SPEECH_BINARY;
  std::printf("QuelvarSpeech, en -> es, PocketSphinx en-US and Apertium eng-spa\n");
  startUp(program, options.startOnly ? 7 : 3);
  if (options.startOnly) {
    return 0;
  }
  std::vector<Samples> sentences;
  for (const char* text : kSentences) {
    sentences.push_back(synthesise(text));
    require(!sentences.back().empty(), "espeak-ng and sox are needed to synthesise the speech");
  }

  // Caption latency, real-time input.
  SpeechHostClient host(program);
  host.start("en", "es");
  const LatencyFigures latency = captionLatency(host, sentences);
  std::printf(
      "end of speech to its final caption, real-time 100 ms messages: %s "
      "(target under 1000 ms); %d of %zu utterances without a final caption\n",
      describe(summarise(latency.finalDelays)).c_str(), latency.missed, sentences.size());
  std::printf("final caption after the host's previous event: %s (700 ms: held by the pacing)\n",
              describe(summarise(latency.finalAfterPrevious)).c_str());
  std::printf("partial captions while speaking: %zu, %s apart (paced at 700 ms)\n",
              latency.partials, describe(summarise(latency.partialGaps)).c_str());
  std::printf("for example: \"%s\" -> \"%s\"\n", latency.sampleSource.c_str(),
              latency.sampleTranslation.c_str());

  // The whole host against the bare decoder on the same audio, taking turns.
  const Samples bulk = passage(sentences, 1.0, 2);
  const double audioMs = bulk.size() * 1000.0 / kSampleRate;
  BareDecoder decoder;
  std::optional<RunCost> bare, paced, whole;
  double speed = options.speed;
  for (int round = 0; round < 2; ++round) {
    keepLeast(bare, decoder.run(bulk));
    // Fast enough to be brief, slow enough for the host's decoder to keep up on a busy machine.
    speed = speed > 0 ? speed : std::clamp(0.4 * audioMs / bare->wall, 1.0, 4.0);
    keepLeast(paced, decoder.run(bulk, speed));
    keepLeast(whole, wholeHost(host, bulk, speed));
  }
  std::printf("PocketSphinx en-US model load into a fresh decoder: %.0f ms\n", decoder.modelLoad());
  std::printf("audio %.1f s, least of 2 runs each, processor time:\n", audioMs / 1000);
  std::printf(
      "  bare decoder, flat out: %.0f ms (%.0f ms wall, real-time factor %.3f), %d finals\n",
      bare->cpu, bare->wall, bare->wall / audioMs, bare->finals);
  std::printf("  bare decoder, audio arriving at %.1fx real time: %.0f ms\n", speed, paced->cpu);
  std::printf(
      "  whole host, 1 s messages at %.1fx real time: %.0f ms, of which %.0f ms in its "
      "decoding thread; %d final captions, %zu error events %s\n",
      speed, whole->cpu, whole->decoding, whole->finals, whole->errors, whole->firstError.c_str());
  std::printf(
      "  whole host / bare decoder: %.3f against the same pace, %.3f against flat out "
      "(target at most 1.15); the host's own work beside decoding: %.1f %% of it\n",
      whole->cpu / paced->cpu, whole->cpu / bare->cpu,
      100.0 * (whole->cpu - whole->decoding) / whole->decoding);

  const long peak = procStatus(host.pid(), "VmHWM");
  const long children = childrenResident(host.pid());
  std::printf("peak resident memory of the host: %ld MB (its Apertium programs: %ld MB)\n",
              peak / 1024, children / 1024);
  require(host.finish() == 0, "the speech host did not end cleanly");

  if (options.longMinutes > 0) {
    longRun(program, sentences, options.longMinutes, speed);
  }
  return 0;
}
