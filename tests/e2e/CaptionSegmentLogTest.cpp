// Segment bookkeeping of the caption client: which text each segment keeps, and when it came.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "caption/SegmentLog.hpp"

namespace quelvar::caption {
namespace {

using Settled = std::vector<std::string>;

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
       {{"0", "we are go", false, 1000, {}},
        {"0", "we are going", false, 1400, {}},
        {"1",
         "to the park",
         true,
         3000,
         {"we are going 1000-1400 (partial)", "to the park 3000-3000"}}},
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

}  // namespace
}  // namespace quelvar::caption
