// The decode loop over a scripted decoder: where utterances end, and the lighter setting while
// the input queue fills.
#include <gmock/gmock.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "platform/linux/pocketsphinx/DecodeLoop.hpp"

namespace quelvar::pocketsphinx {
namespace {

using Samples = std::vector<std::int16_t>;

constexpr std::size_t kRate = DecodeLoop::kSampleRate;
constexpr std::size_t kChunk = DecodeLoop::kChunkSamples;

// Hears speech in any piece with a loud sample and keeps hearing it for 10 quiet pieces, like the
// engine's detector. Its hypotheses name the samples of the utterance ("from-to"), so the finals
// show where each cut fell.
struct FakeDecoder final : SpeechDecoder {
  std::vector<bool> lightChoices;
  std::size_t position = 0, utteranceBegan = 0, quietRun = 0;
  bool open = false, speech = false;

  Status startUtterance() override {
    open = true;
    speech = false;
    utteranceBegan = position;
    return {};
  }
  Status process(std::span<const std::int16_t> samples) override {
    position += samples.size();
    const bool loud = std::any_of(samples.begin(), samples.end(),
                                  [](std::int16_t sample) { return std::abs(sample) > 100; });
    quietRun = loud ? 0 : quietRun + 1;
    speech = loud || (speech && quietRun <= 10);
    return {};
  }
  Status endUtterance() override {
    open = false;
    return {};
  }
  bool utteranceOpen() const override { return open; }
  bool inSpeech() const override { return speech; }
  std::string hypothesis() const override {
    return std::to_string(utteranceBegan) + "-" + std::to_string(position);
  }
  void preferLightSearch(bool light) override { lightChoices.push_back(light); }
};

// Pieces of so many seconds of silence or of speech-like audio: loud with a short dip every 0.1 s
// (too short to count as a pause).
constexpr bool quiet = false, talk = true;
Samples audio(std::initializer_list<std::pair<double, bool>> pieces) {
  Samples all;
  for (const auto& [seconds, loud] : pieces) {
    const std::size_t from = all.size();
    all.resize(from + static_cast<std::size_t>(seconds * kRate), loud ? 3000 : 0);
    for (std::size_t at = from; loud && at + kChunk <= all.size(); at += 4 * kChunk) {
      std::fill_n(all.begin() + static_cast<std::ptrdiff_t>(at), kChunk / 2, 50);
    }
  }
  return all;
}

// The loop over `audio`, queued at once in `pieces` buffers and finished.
struct LoopRun {
  FakeDecoder decoder;
  std::atomic<bool> stop{false};
  std::vector<std::string> finals;
  Status outcome;

  explicit LoopRun(const Samples& audio, std::size_t pieces = 10) {
    AnalyzerInputQueue input(pieces + 1);
    const std::size_t size = (audio.size() / pieces + kChunk - 1) / kChunk * kChunk;
    for (std::size_t at = 0; at < audio.size(); at += size) {
      const auto frames = static_cast<std::uint32_t>(std::min(size, audio.size() - at));
      auto buffer =
          std::make_shared<AudioBuffer>(AudioFormat{16000.0, SampleType::int16, 1}, frames);
      buffer->setFrameLength(frames);
      std::copy_n(audio.begin() + static_cast<std::ptrdiff_t>(at), frames,
                  buffer->int16Samples().begin());
      input.yield({buffer, static_cast<std::int64_t>(at), 16000});
    }
    input.finish();
    DecodeLoop loop(decoder, stop, [&](SpeechResult result) {
      if (result.isFinal) {
        finals.push_back(result.text);
      }
    });
    outcome = loop.run(input);
  }
};

std::string span(double from, double to) {
  return std::to_string(static_cast<std::size_t>(from * kRate)) + "-" +
         std::to_string(static_cast<std::size_t>(to * kRate));
}

// The cuts tile the audio: each final starts where the one before ended, none is longer than
// the cap, and the last one ends with the input.
TEST(DecodeLoopTest, utterancesEndAtLongPausesAtShortPausesPastTheSoftCapAndAtTheHardCap) {
  const double pause = kChunk * DecodeLoop::kPauseChunks / double(kRate);
  const double hangover = 11 * kChunk / double(kRate);
  const std::tuple<const char*, Samples, std::vector<std::string>> rows[] = {
      {"a pause the detector hears ends the utterance after its hangover",
       audio({{3, talk}, {1, quiet}, {2, talk}}),
       {span(0, 3 + hangover), span(3 + hangover, 6)}},
      {"without pauses, the hard cap",
       audio({{30, talk}}),
       {span(0, 12), span(12, 24), span(24, 30)}},
      {"a short pause before the soft cap is passed over, the next one after it cuts",
       audio({{5, talk}, {0.15, quiet}, {5, talk}, {0.15, quiet}, {3, talk}}),
       {span(0, 10.15 + pause), span(10.15 + pause, 13.3)}},
  };
  for (const auto& [what, audio, finals] : rows) {
    LoopRun run(audio);
    EXPECT_TRUE(run.outcome.ok()) << what;
    EXPECT_EQ(run.finals, finals) << what;
  }
}

// Many buffers waiting at once: the loop decodes lightly until the queue is empty, then returns
// to the full setting; every sample is still decoded.
TEST(DecodeLoopTest, aFillingQueueSwitchesToTheLightSettingUntilItIsEmpty) {
  const Samples talking = audio({{10, talk}});
  LoopRun behind(talking, DecodeLoop::kBehindBuffers + 2);
  EXPECT_THAT(behind.decoder.lightChoices, ::testing::ElementsAre(true, false));
  EXPECT_EQ(behind.decoder.position, talking.size());
}

}  // namespace
}  // namespace quelvar::pocketsphinx
