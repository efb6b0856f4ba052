// The demo end to end: the generated English sample clip through the real speech host.
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CaptionTestSupport.hpp"
#include "HostProcess.hpp"

namespace quelvar::caption::testing {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;

TEST(CaptionDemo, turnsTheSampleClipIntoSpanishSubtitlesOfItsWords) {
  if (!std::filesystem::exists(QUELVAR_SAMPLE_CLIP)) {
    GTEST_SKIP() << "the sample clip was not generated (espeak-ng missing)";
  }
  TempDir dir;
  // At the pace a browser tab streams: faster, how much audio the host keeps up with depends on
  // the machine's spare time, and the fake host's tests cover overload and the wait at the end.
  const e2e::HostExit result =
      e2e::HostProcess(QUELVAR_CAPTION_CLIENT,
                       {"--demo", "--realtime", "--host", QUELVAR_SPEECH_HOST}, {}, dir.path())
          .finish(std::chrono::seconds(60));
  // The engines are dependencies of the project; a start refused for want of one is a failure.
  ASSERT_EQ(result.status, 0) << result.errors;
  const std::optional<std::vector<ParsedCue>> cues = parseSrt(readFile(dir.file("demo.srt")));
  ASSERT_TRUE(cues.has_value()) << readFile(dir.file("demo.srt"));
  // The clip's words, recognised: audio sent in any other form than the host expects gives others.
  std::string heard;
  for (const ParsedCue& cue : *cues) {
    heard += cue.lines.back() + ". ";
  }
  EXPECT_THAT(heard, AllOf(HasSubstr("hello world"), HasSubstr("park"), HasSubstr("market")))
      << result.errors;
  EXPECT_THAT(result.output, HasSubstr("\thello world\n"))
      << "the final captions are printed as they arrive";
  EXPECT_TRUE(std::filesystem::exists(dir.file("demo.vtt")));
}

}  // namespace
}  // namespace quelvar::caption::testing
