// The caption client's audio input: any file becomes mono 16-bit samples at 16000 Hz.
#include <algorithm>

#include <gtest/gtest.h>

#include "CaptionTestSupport.hpp"
#include "caption/AudioStream.hpp"

namespace quelvar::caption {
namespace {

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
