// Caption events gathered per segment, each stamped with how much audio had been sent when it came.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quelvar::caption {

// One "caption" event of the speech host.
struct Caption {
  std::string source;
  std::string translation;
  bool final = false;
  std::string segment;
};

// A segment whose text will not change any more.
struct SettledSegment {
  std::string source;
  std::string translation;
  std::int64_t firstMs = 0;  // audio sent when the segment's first caption arrived
  std::int64_t endMs = 0;    // audio sent when its final (or last) caption arrived
  bool final = false;        // false: the last partial caption stands in for a missing final
};

// Turns the stream of partial and final captions into settled segments. A segment settles with
// its final caption; when the host moves on to a later segment without one (its one-slot
// translation queue lets a newer final overtake an older one), the segment's last partial caption
// is kept instead, so no recognised speech vanishes from the subtitles.
class SegmentLog {
 public:
  // Records a caption that arrived when `positionMs` of audio had been sent; returns the segments
  // it settled, oldest first. Captions of an already settled segment are ignored.
  std::vector<SettledSegment> record(const Caption& caption, std::int64_t positionMs);

  // Settles the segment still open at the end of the session, if any.
  std::vector<SettledSegment> finish();

  const std::vector<SettledSegment>& settled() const { return settled_; }

 private:
  void settleOpen(bool final, std::vector<SettledSegment>& out);

  std::optional<Caption> open_;
  std::int64_t openFirstMs_ = 0;
  std::int64_t openLastMs_ = 0;
  std::set<std::string> closed_;
  std::vector<SettledSegment> settled_;
};

}  // namespace quelvar::caption
