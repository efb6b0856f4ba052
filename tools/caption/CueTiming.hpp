// When each subtitle cue shows, from the audio positions at which its captions arrived.
#pragma once

#include <cstdint>
#include <vector>

#include "caption/SegmentLog.hpp"

namespace quelvar::caption {

struct CueTimes {
  std::int64_t startMs = 0;
  std::int64_t endMs = 0;
};

struct TimingRules {
  // A segment's first caption comes a little after its speech began: recognition needs a word or
  // two before it shows a partial result.
  std::int64_t leadMs = 1000;
  // Shortest cue worth reading; shrinks when the audio is too short to give every cue this long.
  std::int64_t minDurationMs = 800;
};

// One time span per segment, in order: inside [0, durationMs], each at least the minimum long
// (unless the audio is too short for that), starting in order and never overlapping. Starts are
// trusted over ends, because a final caption can wait for the host's translation pacing: a cue
// whose final came late ends where the next one starts.
std::vector<CueTimes> timeCues(const std::vector<SettledSegment>& segments, std::int64_t durationMs,
                               const TimingRules& rules = {});

}  // namespace quelvar::caption
