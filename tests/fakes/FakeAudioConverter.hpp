// A scriptable audio converter: passes frames through, holds them back, or fails on request.
#pragma once

#include <algorithm>
#include <memory>

#include "platform/Audio.hpp"

namespace quelvar::testing {

// What the converters a factory makes do with the next buffers; a test may change it while a
// pipeline runs. The factory makes none while `refuse` is set.
struct FakeConverterScript {
  enum class Mode { passThrough, holdBack, fail };
  Mode mode = Mode::passThrough;
  bool refuse = false;
};

// Pass-through keeps the frame count (as if both rates were equal) and writes silence: the tests
// that use it look at counts and positions, not at samples.
struct FakeAudioConverter final : AudioConverter {
  explicit FakeAudioConverter(std::shared_ptr<FakeConverterScript> script)
      : script(std::move(script)) {}

  Status convert(const AudioBuffer& input, AudioBuffer& output) override {
    const bool passes = script->mode == FakeConverterScript::Mode::passThrough;
    output.setFrameLength(passes ? std::min(input.frameLength(), output.frameCapacity()) : 0);
    if (script->mode == FakeConverterScript::Mode::fail) {
      return PlatformError{"fake.converter", 7, "The converter was told to fail."};
    }
    return {};
  }

  std::shared_ptr<FakeConverterScript> script;
};

inline AudioConverterFactory fakeConverterFactory(std::shared_ptr<FakeConverterScript> script) {
  return [script](const AudioFormat&, const AudioFormat&) -> std::unique_ptr<AudioConverter> {
    return script->refuse ? nullptr : std::make_unique<FakeAudioConverter>(script);
  };
}

}  // namespace quelvar::testing
