// The measured runs of the speech host benchmark, each against a started host.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SpeechHostClient.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxDecoder.hpp"

namespace quelvar::bench {

// Quiet, then each sentence followed by `gap` seconds of quiet, `rounds` times over.
Samples passage(const std::vector<Samples>& sentences, double gap, int rounds);

struct LatencyFigures {
  std::vector<double> finalDelays;  // last speech message sent -> the utterance's final caption
  std::vector<double> partialGaps;  // between partial captions while speaking
  std::vector<double> finalAfterPrevious;  // a final caption after the event before it
  std::size_t partials = 0;
  int missed = 0;  // utterances whose final caption did not come before the next one began
  std::string sampleSource, sampleTranslation;
};
// Streams the sentences in real time, in messages of 0.1 s, each followed by 2.5 s of quiet.
LatencyFigures captionLatency(SpeechHostClient& host, const std::vector<Samples>& sentences);

// Milliseconds of one run over the same audio.
struct RunCost {
  double wall = 0, cpu = 0;
  double decoding = 0;  // the host's busiest thread: its decoder
  int finals = 0;
  std::size_t errors = 0;
  std::string firstError;
};
// Keeps the least of each figure: on a shared machine the least disturbed run counts.
void keepLeast(std::optional<RunCost>& best, const RunCost& run);

// PocketSphinx alone on the audio: same model, same 25 ms pieces, utterances cut where its voice
// detector hears speech stop; no threads, no queue, no partial results, no translation.
class BareDecoder {
 public:
  BareDecoder();
  ~BareDecoder();
  double modelLoad() const { return modelLoad_; }
  // As fast as it goes, or (with `speed`) taking each second of audio when a host would get it.
  RunCost run(const Samples& audio, double speed = 0);

 private:
  std::unique_ptr<pocketsphinx::PocketSphinxDecoder> decoder_;
  double modelLoad_ = 0;
};

// A newly started pipeline fed the audio in 1 s messages at `speed` times real time, until its
// captions stop: wall time from the first message to the last caption, the host's processor time.
RunCost wholeHost(SpeechHostClient& host, const Samples& audio, double speed);

// A fresh host fed `minutes` of audio at `speed`; resident memory, threads, descriptors and
// child processes at every minute of audio.
void longRun(const std::string& program, const std::vector<Samples>& sentences, double minutes,
             double speed);

}  // namespace quelvar::bench
