// Audio intake: sequence numbering, conversion capacity, timestamps and overload.
#include "SpeechTestSupport.hpp"

namespace quelvar::testing {
namespace {

using FeedTest = PipelineTest;

constexpr std::size_t kTenthOfASecond = 3200;  // bytes: 1600 frames at 16000 Hz

// The buffers the analyzer has been given so far, oldest first (taken out of its queue).
std::vector<AnalyzerInput> drain(FakeSpeechRecognition& speech) {
  std::vector<AnalyzerInput> items;
  while (auto item = speech.analyzer->input()->tryNext()) {
    items.push_back(std::move(*item));
  }
  return items;
}

struct SequenceCase {
  const char* name;
  std::vector<std::int64_t> sent;
  std::vector<bool> refused;  // per message: answered "AUDIO_SEQUENCE"
};

class FeedSequenceTest : public PipelineTest, public ::testing::WithParamInterface<SequenceCase> {};

TEST_P(FeedSequenceTest, onlyTheExpectedNumberIsTakenAndARefusalMovesNothing) {
  start();
  takeEvents();
  for (std::size_t i = 0; i < GetParam().sent.size(); ++i) {
    pipeline().feed(wireAudio(kTenthOfASecond), GetParam().sent[i]);
    const auto answered = takeEvents();
    if (GetParam().refused[i]) {
      EXPECT_EQ(answered, std::vector{error(speech_error::audioSequence)}) << "message " << i;
    } else {
      EXPECT_TRUE(answered.empty()) << "message " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, FeedSequenceTest,
    ::testing::Values(SequenceCase{"inOrder", {0, 1, 2, 3}, {false, false, false, false}},
                      SequenceCase{"repeatedZero", {0, 0, 1}, {false, true, false}},
                      SequenceCase{"gap", {0, 2, 1, 2}, {false, true, false, false}},
                      SequenceCase{"notStartingAtZero", {1, -1, 0}, {true, true, false}}),
    [](const auto& info) { return info.param.name; });

TEST_F(FeedTest, withoutAPipelineAudioIsRefusedAndNoCounterMoves) {
  pipeline().feed(wireAudio(kTenthOfASecond), 0);
  start();
  pipeline().feed(wireAudio(kTenthOfASecond), 0);
  stop();
  takeEvents();
  pipeline().feed(wireAudio(kTenthOfASecond), 0);
  pipeline().feed(wireAudio(kTenthOfASecond), 1);
  EXPECT_EQ(events, std::vector(2, error(speech_error::audioSequence)));
  EXPECT_EQ(pipeline().expectedSequence(), 0);
  EXPECT_EQ(pipeline().framePosition(), 0);
}

TEST_F(FeedTest, aNewPipelineRestartsNumberingAndTimestampsAtZero) {
  start();
  pipeline().feed(wireAudio(kTenthOfASecond), 0);
  pipeline().feed(wireAudio(kTenthOfASecond), 1);
  stop();
  start();
  takeEvents();
  pipeline().feed(wireAudio(kTenthOfASecond), 0);
  EXPECT_TRUE(events.empty());
  const auto items = drain(speech);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].startFrame, 0);
}

struct RateCase {
  const char* name;
  AudioFormat format;
  std::uint32_t capacity;  // of each output buffer for a tenth of a second
};

class FeedRateTest : public PipelineTest, public ::testing::WithParamInterface<RateCase> {};

// The real converter: buffers line up end to end on the analyzer's own timeline.
TEST_P(FeedRateTest, buffersAreSizedForTheRateAndStampedEndToEnd) {
  speech.bestFormat = GetParam().format;
  start();
  takeEvents();
  for (std::int64_t i = 0; i < 10; ++i) {
    pipeline().feed(wireAudio(kTenthOfASecond), i);
  }
  EXPECT_TRUE(events.empty());
  const auto items = drain(speech);
  ASSERT_FALSE(items.empty());
  std::int64_t expectedStart = 0;
  for (const auto& item : items) {
    EXPECT_EQ(item.buffer->frameCapacity(), GetParam().capacity);
    EXPECT_EQ(item.buffer->format(), GetParam().format);
    EXPECT_EQ(item.timescale, static_cast<std::int32_t>(GetParam().format.sampleRate));
    EXPECT_EQ(item.startFrame, expectedStart);
    expectedStart += item.buffer->frameLength();
  }
  EXPECT_EQ(pipeline().framePosition(), expectedStart);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, FeedRateTest,
    ::testing::Values(RateCase{"wireRate", {16000.0, SampleType::int16, 1}, 1664},
                      RateCase{"float48k", {48000.0, SampleType::float32, 1}, 4864}),
    [](const auto& info) { return info.param.name; });

TEST_F(FeedTest, heldBackAudioYieldsNothingButTheMessageIsConsumed) {
  useRealConverter = false;
  converterScript->mode = FakeConverterScript::Mode::holdBack;
  start();
  takeEvents();
  pipeline().feed(wireAudio(2), 0);
  EXPECT_TRUE(events.empty());
  EXPECT_TRUE(drain(speech).empty());
  EXPECT_EQ(pipeline().expectedSequence(), 1);
  EXPECT_EQ(pipeline().framePosition(), 0);
}

TEST_F(FeedTest, aConverterErrorIsInvalidAudioAndTheNextMessageIsNormal) {
  useRealConverter = false;
  start();
  takeEvents();
  converterScript->mode = FakeConverterScript::Mode::fail;
  pipeline().feed(wireAudio(kTenthOfASecond), 0);
  EXPECT_EQ(takeEvents(), std::vector{error(speech_error::invalidAudio)});
  EXPECT_EQ(pipeline().expectedSequence(), 1);
  EXPECT_EQ(pipeline().framePosition(), 0);

  converterScript->mode = FakeConverterScript::Mode::passThrough;
  pipeline().feed(wireAudio(kTenthOfASecond), 1);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(pipeline().framePosition(), 1600);
}

TEST_F(FeedTest, theTwentyFirstWaitingBufferIsDroppedButKeepsItsPlaceOnTheTimeline) {
  start();
  takeEvents();
  for (std::int64_t i = 0; i < 20; ++i) {
    pipeline().feed(wireAudio(kTenthOfASecond), i);
  }
  EXPECT_TRUE(events.empty());
  pipeline().feed(wireAudio(kTenthOfASecond), 20);
  EXPECT_EQ(takeEvents(), std::vector{error(speech_error::audioOverload)});
  EXPECT_EQ(pipeline().expectedSequence(), 21);

  ASSERT_TRUE(speech.analyzer->input()->tryNext());  // the analyzer catches up by one buffer
  pipeline().feed(wireAudio(kTenthOfASecond), 21);
  EXPECT_TRUE(events.empty());
  const auto items = drain(speech);
  ASSERT_EQ(items.size(), 20u);
  EXPECT_EQ(items.back().startFrame, 21 * 1600);  // the dropped buffer's 1600 frames stay counted
}

}  // namespace
}  // namespace quelvar::testing
