// The analyzer on the real engine: partial and final results, utterance ends, cancellation and
// the decoder kept for the next pipeline, failure.
#include <gtest/gtest.h>

#include "EnginePipeline.hpp"

namespace quelvar::pocketsphinx {
namespace {

using namespace testing;
using ::testing::Optional;
using ::testing::SizeIs;

struct AnalyzerTest : ::testing::Test {
  asio::io_context io;
  PocketSphinxRecognition service{io.get_executor()};
};

// Silence after speech lets the voice-activity detector end each utterance while the input is
// still open; without it, the end of input must close the utterance. The audio arrives all at
// once, so the decoder catches up on its lighter search, which must recognise the words too.
TEST_F(AnalyzerTest, speechGivesPartialResultsThenAFinalPerUtteranceInOrderAndNoEngineNoise) {
  struct Row {
    Samples audio;
    std::vector<std::vector<std::string>> finals;  // the words expected in each final result
    bool endedBySilence;
  };
  const Row rows[] = {
      {join({silence(0.5), speech("hello"), silence(1.0), speech("weather"), silence(1.0)}),
       {kHelloWords, kWeatherWords},
       true},
      {join({silence(0.3), speech("weather")}), {kWeatherWords}, false},
  };
  ::testing::internal::CaptureStderr();
  for (const auto& row : rows) {
    EnginePipeline pipeline(io, service);
    ASSERT_TRUE(pipeline.start().ok());
    pipeline.feed(row.audio);
    if (row.endedBySilence) {
      ASSERT_TRUE(runUntil(io, [&] { return pipeline.finals.size() >= row.finals.size(); }));
    }
    ASSERT_TRUE(pipeline.finishAndRunUntilEnded());
    EXPECT_FALSE(pipeline.failure.has_value());
    EXPECT_GE(pipeline.partials.size(), 1u);
    ASSERT_EQ(pipeline.finals.size(), row.finals.size());
    for (std::size_t i = 0; i < row.finals.size(); ++i) {
      EXPECT_GE(wordsFound(pipeline.finals[i], row.finals[i]), 2) << pipeline.finals[i];
    }
    pipeline.cancel();
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// Each pipeline is cancelled mid-utterance with audio still queued: its thread is joined, no
// result follows, and the decoder it leaves mid-utterance serves the next pipeline from a clean
// state, so the model is loaded once and nothing grows.
TEST_F(AnalyzerTest, cancellingMidUtteranceAgainAndAgainLeavesNothingBehindAndReusesTheDecoder) {
  const long threadsBefore = procStatus("Threads");
  long residentKb = 0;
  // Far more speech than is decoded by the time the first partial result arrives.
  const Samples hello = speech("hello");
  const Samples lotsOfSpeech = join({hello, hello, hello, hello, hello, hello, hello, hello});
  for (int i = 0; i < 6; ++i) {
    EnginePipeline pipeline(io, service);  // its model may start loading on a thread of its own
    ASSERT_TRUE(pipeline.start().ok());
    pipeline.feed(lotsOfSpeech);
    ASSERT_TRUE(runUntil(io, [&] { return !pipeline.partials.empty(); }));
    EXPECT_GT(pipeline.input->size(), 0u);
    pipeline.cancel();
    EXPECT_EQ(procStatus("Threads"), threadsBefore);
    const int resultsAtCancel = pipeline.results;
    ASSERT_TRUE(pipeline.runUntilEnded());
    EXPECT_FALSE(pipeline.failure.has_value());
    EXPECT_EQ(pipeline.results, resultsAtCancel);
    residentKb = i == 1 ? procStatus("VmRSS") : residentKb;
  }
  EXPECT_EQ(service.modelLoads(), 1);
#if !defined(__SANITIZE_ADDRESS__)
  // A leaked decoder alone would be near 100 MB.
  EXPECT_LT(procStatus("VmRSS") - residentKb, 20 * 1024) << "kB more resident";
#endif
  EnginePipeline last(io, service);
  ASSERT_TRUE(last.start().ok());
  last.feed(join({silence(0.3), speech("weather"), silence(1.0)}));
  ASSERT_TRUE(last.finishAndRunUntilEnded());
  ASSERT_THAT(last.finals, SizeIs(1));
  EXPECT_GE(wordsFound(last.finals[0], kWeatherWords), 2) << last.finals[0];
}

TEST_F(AnalyzerTest, audioInAnotherFormatEndsTheStreamWithAnError) {
  EnginePipeline pipeline(io, service);
  ASSERT_TRUE(pipeline.start().ok());
  auto buffer = std::make_shared<AudioBuffer>(AudioFormat{16000.0, SampleType::float32, 1}, 160);
  buffer->setFrameLength(160);
  pipeline.input->yield({buffer, 0, 16000});
  ASSERT_TRUE(pipeline.runUntilEnded());
  EXPECT_THAT(pipeline.failure, Optional(IsError(ErrorCode::unsupportedAudio)));
  pipeline.cancel();  // a failed analyzer still cancels cleanly
}

TEST_F(AnalyzerTest, aTranscriberWithoutAModelCannotStartButStillCancels) {
  EnginePipeline pipeline(io, service, "xx-XX");
  EXPECT_THAT(pipeline.start().error(), IsError(ErrorCode::unsupportedLocale));
  pipeline.cancel();
  ASSERT_TRUE(pipeline.runUntilEnded());
  EXPECT_FALSE(pipeline.failure.has_value());
}

}  // namespace
}  // namespace quelvar::pocketsphinx
