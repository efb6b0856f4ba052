// Model reuse across pipelines, overlapping pipelines, repeated start and stop.
#include <gtest/gtest.h>

#include "EnginePipeline.hpp"

namespace quelvar::pocketsphinx {
namespace {

using namespace testing;
using ::testing::SizeIs;

struct ModelReuseTest : ::testing::Test {
  asio::io_context io;
  PocketSphinxRecognition service{io.get_executor()};
};

// Overlapping pipelines decode side by side on decoders of their own; the one kept afterwards was
// left mid-utterance, and the next pipeline on it must still start from a clean state.
TEST_F(ModelReuseTest, overlappingPipelinesGetDecodersOfTheirOwnAndALaterOneReusesOne) {
  {
    EnginePipeline first(io, service);
    EnginePipeline second(io, service);
    ASSERT_TRUE(first.start().ok());
    ASSERT_TRUE(second.start().ok());
    EXPECT_EQ(service.modelLoads(), 2);
    second.feed(join({silence(0.3), speech("weather"), silence(1.0)}));
    first.feed(join({silence(0.3), speech("hello")}));
    ASSERT_TRUE(runUntil(io, [&] { return !first.partials.empty(); }));
    first.cancel();  // its decoder is the one kept
    ASSERT_TRUE(second.finishAndRunUntilEnded());
    ASSERT_THAT(second.finals, SizeIs(1));
    EXPECT_GE(wordsFound(second.finals[0], kWeatherWords), 2) << second.finals[0];
    second.cancel();
  }
  EnginePipeline third(io, service);
  ASSERT_TRUE(third.start().ok());
  EXPECT_EQ(service.modelLoads(), 2);
  third.feed(join({silence(0.3), speech("hello"), silence(1.0)}));
  ASSERT_TRUE(third.finishAndRunUntilEnded());
  ASSERT_THAT(third.finals, SizeIs(1));
  EXPECT_GE(wordsFound(third.finals[0], kHelloWords), 2) << third.finals[0];
}

TEST_F(ModelReuseTest, repeatedStartsAndStopsLeaveNoThreadOrMemoryBehind) {
  const Samples audio = join({silence(0.2), speech("hello")});
  auto cycle = [&] {
    EnginePipeline pipeline(io, service);
    ASSERT_TRUE(pipeline.start().ok());
    pipeline.feed(audio);
    pipeline.cancel();
    ASSERT_TRUE(pipeline.runUntilEnded());
  };
  cycle();  // the model is loaded here
  const long threads = procStatus("Threads");
  [[maybe_unused]] const long residentKb = procStatus("VmRSS");
  for (int i = 0; i < 20; ++i) {
    cycle();
  }
  EXPECT_EQ(procStatus("Threads"), threads);
  EXPECT_EQ(service.modelLoads(), 1);
#if !defined(__SANITIZE_ADDRESS__)
  // A leaked decoder alone would be near 100 MB.
  EXPECT_LT(procStatus("VmRSS") - residentKb, 20 * 1024) << "kB more resident";
#endif
}

}  // namespace
}  // namespace quelvar::pocketsphinx
