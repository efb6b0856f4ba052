// The built speech host on long speech without pauses of half a second: utterance lengths, end of
// speech to final caption, word errors, processor time against the bare decoder and the decode
// loop in-process on the same audio, dropped audio; with --soak, resident memory over a long run
// and how long "stop" takes at its end.
// Usage: bench_continuous_speech [--minutes=10] [--speed=1] [--soak=minutes]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "ContinuousSpeech.hpp"
#include "SpeechHostClient.hpp"
#include "SpeechRuns.hpp"

using namespace quelvar::bench;

namespace {

constexpr std::size_t kMessage = kSampleRate / 10;  // 0.1 s per "pcm" message, as a tab sends
constexpr const char* kText = "/usr/share/common-licenses/GPL-3";

struct Options {
  double minutes = 10;
  double speed = 1;
  double soakMinutes = 0;
};

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&](const char* prefix) {
      return arg.rfind(prefix, 0) == 0 ? std::atof(arg.c_str() + std::string(prefix).size()) : -1;
    };
    if (value("--minutes=") > 0) {
      options.minutes = value("--minutes=");
    } else if (value("--speed=") > 0) {
      options.speed = value("--speed=");
    } else if (value("--soak=") > 0) {
      options.soakMinutes = value("--soak=");
    } else {
      std::fprintf(stderr, "usage: %s [--minutes=10] [--speed=1] [--soak=minutes]\n", argv[0]);
      std::exit(2);
    }
  }
  return options;
}

std::size_t count(const std::vector<std::string>& codes, const std::string& code) {
  return static_cast<std::size_t>(std::count(codes.begin(), codes.end(), code));
}

void captions(const Options& options, const Passage& passage) {
  const Samples& audio = passage.audio;
  const double seconds = static_cast<double>(audio.size()) / kSampleRate;

  const LoopRun loop = decodeInProcess(audio);
  std::vector<double> lengths;
  for (std::size_t i = 0; i < loop.cuts.size(); ++i) {
    lengths.push_back(static_cast<double>(loop.cuts[i] - (i == 0 ? 0 : loop.cuts[i - 1])) /
                      kSampleRate);
  }
  BareDecoder bare;
  const RunCost bareCost = bare.run(audio);

  SpeechHostClient host(QUELVAR_SPEECH_BINARY);
  host.start("en", "es");
  const std::size_t from = host.cursor();
  const double cpuBegan = cpuMillis(host.pid());
  std::vector<Clock::time_point> sentAt;
  host.stream(audio, kMessage, options.speed,
              [&](std::size_t, Clock::time_point when) { sentAt.push_back(when); });
  const double streamed = cpuMillis(host.pid());
  // The last final caption comes after the audio ends; wait until the host has been quiet a while.
  for (std::size_t seen = 0; seen != host.reader().size();) {
    seen = host.reader().size();
    std::this_thread::sleep_for(std::chrono::seconds(3));
  }
  const std::vector<Event> events = host.reader().events();
  std::vector<Event> finals;
  std::string text;
  for (std::size_t e = from; e < events.size(); ++e) {
    if (events[e].message.value("type", "") == "caption" &&
        events[e].message.value("final", false)) {
      finals.push_back(events[e]);
      text += events[e].message.value("source", "") + " ";
    }
  }
  const double hostCpu = cpuMillis(host.pid()) - cpuBegan;
  std::vector<double> delays;
  for (std::size_t k = 0; k < std::min(finals.size(), loop.cuts.size()); ++k) {
    const std::size_t end = speechEnd(audio, k == 0 ? 0 : loop.cuts[k - 1], loop.cuts[k]);
    delays.push_back(
        millisBetween(sentAt.at(std::min(end / kMessage, sentAt.size() - 1)), finals[k].at));
  }
  const std::vector<std::string> errors = host.reader().errors();

  std::printf(
      "%.1f minutes of espeak-ng speech (%zu words, pauses at most 0.35 s), "
      "fed at %.1fx real time in 0.1 s messages\n",
      seconds / 60, passage.words.size(), options.speed);
  std::printf("utterance lengths (decode loop in-process): %s\n",
              describe(summarise(lengths), "s").c_str());
  std::printf("final captions: host %zu, in-process %zu\n", finals.size(), loop.finals.size());
  std::printf("end of an utterance's speech -> its final caption: %s\n",
              describe(summarise(delays)).c_str());
  std::printf("word errors: host %.1f %%, in-process %.1f %%\n", wordErrorRate(passage.words, text),
              wordErrorRate(passage.words, loop.text()));
  std::printf(
      "processor time: host %.0f ms (%.0f ms while streaming), decode loop in-process "
      "%.0f ms, bare decoder %.0f ms; host / bare %.2f, host / in-process %.2f; "
      "bare decoder %.3fx real time\n",
      hostCpu, streamed - cpuBegan, loop.cpu, bareCost.cpu, hostCpu / bareCost.cpu,
      hostCpu / loop.cpu, bareCost.cpu / 1000 / seconds);
  std::printf("error events: %zu, AUDIO_OVERLOAD %zu\n", errors.size(),
              count(errors, "AUDIO_OVERLOAD"));
  require(host.finish() == 0, "the speech host did not end cleanly");
}

void soak(const Options& options, const Passage& passage) {
  SpeechHostClient host(QUELVAR_SPEECH_BINARY);
  host.start("en", "es");
  std::printf("soak: %.0f minutes of speech without pauses at %.1fx real time\n",
              options.soakMinutes, options.speed);
  std::vector<long> resident{procStatus(host.pid(), "VmRSS")};
  const auto minute = static_cast<std::size_t>(60 * kSampleRate);
  const auto total = static_cast<std::size_t>(options.soakMinutes * 60 * kSampleRate);
  std::size_t done = 0;
  while (done < total) {
    host.stream(passage.audio, kMessage, options.speed, [&](std::size_t at, Clock::time_point) {
      if ((done + at + kMessage) / minute >= resident.size()) {
        resident.push_back(procStatus(host.pid(), "VmRSS"));
        std::printf("minute %3zu: VmRSS %.1f MB, threads %ld, captions %zu\n", resident.size() - 1,
                    resident.back() / 1024.0, procStatus(host.pid(), "Threads"),
                    host.reader().size());
        std::fflush(stdout);
      }
    });
    done += passage.audio.size();
  }
  const auto stopping = Clock::now();
  host.send(R"({"version":1,"type":"stop"})");
  host.ping();
  const double stopMillis = millisSince(stopping);
  const std::vector<std::string> errors = host.reader().errors();
  const std::size_t five = std::min<std::size_t>(5, resident.size() - 1);
  std::printf("VmRSS minute %zu %.1f MB, minute %zu %.1f MB (%+.1f %%); peak %.1f MB\n", five,
              resident[five] / 1024.0, resident.size() - 1, resident.back() / 1024.0,
              100.0 * static_cast<double>(resident.back() - resident[five]) /
                  static_cast<double>(resident[five]),
              procStatus(host.pid(), "VmHWM") / 1024.0);
  std::printf("\"stop\" at the end, to the pong behind it: %.0f ms\n", stopMillis);
  std::printf("error events: %zu, AUDIO_OVERLOAD %zu\n", errors.size(),
              count(errors, "AUDIO_OVERLOAD"));
  require(host.finish() == 0, "the speech host did not end cleanly");
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parse(argc, argv);
  const Passage passage = readAloud(kText, options.soakMinutes > 0 ? 5 : options.minutes);
  if (options.soakMinutes > 0) {
    soak(options, passage);
  } else {
    captions(options, passage);
  }
  return 0;
}
