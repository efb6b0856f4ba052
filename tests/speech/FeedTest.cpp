// Audio intake: sequence numbering, conversion capacity, timestamps and overload.
#include "SpeechTestSupport.hpp"

namespace quelvar::testing {
namespace {

using FeedTest = PipelineTest;

// A refused message moves nothing: the next one is still expected under the same number. A new
// pipeline numbers and stamps from zero again.
TEST_F(FeedTest, onlyTheExpectedSequenceNumberIsTakenAndANewPipelineStartsAtZero) {
  start();
  const std::pair<std::int64_t, bool> sent[] = {{1, true}, {-1, true}, {0, false}, {0, true},
                                                {2, true}, {1, false}, {2, false}};
  for (const auto& [sequence, refused] : sent) {
    feed(sequence);
    EXPECT_EQ(events.size() == 2 && events[1] == errorEvent(error_code::audioSequence), refused)
        << sequence;
    events.resize(1);
  }
  stop();
  feed(3);  // no pipeline takes audio now
  start();
  feed(0);
  EXPECT_THAT(events, ElementsAre(ready(), errorEvent(error_code::audioSequence), ready()));
  EXPECT_THAT(bufferStarts(), ElementsAre(0));
}

// The real converter at another rate and sample type: each buffer has room for the rate change
// plus a margin, carries the analyzer's own format and timescale, and the buffers line up end to
// end on the analyzer's timeline.
TEST_F(FeedTest, buffersAreSizedAndStampedForTheAnalyzersRate) {
  const AudioFormat analyzerFormat{48000.0, SampleType::float32, 1};
  speech.bestFormat = analyzerFormat;
  useRealConverter = true;
  start();
  for (std::int64_t i = 0; i < 10; ++i) {
    feed(i);
  }
  EXPECT_THAT(events, ElementsAre(ready()));
  std::int64_t expectedStart = 0;
  while (auto item = speech.analyzer->input->tryNext()) {
    EXPECT_EQ(item->buffer->frameCapacity(), 4800u + 64u);
    EXPECT_EQ(item->buffer->format(), analyzerFormat);
    EXPECT_EQ(item->timescale, 48000);
    EXPECT_EQ(item->startFrame, expectedStart);
    expectedStart += item->buffer->frameLength();
  }
  EXPECT_GT(expectedStart, 0);
}

// Held-back and failed conversions consume their message but take no place on the timeline.
TEST_F(FeedTest, aMessageWithoutConvertedAudioIsConsumedAndMovesNoTimestamp) {
  start();
  converterScript->mode = FakeConverterScript::Mode::holdBack;
  feed(0, 2);
  converterScript->mode = FakeConverterScript::Mode::fail;
  feed(1);
  converterScript->mode = FakeConverterScript::Mode::passThrough;
  feed(2);
  feed(3);
  EXPECT_THAT(events, ElementsAre(ready(), errorEvent(error_code::invalidAudio)));
  EXPECT_THAT(bufferStarts(), ElementsAre(0, 1600));
}

TEST_F(FeedTest, theTwentyFirstWaitingBufferIsDroppedButKeepsItsPlaceOnTheTimeline) {
  start();
  takeEvents();
  for (std::int64_t i = 0; i < 20; ++i) {
    feed(i);
  }
  EXPECT_THAT(events, IsEmpty());
  feed(20);
  EXPECT_THAT(takeEvents(), ElementsAre(errorEvent(error_code::audioOverload)));

  ASSERT_TRUE(speech.analyzer->input->tryNext());  // the analyzer catches up by one buffer
  feed(21);
  EXPECT_THAT(events, IsEmpty());
  // The dropped buffer's 1600 frames stay counted.
  EXPECT_THAT(bufferStarts(), AllOf(SizeIs(20), Contains(21 * 1600)));
}

}  // namespace
}  // namespace quelvar::testing
