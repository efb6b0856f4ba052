// From captions to what the caption client writes: which text each segment keeps and when it
// came, cue timing and text, SubRip and WebVTT, and the lines it prints.
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include <gmock/gmock.h>

#include "caption/CueTiming.hpp"
#include "caption/Display.hpp"
#include "caption/SegmentLog.hpp"
#include "caption/SubtitleFormat.hpp"

namespace quelvar::caption {
namespace {

using Settled = std::vector<std::string>;
using Spans = std::vector<std::pair<std::int64_t, std::int64_t>>;

// "source firstMs-endMs", marked when a partial caption stands in for the final.
Settled describe(const std::vector<SettledSegment>& segments) {
  Settled texts;
  for (const SettledSegment& s : segments) {
    texts.push_back(s.source + " " + std::to_string(s.firstMs) + "-" + std::to_string(s.endMs) +
                    (s.final ? "" : " (partial)") + (s.translation == "es:" + s.source ? "" : "!"));
  }
  return texts;
}

struct Step {
  const char* segment;
  const char* text;
  bool final;
  std::int64_t ms;
  Settled settles;  // what this caption settles at once
};

TEST(SegmentLog, settlesEachSegmentOnceWithItsLastTextAndTheTimesItCame) {
  const struct {
    const char* name;
    std::vector<Step> steps;
    Settled atTheEnd;
  } cases[] = {
      // The host's one-slot queue let segment 1's final overtake segment 0's.
      {"a segment whose final never came keeps its last partial",
       {{"0", "we go", false, 1000, {}},
        {"0", "we going", false, 1400, {}},
        {"1", "to park", true, 3000, {"we going 1000-1400 (partial)", "to park 3000-3000"}}},
       {}},
      {"late captions of a settled segment are ignored",
       {{"0", "hello world", true, 2000, {"hello world 2000-2000"}},
        {"0", "hello", false, 2100, {}},
        {"0", "hello again", true, 2200, {}}},
       {}},
      {"what is open at the end settles then",
       {{"0", "one", true, 1000, {"one 1000-1000"}}, {"1", "two thr", false, 2000, {}}},
       {"two thr 2000-2000 (partial)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SegmentLog log;
    Settled all;
    for (const Step& step : c.steps) {
      const Caption caption{step.text, std::string("es:") + step.text, step.final, step.segment};
      EXPECT_EQ(describe(log.record(caption, step.ms)), step.settles) << step.text;
      all.insert(all.end(), step.settles.begin(), step.settles.end());
    }
    EXPECT_EQ(describe(log.finish()), c.atTheEnd);
    EXPECT_THAT(log.finish(), ::testing::IsEmpty());
    all.insert(all.end(), c.atTheEnd.begin(), c.atTheEnd.end());
    EXPECT_EQ(describe(log.settled()), all);
  }
}

std::vector<SettledSegment> arrived(const Spans& firstAndEnd) {
  std::vector<SettledSegment> segments;
  for (const auto& [firstMs, endMs] : firstAndEnd) {
    segments.push_back(SettledSegment{"source", "translation", firstMs, endMs, true});
  }
  return segments;
}

TEST(CueTiming, placesCuesByWhenTheirCaptionsArrived) {
  // Each row: when each segment's first and last captions came, the audio's length, the cues.
  const struct {
    const char* name;
    Spans arrivals;
    std::int64_t durationMs;
    Spans cues;
  } cases[] = {
      {"the first caption less the lead, to the final", {{3000, 5000}}, 10000, {{2000, 5000}}},
      {"the lead stops at zero", {{500, 2500}}, 10000, {{0, 2500}}},
      {"late final ends at next", {{1000, 6000}, {4000, 7000}}, 10000, {{0, 3000}, {3000, 7000}}},
      {"a short cue is stretched to the minimum", {{300, 300}}, 10000, {{0, 800}}},
      {"an end past the audio is cut", {{9500, 12000}}, 10000, {{8500, 10000}}},
      {"crowded cues at the end push each other back",
       {{10500, 10500}, {10600, 10600}, {10700, 10700}},
       10000,
       {{7600, 8400}, {8400, 9200}, {9200, 10000}}},
      {"audio too short for the minimum shares it out",
       {{900, 900}, {950, 950}, {990, 990}},
       1000,
       {{0, 333}, {333, 666}, {666, 999}}},
  };
  for (const auto& c : cases) {
    Spans cues;
    for (const CueTimes& cue : timeCues(arrived(c.arrivals), c.durationMs, {1000, 800})) {
      cues.emplace_back(cue.startMs, cue.endMs);
    }
    EXPECT_EQ(cues, c.cues) << c.name;
  }
}

TEST(CueTiming, neverOverlapsOrLeavesTheAudio) {
  // Arrivals in every order and spacing, including ones past the end of the audio.
  for (std::int64_t duration : {0, 700, 3000, 20000}) {
    for (std::int64_t step : {0, 90, 400, 1700}) {
      Spans arrivals;
      for (std::int64_t i = 0; i < 6; ++i) {
        arrivals.emplace_back(300 + i * step, 300 + i * step + (i % 3) * 2000);
      }
      std::int64_t previousEnd = 0;
      for (const CueTimes& cue : timeCues(arrived(arrivals), duration)) {
        EXPECT_TRUE(previousEnd <= cue.startMs && cue.startMs <= cue.endMs && cue.endMs <= duration)
            << duration << " " << step << ": " << cue.startMs << "-" << cue.endMs;
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

// Down a pipe each settled caption is flushed at once, for whatever reads the pipe meanwhile.
TEST(CaptionDisplay, printsEachSettledCaptionDownAPipeAtOnce) {
  std::FILE* out = std::tmpfile();
  Display display(out, stderr, false, 80, CueText::both);
  display.settled(SettledSegment{"hello world", "hola mundo", 1000, 2500, true});
  std::string flushed(64, '\0');  // what has left the buffer
  flushed.resize(static_cast<std::size_t>(
      std::max<ssize_t>(0, ::pread(fileno(out), flushed.data(), flushed.size(), 0))));
  std::fclose(out);
  EXPECT_EQ(flushed, "hola mundo\thello world\n");
}

TEST(CaptionDisplay, writesClockTimesPastAnHour) {
  EXPECT_EQ(clockTime(3600000 + 61000), "1:01:01");
}

}  // namespace
}  // namespace quelvar::caption
