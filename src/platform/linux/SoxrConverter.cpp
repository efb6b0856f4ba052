// The audio converter on libsoxr: streaming rate and sample-type conversion.
#include "platform/linux/LinuxPlatform.hpp"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace quelvar {
namespace {

soxr_datatype_t soxrType(SampleType type) {
  return type == SampleType::int16 ? SOXR_INT16_I : SOXR_FLOAT32_I;
}

// Equal rates need no filter: converting sample types only keeps every frame where it was, so
// nothing is held back and timestamps stay exact.
class SampleTypeConverter final : public AudioConverter {
 public:
  Status convert(const AudioBuffer& input, AudioBuffer& output) override {
    const std::uint32_t frames = std::min(input.frameLength(), output.frameCapacity());
    const AudioFormat& in = input.format();
    const AudioFormat& out = output.format();
    for (std::uint32_t i = 0; i < frames; ++i) {
      const float sample = in.sampleType == SampleType::int16
                               ? static_cast<float>(input.int16Samples()[i]) / 32768.0f
                               : input.floatSamples()[i];
      if (out.sampleType == SampleType::int16) {
        const float scaled = std::clamp(sample * 32768.0f, -32768.0f, 32767.0f);
        output.int16Samples()[i] = static_cast<std::int16_t>(std::lrint(scaled));
      } else {
        output.floatSamples()[i] = sample;
      }
    }
    output.setFrameLength(frames);
    return {};
  }
};

class SoxrConverter final : public AudioConverter {
 public:
  explicit SoxrConverter(soxr_t soxr) : soxr_(soxr) {}
  ~SoxrConverter() override { soxr_delete(soxr_); }
  SoxrConverter(const SoxrConverter&) = delete;
  SoxrConverter& operator=(const SoxrConverter&) = delete;

  Status convert(const AudioBuffer& input, AudioBuffer& output) override {
    std::size_t consumed = 0;
    std::size_t produced = 0;
    // The stream is never flushed: the resampler keeps its history so messages join seamlessly.
    soxr_error_t error = soxr_process(soxr_, input.data(), input.frameLength(), &consumed,
                                      output.data(), output.frameCapacity(), &produced);
    if (error != nullptr) {
      output.setFrameLength(0);
      return PlatformError{error_domain::soxr, 1, error};
    }
    output.setFrameLength(static_cast<std::uint32_t>(produced));
    return {};
  }

 private:
  soxr_t soxr_;
};

}  // namespace

std::unique_ptr<AudioConverter> makeAudioConverter(const AudioFormat& from, const AudioFormat& to) {
  if (from.channels != 1 || to.channels != 1 || !(from.sampleRate > 0) || !(to.sampleRate > 0)) {
    return nullptr;
  }
  if (from.sampleRate == to.sampleRate) {
    return std::make_unique<SampleTypeConverter>();
  }
  soxr_error_t error = nullptr;
  const soxr_io_spec_t io = soxr_io_spec(soxrType(from.sampleType), soxrType(to.sampleType));
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  soxr_t soxr = soxr_create(from.sampleRate, to.sampleRate, 1, &error, &io, &quality, nullptr);
  if (error != nullptr || soxr == nullptr) {
    soxr_delete(soxr);
    return nullptr;
  }
  return std::make_unique<SoxrConverter>(soxr);
}

}  // namespace quelvar
