// The errors the PocketSphinx service reports: one domain, one code per kind of failure.
#pragma once

#include <cstdint>
#include <string>

#include "platform/PlatformError.hpp"

namespace quelvar::pocketsphinx {

enum class ErrorCode : std::int64_t {
  unsupportedLocale = 1,  // no recogniser in the catalogue for the locale
  modelNotInstalled = 2,  // the model's files are missing; a package must be installed
  modelLoadFailed = 3,    // the decoder refused the model files
  decoderFailed = 4,      // the decoder failed while recognising
  unsupportedAudio = 5,   // a buffer not in the analyzer's audio format
  resultsOverflowed = 6,  // the result reader fell too far behind
  analyzerMisused = 7,    // started twice, or with a transcriber of another service
};

inline PlatformError makeError(ErrorCode code, std::string description) {
  return PlatformError{error_domain::pocketsphinx, static_cast<std::int64_t>(code),
                       std::move(description)};
}

}  // namespace quelvar::pocketsphinx
