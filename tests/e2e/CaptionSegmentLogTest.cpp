// Segment bookkeeping of the caption client: which text each segment keeps, and when it came.
#include <gtest/gtest.h>

#include "caption/SegmentLog.hpp"

namespace quelvar::caption {
namespace {

Caption partial(const char* segment, const char* text) {
  return Caption{text, std::string("es:") + text, false, segment};
}

Caption final(const char* segment, const char* text) {
  return Caption{text, std::string("es:") + text, true, segment};
}

std::vector<std::string> sources(const std::vector<SettledSegment>& segments) {
  std::vector<std::string> texts;
  for (const SettledSegment& segment : segments) {
    texts.push_back(segment.source + (segment.final ? "" : " (partial)"));
  }
  return texts;
}

TEST(SegmentLog, SettlesASegmentWithItsFinalCaption) {
  SegmentLog log;
  EXPECT_TRUE(log.record(partial("0", "hello"), 1000).empty());
  EXPECT_TRUE(log.record(partial("0", "hello wor"), 1500).empty());
  ASSERT_TRUE(log.openCaption().has_value());
  const std::vector<SettledSegment> settled = log.record(final("0", "hello world"), 2500);
  ASSERT_EQ(settled.size(), 1U);
  EXPECT_EQ(settled[0].source, "hello world");
  EXPECT_EQ(settled[0].translation, "es:hello world");
  EXPECT_EQ(settled[0].firstMs, 1000);
  EXPECT_EQ(settled[0].endMs, 2500);
  EXPECT_TRUE(settled[0].final);
  EXPECT_FALSE(log.openCaption().has_value());
  EXPECT_TRUE(log.finish().empty());
}

TEST(SegmentLog, KeepsTheLastPartialOfASegmentWhoseFinalNeverCame) {
  SegmentLog log;
  log.record(partial("0", "we are go"), 1000);
  log.record(partial("0", "we are going"), 1400);
  // The host's one-slot queue let segment 1's final overtake segment 0's.
  const std::vector<SettledSegment> settled = log.record(final("1", "to the park"), 3000);
  EXPECT_EQ(sources(settled), (std::vector<std::string>{"we are going (partial)", "to the park"}));
  EXPECT_EQ(settled[0].firstMs, 1000);
  EXPECT_EQ(settled[0].endMs, 1400);
  EXPECT_EQ(settled[1].firstMs, 3000);
  EXPECT_EQ(settled[1].endMs, 3000);
}

TEST(SegmentLog, IgnoresLateCaptionsOfASettledSegment) {
  SegmentLog log;
  log.record(final("0", "hello world"), 2000);
  EXPECT_TRUE(log.record(partial("0", "hello"), 2100).empty());
  EXPECT_TRUE(log.record(final("0", "hello again"), 2200).empty());
  EXPECT_FALSE(log.openCaption().has_value());
  EXPECT_EQ(sources(log.settled()), std::vector<std::string>{"hello world"});
}

TEST(SegmentLog, SettlesWhatIsOpenAtTheEnd) {
  SegmentLog log;
  log.record(final("0", "one"), 1000);
  log.record(partial("1", "two thr"), 2000);
  EXPECT_EQ(sources(log.finish()), std::vector<std::string>{"two thr (partial)"});
  EXPECT_EQ(sources(log.settled()), (std::vector<std::string>{"one", "two thr (partial)"}));
  EXPECT_TRUE(log.finish().empty());
}

}  // namespace
}  // namespace quelvar::caption
