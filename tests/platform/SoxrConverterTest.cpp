// The streaming converter: rates, sample types, and a continuous signal across messages.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/linux/SoxrConverter.hpp"

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

TEST(SoxrConverterTest, equalRatesKeepEveryFrameAndConvertTheSampleType) {
  auto converter = makeSoxrConverter(kWire, {16000.0, SampleType::float32, 1});
  ASSERT_TRUE(converter);
  AudioBuffer in = sine(1600, 0);
  AudioBuffer out({16000.0, SampleType::float32, 1}, 1664);
  EXPECT_FALSE(converter->convert(in, out));
  ASSERT_EQ(out.frameLength(), 1600u);
  EXPECT_FLOAT_EQ(out.floatSamples()[100], in.int16Samples()[100] / 32768.0f);
}

TEST(SoxrConverterTest, resamplingTo48kProducesThreeTimesTheFramesOverAStream) {
  const AudioFormat target{48000.0, SampleType::float32, 1};
  auto converter = makeSoxrConverter(kWire, target);
  ASSERT_TRUE(converter);
  std::uint64_t produced = 0;
  for (std::uint32_t message = 0; message < 50; ++message) {
    AudioBuffer in = sine(1600, message * 1600);
    AudioBuffer out(target, static_cast<std::uint32_t>(48000.0 * 1600 / 16000.0 + 64.0));
    ASSERT_FALSE(converter->convert(in, out));
    produced += out.frameLength();
  }
  // The resampler holds back a little for its filter, never more than a few milliseconds.
  EXPECT_LE(produced, 50u * 4800u);
  EXPECT_GE(produced, 50u * 4800u - 2400u);
}

TEST(SoxrConverterTest, refusesWhatItCannotConvert) {
  EXPECT_FALSE(makeSoxrConverter(kWire, {0.0, SampleType::float32, 1}));
  EXPECT_FALSE(makeSoxrConverter(kWire, {48000.0, SampleType::float32, 2}));
}

}  // namespace
}  // namespace quelvar
