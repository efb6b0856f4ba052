// The decode loop over a scripted decoder: where utterances end, what a stop skips, and the
// lighter setting while the input queue fills.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "EnginePipeline.hpp"
#include "platform/linux/pocketsphinx/DecodeLoop.hpp"

namespace quelvar::pocketsphinx {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::join;
using testing::Samples;
using testing::silence;

constexpr std::size_t kRate = DecodeLoop::kSampleRate;
constexpr std::size_t kChunk = DecodeLoop::kChunkSamples;

// Hears speech in any piece with a loud sample and keeps hearing it for 10 quiet pieces, like the
// engine's detector. Its hypotheses name the samples of the utterance ("from-to"), so the finals
// show where each cut fell; every call is recorded.
struct FakeDecoder final : SpeechDecoder {
  std::vector<std::string> calls;
  std::vector<bool> lightChoices;
  std::size_t position = 0, utteranceBegan = 0, quietRun = 0;
  bool open = false, speech = false;

  Status startUtterance() override {
    calls.push_back("start");
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
    calls.push_back("end");
    open = false;
    return {};
  }
  bool utteranceOpen() const override { return open; }
  bool inSpeech() const override { return speech; }
  std::string hypothesis() const override {
    const_cast<FakeDecoder*>(this)->calls.push_back("hypothesis");
    return std::to_string(utteranceBegan) + "-" + std::to_string(position);
  }
  void preferLightSearch(bool light) override { lightChoices.push_back(light); }
};

// Speech-like audio: loud with a short dip every 0.1 s (too short to count as a pause).
Samples talk(double seconds) {
  Samples audio(static_cast<std::size_t>(seconds * kRate), 3000);
  for (std::size_t at = 0; at + kChunk <= audio.size(); at += 4 * kChunk) {
    std::fill_n(audio.begin() + static_cast<std::ptrdiff_t>(at), kChunk / 2, 50);
  }
  return audio;
}

// The loop over `audio`, queued at once in `pieces` buffers and finished.
struct LoopRun {
  FakeDecoder decoder;
  std::atomic<bool> stop{false};
  std::vector<SpeechResult> results;
  std::vector<std::string> finals;
  Status outcome;

  LoopRun(const Samples& audio, std::size_t pieces = 10, std::function<bool()> finalWanted = {},
          bool stopAtFirstPartial = false) {
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
    DecodeLoop loop(
        decoder, stop,
        [&](SpeechResult result) {
          if (result.isFinal) {
            finals.push_back(result.text);
          }
          stop = stopAtFirstPartial;
          results.push_back(std::move(result));
        },
        std::move(finalWanted));
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
       join({talk(3), silence(1), talk(2)}),
       {span(0, 3 + hangover), span(3 + hangover, 6)}},
      {"without pauses, the hard cap", talk(30), {span(0, 12), span(12, 24), span(24, 30)}},
      {"a short pause before the soft cap is passed over, the next one after it cuts",
       join({talk(5), silence(0.15), talk(5), silence(0.15), talk(3)}),
       {span(0, 10.15 + pause), span(10.15 + pause, 13.3)}},
  };
  for (const auto& [what, audio, finals] : rows) {
    LoopRun run(audio);
    EXPECT_TRUE(run.outcome.ok()) << what;
    EXPECT_EQ(run.finals, finals) << what;
    // Each partial result belongs to the utterance that the next final closes.
    std::size_t final = 0;
    for (const SpeechResult& result : run.results) {
      const auto began = [](const std::string& text) { return text.substr(0, text.find('-')); };
      ASSERT_LT(final, finals.size()) << what;
      EXPECT_EQ(began(result.text), began(finals[final])) << what;
      final += result.isFinal ? 1 : 0;
    }
  }
}

// Whether the last utterance's costly final result is built when the input ends.
TEST(DecodeLoopTest, theEndOfInputBuildsTheFinalResultOnlyWhenSomebodyWantsIt) {
  for (const bool wanted : {true, false}) {
    LoopRun run(talk(4), 10, [&] { return wanted; });
    EXPECT_TRUE(run.outcome.ok());
    ASSERT_GE(run.decoder.calls.size(), 2u);
    const auto& calls = run.decoder.calls;
    EXPECT_EQ(calls[calls.size() - 2] == "end" && calls.back() == "hypothesis", wanted);
    EXPECT_EQ(calls.back() == "end", !wanted);
    EXPECT_EQ(run.finals.size(), wanted ? 1u : 0u);
    EXPECT_FALSE(run.decoder.open);
  }
}

TEST(DecodeLoopTest, aStopAbandonsTheUtteranceWithoutAFinalResult) {
  LoopRun run(talk(4), 2, {}, true);
  EXPECT_TRUE(run.outcome.ok());
  EXPECT_EQ(run.decoder.calls.back(), "end");
  EXPECT_THAT(run.finals, IsEmpty());
  EXPECT_EQ(run.decoder.position, DecodeLoop::kPartialIntervalSamples);
}

// Many buffers waiting at once: the loop decodes lightly (fewer partial results too) until the
// queue is empty, then returns to the full setting; every sample is still decoded.
TEST(DecodeLoopTest, aFillingQueueSwitchesToTheLightSettingUntilItIsEmpty) {
  const Samples audio = talk(10);
  LoopRun behind(audio, DecodeLoop::kBehindBuffers + 2);
  EXPECT_THAT(behind.decoder.lightChoices, ElementsAre(true, false));
  EXPECT_EQ(behind.decoder.position, audio.size());
  LoopRun keepingUp(audio, DecodeLoop::kBehindBuffers - 1);
  EXPECT_THAT(keepingUp.decoder.lightChoices, IsEmpty());
  EXPECT_LT(behind.results.size(), keepingUp.results.size());
}

}  // namespace
}  // namespace quelvar::pocketsphinx
