// The analyzer on the real engine: partial and final results, utterance ends, cancellation,
// failure.
#include <gtest/gtest.h>

#include "EnginePipeline.hpp"

namespace quelvar::pocketsphinx {
namespace {

using namespace testing;
using ::testing::Optional;

struct AnalyzerTest : ::testing::Test {
  asio::io_context io;
  PocketSphinxRecognition service{io.get_executor()};
};

// Silence after speech lets the voice-activity detector end each utterance while the input is
// still open; without it, the end of input must close the utterance.
TEST_F(AnalyzerTest, speechGivesPartialResultsThenAFinalPerUtteranceInOrderAndNoEngineNoise) {
  struct Row {
    Samples audio;
    std::vector<std::vector<std::string>> finals;  // the words expected in each final result
    bool endedBySilence;
  };
  const Row rows[] = {
      {join({silence(0.5), speech("hello"), silence(1.0)}), {kHelloWords}, true},
      {join({silence(0.3), speech("weather")}), {kWeatherWords}, false},
      {join({silence(0.5), speech("hello"), silence(1.0), speech("weather"), silence(1.0)}),
       {kHelloWords, kWeatherWords},
       true},
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

TEST_F(AnalyzerTest, cancellingMidUtteranceJoinsTheThreadAndEndsTheStream) {
  const long threadsBefore = procStatus("Threads");
  EnginePipeline pipeline(io, service);  // its model may start loading on a thread of its own
  ASSERT_TRUE(pipeline.start().ok());
  // Far more speech than is decoded by the time the first partial result arrives.
  for (int i = 0; i < 8; ++i) {
    pipeline.feed(speech("hello"));
  }
  ASSERT_TRUE(runUntil(io, [&] { return !pipeline.partials.empty(); }));
  EXPECT_GT(pipeline.input->size(), 0u);

  pipeline.cancel();
  EXPECT_EQ(procStatus("Threads"), threadsBefore);

  const int resultsAtCancel = pipeline.results;
  ASSERT_TRUE(pipeline.runUntilEnded());
  EXPECT_FALSE(pipeline.failure.has_value());
  EXPECT_EQ(pipeline.results, resultsAtCancel);
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

// The lighter search for catching up is built on first use and recognises the same speech; a new
// stream starts on the full search again.
TEST(DecoderSearchTest, theLightSearchRecognisesSpeechAndANewStreamReturnsToTheFullOne) {
  auto loaded = PocketSphinxDecoder::load(*PocketSphinxCatalogue::debian().find("en-US"));
  ASSERT_TRUE(loaded.ok());
  PocketSphinxDecoder& decoder = *loaded.value();
  for (const bool light : {true, false, true}) {
    decoder.preferLightSearch(light);
    ASSERT_TRUE(decoder.startUtterance().ok());
    EXPECT_EQ(decoder.lightSearchInUse(), light);
    ASSERT_TRUE(decoder.process(join({silence(0.3), speech("hello"), silence(0.5)})).ok());
    ASSERT_TRUE(decoder.endUtterance().ok());
    EXPECT_GE(wordsFound(decoder.hypothesis(), kHelloWords), 2) << decoder.hypothesis();
  }
  ASSERT_TRUE(decoder.startStream().ok());
  EXPECT_FALSE(decoder.lightSearchInUse());
}

}  // namespace
}  // namespace quelvar::pocketsphinx
