// What the caption client takes in: its command line, the names of its output, and audio files,
// which become mono 16-bit samples at 16000 Hz.
#include <algorithm>

#include <gmock/gmock.h>

#include "CaptionTestSupport.hpp"
#include "caption/AudioStream.hpp"
#include "caption/CaptionOptions.hpp"

namespace quelvar::caption {
namespace {

using ::testing::HasSubstr;

TEST(CaptionOptions, refusesWhatMakesNoSense) {
  const struct {
    std::vector<const char*> args;
    const char* complaint;
  } cases[] = {
      {{}, "no audio file given"},
      {{"a.wav", "b.wav"}, "only one audio file at a time"},
      {{"--frobnicate", "a.wav"}, "unknown option --frobnicate"},
      {{"--srt=", "a.wav"}, "--srt needs a value"},
      {{"--text", "bilingual", "a.wav"}, "--text takes both, source-first, translation or source"},
      {{"--max-speed", "0.5", "a.wav"}, "--max-speed takes a number from 1 to 16"},
      {{"--max-speed", "17", "a.wav"}, "--max-speed takes a number from 1 to 16"},
      {{"--max-speed", "2", "--realtime", "a.wav"}, "contradict"},
  };
  for (auto c : cases) {
    c.args.insert(c.args.begin(), "quelvar-caption");
    const auto parsed = parseOptions(static_cast<int>(c.args.size()), c.args.data());
    ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << c.complaint;
    EXPECT_THAT(std::get<std::string>(parsed), HasSubstr(c.complaint));
  }
}

TEST(CaptionOptions, namesOutputAfterTheInputInTheCurrentDirectory) {
  EXPECT_EQ(defaultOutputPath("/home/me/Music/talk.v2.flac", "es", "srt"), "talk.v2.es.srt");
  EXPECT_EQ(defaultOutputPath(".hidden", "es", "srt"), ".hidden.es.srt");
  EXPECT_EQ(defaultOutputPath("dir/", "es", "srt"), "captions.es.srt");
}

// Channels are averaged, not summed: a full-level left channel and a silent right one give half
// the level, and two full ones do not clip.
TEST(AudioStream, mixesChannelsByAveraging) {
  testing::TempDir dir;
  testing::writeTone(dir.file("stereo.wav"), 48000, {0.8f, 0.0f}, 1.0);
  auto opened = AudioStream::open(dir.file("stereo.wav"), 500);
  ASSERT_EQ(opened.index(), 0U) << std::get<std::string>(opened);
  AudioStream& audio = *std::get<0>(opened);
  std::vector<std::int16_t> samples;
  for (std::vector<std::int16_t> chunk = audio.next(4000); !chunk.empty();
       chunk = audio.next(4000)) {
    samples.insert(samples.end(), chunk.begin(), chunk.end());
  }
  ASSERT_GT(samples.size(), 15000U);
  const auto peak = *std::max_element(samples.begin(), samples.end());
  EXPECT_NEAR(peak, 0.4 * 32767, 0.02 * 32767);
}

}  // namespace
}  // namespace quelvar::caption
