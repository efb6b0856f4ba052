// Word errors and processor time of PocketSphinx search settings, through the analyzer's decode
// loop in-process: on the LibriVox recordings of pocketsphinx-testdata and on espeak-ng reading
// prose without pauses of half a second.
// Usage: bench_decoder_settings [minutes of synthesised speech, default 2; 0: recordings only]
//                               [only the settings whose names contain this]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ContinuousSpeech.hpp"

using namespace quelvar::bench;

namespace {

struct Setting {
  const char* name;
  quelvar::pocketsphinx::EngineOptions options;
};

const Setting kSettings[] = {
    {"service defaults (end after 0.25 s) *", {}},
    {"end after 0.5 s (before)", {{"-vad_postspeech", "50"}}},
    {"end after 0.3 s", {{"-vad_postspeech", "30"}}},
    {"-maxhmmpf 10000 -maxwpf 10", {{"-maxhmmpf", "10000"}, {"-maxwpf", "10"}}},
    {"-maxhmmpf 3000 -maxwpf 5 (light) *", {{"-maxhmmpf", "3000"}, {"-maxwpf", "5"}}},
    {"-bestpath no *", {{"-bestpath", "no"}}},
    {"-beam 1e-40 -pbeam 1e-40", {{"-beam", "1e-40"}, {"-pbeam", "1e-40"}}},
};

void report(const char* what, const Passage& passage, const LoopRun& run) {
  std::vector<double> lengths;
  for (std::size_t i = 0; i < run.cuts.size(); ++i) {
    lengths.push_back(static_cast<double>(run.cuts[i] - (i == 0 ? 0 : run.cuts[i - 1])) /
                      kSampleRate);
  }
  const Summary summary = summarise(lengths);
  const double seconds = static_cast<double>(passage.audio.size()) / kSampleRate;
  std::printf(
      "  %-12s words %5zu  errors %5.1f %%  processor %.3fx real time  "
      "utterances %3zu (median %.1f s, max %.1f s)\n",
      what, passage.words.size(), wordErrorRate(passage.words, run.text()),
      run.cpu / 1000 / seconds, lengths.size(), summary.median, summary.max);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const double minutes = argc > 1 ? std::atof(argv[1]) : 2;
  const Passage recorded = recordings();
  const Passage spoken =
      minutes > 0 ? readAloud("/usr/share/common-licenses/GPL-3", minutes) : Passage{};
  std::printf("recordings: %.1f s%s; synthesised: %.1f s\n",
              static_cast<double>(recorded.audio.size()) / kSampleRate,
              recorded.audio.empty() ? " (install pocketsphinx-testdata)" : "",
              static_cast<double>(spoken.audio.size()) / kSampleRate);
  const std::string only = argc > 2 ? argv[2] : "";
  for (const Setting& setting : kSettings) {
    if (std::string(setting.name).find(only) == std::string::npos) {
      continue;
    }
    std::printf("%s\n", setting.name);
    if (!recorded.audio.empty()) {
      report("recordings", recorded, decodeInProcess(recorded.audio, setting.options));
    }
    if (!spoken.audio.empty()) {
      report("synthesised", spoken, decodeInProcess(spoken.audio, setting.options));
    }
  }
  return 0;
}
