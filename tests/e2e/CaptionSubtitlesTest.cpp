// Subtitle cues of the caption client: their timing, their text, and SubRip and WebVTT output.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "caption/CueTiming.hpp"
#include "caption/SubtitleFormat.hpp"

namespace quelvar::caption {
namespace {

using ::testing::ElementsAre;

SettledSegment arrived(std::int64_t firstMs, std::int64_t endMs) {
  return SettledSegment{"source", "translation", firstMs, endMs, true};
}

TEST(CueTiming, placesCuesByWhenTheirCaptionsArrived) {
  const TimingRules rules{1000, 800};
  const struct {
    const char* name;
    std::vector<SettledSegment> segments;
    std::int64_t durationMs;
    std::vector<std::pair<std::int64_t, std::int64_t>> expected;
  } cases[] = {
      {"the first caption less the lead, to the final",
       {arrived(3000, 5000)},
       10000,
       {{2000, 5000}}},
      {"the lead stops at zero", {arrived(500, 2500)}, 10000, {{0, 2500}}},
      {"a late final ends where the next cue starts",
       {arrived(1000, 6000), arrived(4000, 7000)},
       10000,
       {{0, 3000}, {3000, 7000}}},
      {"a short cue is stretched to the minimum", {arrived(300, 300)}, 10000, {{0, 800}}},
      {"an end past the audio is cut", {arrived(9500, 12000)}, 10000, {{8500, 10000}}},
      {"crowded cues at the end push each other back",
       {arrived(10500, 10500), arrived(10600, 10600), arrived(10700, 10700)},
       10000,
       {{7600, 8400}, {8400, 9200}, {9200, 10000}}},
      {"audio too short for the minimum shares it out",
       {arrived(900, 900), arrived(950, 950), arrived(990, 990)},
       1000,
       {{0, 333}, {333, 666}, {666, 999}}},
  };
  for (const auto& c : cases) {
    const std::vector<CueTimes> cues = timeCues(c.segments, c.durationMs, rules);
    std::vector<std::pair<std::int64_t, std::int64_t>> spans;
    for (const CueTimes& cue : cues) {
      spans.emplace_back(cue.startMs, cue.endMs);
    }
    EXPECT_EQ(spans, c.expected) << c.name;
  }
}

TEST(CueTiming, neverOverlapsOrLeavesTheAudio) {
  // Arrivals in every order and spacing, including ones past the end of the audio.
  for (std::int64_t duration : {0, 700, 3000, 20000}) {
    for (std::int64_t step : {0, 90, 400, 1700}) {
      std::vector<SettledSegment> segments;
      for (std::int64_t i = 0; i < 6; ++i) {
        segments.push_back(arrived(300 + i * step, 300 + i * step + (i % 3) * 2000));
      }
      const std::vector<CueTimes> cues = timeCues(segments, duration);
      std::int64_t previousEnd = 0;
      for (const CueTimes& cue : cues) {
        EXPECT_GE(cue.startMs, previousEnd) << duration << " " << step;
        EXPECT_LE(cue.startMs, cue.endMs) << duration << " " << step;
        EXPECT_LE(cue.endMs, duration) << duration << " " << step;
        previousEnd = cue.endMs;
      }
    }
  }
}

TEST(CueText, showsTheChosenTextsOnSeparateLines) {
  const struct {
    CueText mode;
    const char* source;
    const char* translation;
    std::vector<std::string> lines;
  } cases[] = {
      {CueText::both, "Hello world", "Hola mundo", {"Hola mundo", "Hello world"}},
      {CueText::sourceFirst, "Hello world", "Hola mundo", {"Hello world", "Hola mundo"}},
      {CueText::both, "Madrid", "Madrid", {"Madrid"}},
      {CueText::translation, "Hello", "  ", {"Hello"}},
      {CueText::source, "", "Hola", {"Hola"}},
      {CueText::both, "one\ntwo", "uno\r\n\ndos ", {"uno   dos", "one two"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cueLines(SettledSegment{c.source, c.translation, 0, 0, true}, c.mode), c.lines)
        << c.source << " / " << c.translation;
  }
}

// The host's text is no markup: WebVTT gets it escaped, SubRip as it is.
TEST(SubtitleFormat, writesSubRipAndWebVtt) {
  const std::vector<Cue> cues{{36061001, 36062000, {"a <b> & c"}}};
  EXPECT_EQ(formatSrt(cues), "1\n10:01:01,001 --> 10:01:02,000\na <b> & c\n\n");
  EXPECT_EQ(formatVtt(cues), "WEBVTT\n\n10:01:01.001 --> 10:01:02.000\na &lt;b&gt; &amp; c\n\n");
}

// A segment without text gives no cue, which would end the SubRip file for its readers.
TEST(SubtitleFormat, leavesOutSegmentsWithoutText) {
  EXPECT_EQ(makeCues({{"Hello", "Hola", 2000, 4000, true}, {"", "", 5000, 6000, true}}, 10000,
                     CueText::both)
                .size(),
            1U);
}

}  // namespace
}  // namespace quelvar::caption
