// A scriptable audio converter: passes frames through, holds them back, or fails on request.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Audio.hpp"

namespace quelvar::testing {

// What the converter does with the next buffers. Shared between the test and the converters
// that a factory makes, so a test can change it while a pipeline runs.
struct FakeConverterScript {
  enum class Mode { passThrough, holdBack, fail };
  Mode mode = Mode::passThrough;
  PlatformError failure{"fake.converter", 7, "The converter was told to fail."};

  // Every call, in order: frames offered and frames produced.
  struct Call {
    std::uint32_t inputFrames;
    std::uint32_t outputFrames;
  };
  std::vector<Call> calls;
  // Formats each converter was made for; the factory refuses when `refuse` is set.
  std::vector<std::pair<AudioFormat, AudioFormat>> made;
  bool refuse = false;
};

class FakeAudioConverter final : public AudioConverter {
 public:
  explicit FakeAudioConverter(std::shared_ptr<FakeConverterScript> script)
      : script_(std::move(script)) {}

  // Pass-through keeps the frame count (as if both rates were equal) and writes silence: the
  // tests that use it look at counts and positions, not at samples.
  Status convert(const AudioBuffer& input, AudioBuffer& output) override {
    std::uint32_t produced = 0;
    Status status;
    switch (script_->mode) {
      case FakeConverterScript::Mode::passThrough:
        produced = std::min(input.frameLength(), output.frameCapacity());
        break;
      case FakeConverterScript::Mode::holdBack:
        break;
      case FakeConverterScript::Mode::fail:
        status = script_->failure;
        break;
    }
    output.setFrameLength(produced);
    script_->calls.push_back({input.frameLength(), produced});
    return status;
  }

 private:
  std::shared_ptr<FakeConverterScript> script_;
};

// A factory for Platform::makeConverter that makes fake converters following `script`.
inline AudioConverterFactory fakeConverterFactory(std::shared_ptr<FakeConverterScript> script) {
  return
      [script](const AudioFormat& from, const AudioFormat& to) -> std::unique_ptr<AudioConverter> {
        script->made.emplace_back(from, to);
        if (script->refuse) {
          return nullptr;
        }
        return std::make_unique<FakeAudioConverter>(script);
      };
}

}  // namespace quelvar::testing
