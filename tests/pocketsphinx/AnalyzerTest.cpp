// The analyzer on the real engine: partial and final results, utterance ends, cancellation,
// failure.
#include <gtest/gtest.h>

#include "EnginePipeline.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxError.hpp"

namespace quelvar::pocketsphinx {
namespace {

using namespace testing;

struct AnalyzerTest : ::testing::Test {
  asio::io_context io;
  PocketSphinxRecognition service{io.get_executor()};
};

// With trailing silence the detector ends the utterance; without it, the end of input must.
TEST_F(AnalyzerTest, speechGivesPartialResultsThenOneFinalWithItsWordsAndNoEngineNoise) {
  const std::pair<Samples, std::vector<std::string>> rows[] = {
      {join({silence(0.5), speech("hello"), silence(1.0)}), kHelloWords},
      {join({silence(0.3), speech("weather")}), kWeatherWords},
  };
  ::testing::internal::CaptureStderr();
  for (const auto& [audio, words] : rows) {
    EnginePipeline pipeline(io, service);
    ASSERT_EQ(pipeline.start(), std::nullopt);
    pipeline.feed(audio);
    ASSERT_TRUE(pipeline.finishAndRunUntilEnded());
    EXPECT_FALSE(pipeline.failure.has_value());
    EXPECT_GE(pipeline.partials.size(), 1u);
    ASSERT_EQ(pipeline.finals.size(), 1u);
    EXPECT_GE(wordsFound(pipeline.finals[0], words), 2) << pipeline.finals[0];
    pipeline.cancel();
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(AnalyzerTest, eachUtteranceThatSilenceEndsGetsAFinalResultInOrder) {
  EnginePipeline pipeline(io, service);
  ASSERT_EQ(pipeline.start(), std::nullopt);
  pipeline.feed(
      join({silence(0.5), speech("hello"), silence(1.0), speech("weather"), silence(1.0)}));
  // The input stays open: only the voice-activity detector can have ended these utterances.
  ASSERT_TRUE(runUntil(io, [&] { return pipeline.finals.size() >= 2; }));
  ASSERT_TRUE(pipeline.finishAndRunUntilEnded());
  ASSERT_EQ(pipeline.finals.size(), 2u);
  EXPECT_GE(wordsFound(pipeline.finals[0], kHelloWords), 2) << pipeline.finals[0];
  EXPECT_GE(wordsFound(pipeline.finals[1], kWeatherWords), 2) << pipeline.finals[1];
}

TEST_F(AnalyzerTest, cancellingMidUtteranceIsPromptJoinsTheThreadAndEndsTheStream) {
  EnginePipeline pipeline(io, service);
  const long threadsBefore = procStatus("Threads");
  ASSERT_EQ(pipeline.start(), std::nullopt);
  // Far more speech than is decoded by the time the first partial result arrives.
  for (int i = 0; i < 8; ++i) {
    pipeline.feed(speech("hello"));
  }
  ASSERT_TRUE(runUntil(io, [&] { return !pipeline.partials.empty(); }));
  EXPECT_GT(pipeline.input->size(), 0u);

  const auto took = pipeline.cancel();
  std::printf("cancelAndFinishNow mid-utterance took %.1f ms\n", took.count());
  EXPECT_LT(took.count(), 1000.0);  // well under 100 ms on an idle machine
  EXPECT_EQ(procStatus("Threads"), threadsBefore);

  const int resultsAtCancel = pipeline.results;
  ASSERT_TRUE(pipeline.runUntilEnded());
  EXPECT_FALSE(pipeline.failure.has_value());
  EXPECT_EQ(pipeline.results, resultsAtCancel);
}

TEST_F(AnalyzerTest, audioInAnotherFormatEndsTheStreamWithAnError) {
  EnginePipeline pipeline(io, service);
  ASSERT_EQ(pipeline.start(), std::nullopt);
  auto buffer = std::make_shared<AudioBuffer>(AudioFormat{16000.0, SampleType::float32, 1}, 160);
  buffer->setFrameLength(160);
  pipeline.input->yield({buffer, 0, 16000});
  ASSERT_TRUE(pipeline.runUntilEnded());
  ASSERT_TRUE(pipeline.failure.has_value());
  EXPECT_EQ(pipeline.failure->domain, kErrorDomain);
  EXPECT_EQ(pipeline.failure->code, static_cast<int>(ErrorCode::unsupportedAudio));
  pipeline.cancel();  // a failed analyzer still cancels cleanly
}

TEST_F(AnalyzerTest, aTranscriberWithoutAModelCannotStartButStillCancels) {
  EnginePipeline pipeline(io, service, "xx-XX");
  Status outcome = pipeline.start();
  ASSERT_TRUE(outcome.has_value());
  EXPECT_EQ(outcome->code, static_cast<int>(ErrorCode::unsupportedLocale));
  pipeline.cancel();
  ASSERT_TRUE(pipeline.runUntilEnded());
  EXPECT_FALSE(pipeline.failure.has_value());
}

}  // namespace
}  // namespace quelvar::pocketsphinx
