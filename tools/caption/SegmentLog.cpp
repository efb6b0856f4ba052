// Caption events gathered per segment, each stamped with how much audio had been sent when it came.
#include "caption/SegmentLog.hpp"

namespace quelvar::caption {

std::vector<SettledSegment> SegmentLog::record(const Caption& caption, std::int64_t positionMs) {
  std::vector<SettledSegment> out;
  if (closed_.contains(caption.segment)) {
    return out;
  }
  if (open_ && open_->segment != caption.segment) {
    settleOpen(false, out);
  }
  if (!open_) {
    openFirstMs_ = positionMs;
  }
  open_ = caption;
  openLastMs_ = positionMs;
  if (caption.final) {
    settleOpen(true, out);
  }
  return out;
}

std::vector<SettledSegment> SegmentLog::finish() {
  std::vector<SettledSegment> out;
  if (open_) {
    settleOpen(false, out);
  }
  return out;
}

void SegmentLog::settleOpen(bool final, std::vector<SettledSegment>& out) {
  SettledSegment segment{open_->source, open_->translation, openFirstMs_, openLastMs_, final};
  closed_.insert(open_->segment);
  open_.reset();
  settled_.push_back(segment);
  out.push_back(std::move(segment));
}

}  // namespace quelvar::caption
