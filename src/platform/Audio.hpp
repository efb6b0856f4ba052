// Audio formats, PCM buffers and the converter between the wire format and an analyzer's format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "platform/PlatformError.hpp"

namespace quelvar {

enum class SampleType { int16, float32 };

struct AudioFormat {
  double sampleRate = 16000.0;
  SampleType sampleType = SampleType::int16;
  std::uint32_t channels = 1;  // samples are interleaved when there are several

  std::size_t bytesPerFrame() const {
    return channels * (sampleType == SampleType::int16 ? sizeof(std::int16_t) : sizeof(float));
  }
  bool operator==(const AudioFormat&) const = default;
};

// A PCM buffer of a fixed capacity; frameLength says how many frames hold audio.
class AudioBuffer {
 public:
  AudioBuffer(AudioFormat format, std::uint32_t frameCapacity)
      : format_(format), capacity_(frameCapacity), bytes_(format.bytesPerFrame() * frameCapacity) {}

  const AudioFormat& format() const { return format_; }
  std::uint32_t frameCapacity() const { return capacity_; }
  std::uint32_t frameLength() const { return length_; }
  void setFrameLength(std::uint32_t frames) { length_ = frames < capacity_ ? frames : capacity_; }

  std::byte* data() { return bytes_.data(); }
  const std::byte* data() const { return bytes_.data(); }
  std::span<std::int16_t> int16Samples() {
    return {reinterpret_cast<std::int16_t*>(bytes_.data()), capacity_ * format_.channels};
  }
  std::span<const std::int16_t> int16Samples() const {
    return {reinterpret_cast<const std::int16_t*>(bytes_.data()), capacity_ * format_.channels};
  }
  std::span<float> floatSamples() {
    return {reinterpret_cast<float*>(bytes_.data()), capacity_ * format_.channels};
  }
  std::span<const float> floatSamples() const {
    return {reinterpret_cast<const float*>(bytes_.data()), capacity_ * format_.channels};
  }

 private:
  AudioFormat format_;
  std::uint32_t capacity_;
  std::uint32_t length_ = 0;
  std::vector<std::byte> bytes_;
};

// Converts a continuous signal message by message: state (filter history, partial frames) is
// kept between calls, so consecutive buffers form one stream.
class AudioConverter {
 public:
  virtual ~AudioConverter() = default;
  // Converts all of `input` into `output` (whose frame length it sets); may hold frames back.
  virtual Status convert(const AudioBuffer& input, AudioBuffer& output) = 0;
};

// Makes a converter between two formats, or nothing when the pair cannot be converted.
using AudioConverterFactory =
    std::function<std::unique_ptr<AudioConverter>(const AudioFormat& from, const AudioFormat& to)>;

}  // namespace quelvar
