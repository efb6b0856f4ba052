// When each subtitle cue shows, from the audio positions at which its captions arrived.
#include "caption/CueTiming.hpp"

#include <algorithm>

namespace quelvar::caption {

std::vector<CueTimes> timeCues(const std::vector<SettledSegment>& segments, std::int64_t durationMs,
                               const TimingRules& rules) {
  const auto count = static_cast<std::int64_t>(segments.size());
  std::vector<CueTimes> cues(segments.size());
  if (count == 0) {
    return cues;
  }
  const std::int64_t duration = std::max<std::int64_t>(durationMs, 0);
  // With count * shortest <= duration every cue fits, so the clamping below never goes negative.
  const std::int64_t shortest =
      std::min(std::max<std::int64_t>(rules.minDurationMs, 0), duration / count);

  std::int64_t earliest = 0;
  for (std::size_t i = 0; i < cues.size(); ++i) {
    const SettledSegment& segment = segments[i];
    cues[i].startMs =
        std::max(std::clamp(segment.firstMs - rules.leadMs, std::int64_t{0}, duration), earliest);
    cues[i].endMs =
        std::max(std::clamp(segment.endMs, std::int64_t{0}, duration), cues[i].startMs + shortest);
    earliest = cues[i].startMs + shortest;
  }
  // Each cue ends where the next starts; cues pushed past the end of the audio move back, and push
  // their predecessors back with them.
  std::int64_t limit = duration;
  for (std::size_t i = cues.size(); i-- > 0;) {
    cues[i].endMs = std::min(cues[i].endMs, limit);
    cues[i].startMs =
        std::max<std::int64_t>(std::min(cues[i].startMs, cues[i].endMs - shortest), 0);
    limit = cues[i].startMs;
  }
  return cues;
}

}  // namespace quelvar::caption
