// Long speech with a known text for the continuous-speech benchmarks: espeak-ng reading prose
// with every pause shortened below the old end-of-utterance silence, the real recordings of the
// engine's test data, word errors, and the analyzer's decode loop run in-process.
#pragma once

#include <string>
#include <vector>

#include "CaptionTestSupport.hpp"
#include "HostBench.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxDecoder.hpp"

namespace quelvar::bench {

struct Passage {
  Samples audio;
  std::vector<std::string> words;  // the reference, normalised as `normalisedWords` does
};

// At least `minutes` of espeak-ng reading the paragraphs of `textFile` that hold only words and
// plain punctuation (read again from the start if the text is shorter); pauses longer than
// `longestPause` seconds are cut down to it.
Passage readAloud(const std::string& textFile, double minutes, double longestPause = 0.35);
// The LibriVox clips of pocketsphinx-testdata, 0.3 s apart; empty when not installed.
Passage recordings();

using caption::testing::normalisedWords;
// Word errors (substitutions, insertions, deletions) in per cent of the reference words.
double wordErrorRate(const std::vector<std::string>& reference, const std::string& hypothesis);

struct LoopRun {
  std::vector<std::string> finals;  // non-empty final results
  std::vector<std::size_t> cuts;    // the sample where each of them was decided
  double cpu = 0;                   // milliseconds of this thread
  std::string text() const;
};
// The analyzer's decode loop over a decoder loaded with `options`, fed in 0.1 s buffers as fast
// as it goes, on this thread.
LoopRun decodeInProcess(const Samples& audio, const pocketsphinx::EngineOptions& options = {});

}  // namespace quelvar::bench
