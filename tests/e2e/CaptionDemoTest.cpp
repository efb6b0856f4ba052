// The demo end to end: the generated English sample clip through the real speech host.
#include <algorithm>
#include <filesystem>
#include <iterator>

#include <gmock/gmock.h>

#include "CaptionTestSupport.hpp"
#include "HostProcess.hpp"

namespace quelvar::caption::testing {
namespace {

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
                       {"--demo", "--realtime", "--host", QUELVAR_SPEECH_BINARY}, {}, dir.path())
          .finish(std::chrono::seconds(60));
  // The engines are dependencies of the project; a start refused for want of one is a failure.
  ASSERT_EQ(result.status, 0) << result.errors;
  const std::optional<std::vector<CueLines>> cues = parseSrt(readFile(dir.file("demo.srt")));
  ASSERT_TRUE(cues.has_value()) << readFile(dir.file("demo.srt"));
  // The clip's words, recognised: audio sent in any other form than the host expects gives
  // others. Not every word: when audio waits, the decoder lightens its search, so on a busy
  // machine "market" may come out as "mark it".
  const std::vector<std::string> spoken =
      normalisedWords("Hello world. We are going to the park. We will go to the market.");
  std::vector<std::string> heard;
  for (const CueLines& cue : *cues) {
    std::ranges::copy(normalisedWords(cue.back()), std::back_inserter(heard));
  }
  const auto known = std::ranges::count_if(
      heard, [&](const std::string& word) { return std::ranges::count(spoken, word) > 0; });
  ASSERT_GE(cues->size(), 3U) << readFile(dir.file("demo.srt"));
  EXPECT_TRUE(2 * known > std::ssize(heard) && 2 * known >= std::ssize(spoken))
      << readFile(dir.file("demo.srt")) << result.errors;
  EXPECT_THAT(result.output, HasSubstr("\t" + cues->front().back() + "\n"))
      << "the final captions are printed as they arrive";
  EXPECT_TRUE(std::filesystem::exists(dir.file("demo.vtt")));
}

}  // namespace
}  // namespace quelvar::caption::testing
