// The failures of the Apertium translation service.
#pragma once

#include <string>

#include "platform/PlatformError.hpp"

namespace quelvar::apertium {

enum class ErrorCode {
  notInstalled = 1,  // no mode for the direction
  badMode = 2,       // the mode file cannot be read or its command line is not understood
  startFailed = 3,   // a program of the pipeline could not be started
  broken = 4,        // the pipeline ended or its stream broke before the answer was complete
  timedOut = 5,      // the pipeline did not answer in time and was ended
  oversized = 6,     // the answer grew far beyond what the segment can explain
  untranslated = 7,  // a probe sentence came back unchanged: the pair's data is damaged
};

inline PlatformError makeError(ErrorCode code, std::string description) {
  return {error_domain::apertium, static_cast<std::int64_t>(code), std::move(description)};
}

inline bool hasCode(const PlatformError& error, ErrorCode code) {
  return error.domain == error_domain::apertium && error.code == static_cast<std::int64_t>(code);
}

}  // namespace quelvar::apertium
