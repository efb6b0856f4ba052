// The streaming converter: rates, sample types, and a continuous signal across messages.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/linux/LinuxPlatform.hpp"

namespace quelvar {
namespace {

const AudioFormat kWire{16000.0, SampleType::int16, 1};

AudioBuffer sine(std::uint32_t frames, std::uint32_t offset) {
  AudioBuffer buffer(kWire, frames);
  for (std::uint32_t i = 0; i < frames; ++i) {
    buffer.int16Samples()[i] = static_cast<std::int16_t>(
        10000 * std::sin(2 * std::numbers::pi * 440 * (offset + i) / 16000.0));
  }
  buffer.setFrameLength(frames);
  return buffer;
}

// At equal rates every frame is kept where it was; a resampler holds back a little for its
// filter, never more than a few milliseconds, and joins the messages of a stream seamlessly.
TEST(SoxrConverterTest, aStreamKeepsItsLengthAndTheSampleTypeIsConverted) {
  for (const double rate : {16000.0, 48000.0}) {
    const AudioFormat target{rate, SampleType::float32, 1};
    auto converter = makeAudioConverter(kWire, target);
    ASSERT_TRUE(converter);
    const auto frames = static_cast<std::uint32_t>(1600 * rate / 16000);
    std::uint64_t produced = 0;
    for (std::uint32_t message = 0; message < 50; ++message) {
      AudioBuffer in = sine(1600, message * 1600);
      AudioBuffer out(target, frames + 64);
      ASSERT_TRUE(converter->convert(in, out).ok());
      produced += out.frameLength();
      if (rate == 16000.0) {
        EXPECT_FLOAT_EQ(out.floatSamples()[100], in.int16Samples()[100] / 32768.0f);
      }
    }
    EXPECT_LE(produced, 50u * frames);
    EXPECT_GE(produced, 50u * frames - (rate == 16000.0 ? 0 : frames / 2)) << rate;
  }
}

TEST(SoxrConverterTest, refusesWhatItCannotConvert) {
  EXPECT_FALSE(makeAudioConverter(kWire, {0.0, SampleType::float32, 1}));
  EXPECT_FALSE(makeAudioConverter(kWire, {48000.0, SampleType::float32, 2}));
}

}  // namespace
}  // namespace quelvar
