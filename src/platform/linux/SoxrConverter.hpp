// The audio converter on libsoxr: streaming rate and sample-type conversion.
#pragma once

#include <memory>

#include "platform/Audio.hpp"

namespace quelvar {

// Makes a converter from `from` to `to` (mono, int16 or float32, any positive rates), or nothing
// when the formats cannot be converted.
std::unique_ptr<AudioConverter> makeSoxrConverter(const AudioFormat& from, const AudioFormat& to);

}  // namespace quelvar
