// Subtitle cues from settled segments, written as SubRip (.srt) and WebVTT (.vtt) text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "caption/CueTiming.hpp"
#include "caption/SegmentLog.hpp"

namespace quelvar::caption {

// Which texts a cue shows, top line first.
enum class CueText { both, sourceFirst, translation, source };

std::optional<CueText> parseCueText(std::string_view name);

struct Cue {
  std::int64_t startMs = 0;
  std::int64_t endMs = 0;
  std::vector<std::string> lines;  // never empty, no line breaks inside a line
};

// The lines a segment's cue shows. A text that is empty falls back to the other one, and a
// translation equal to its source is shown once. Empty when both texts are empty.
std::vector<std::string> cueLines(const SettledSegment& segment, CueText text);

// The cues of the segments that have text, timed by timeCues.
std::vector<Cue> makeCues(const std::vector<SettledSegment>& segments, std::int64_t durationMs,
                          CueText text, const TimingRules& rules = {});

// "HH:MM:SS,mmm" (SubRip) or "HH:MM:SS.mmm" (WebVTT); negative times count as zero.
std::string cueTimestamp(std::int64_t ms, char fractionSeparator);

std::string formatSrt(const std::vector<Cue>& cues);
std::string formatVtt(const std::vector<Cue>& cues);

}  // namespace quelvar::caption
