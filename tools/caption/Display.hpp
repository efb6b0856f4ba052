// What the person running the client sees while captions arrive, on a terminal or down a pipe.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "caption/SegmentLog.hpp"
#include "caption/SubtitleFormat.hpp"

namespace quelvar::caption {

// "mm:ss", or "h:mm:ss" from one hour on.
std::string clockTime(std::int64_t ms);

// On a terminal, one status line at the bottom shows the progress and the current partial
// caption, redrawn in place; settled captions scroll above it. Elsewhere only settled captions
// are printed, one per line, their texts separated by a tab.
class Display {
 public:
  Display(std::FILE* out, std::FILE* err, bool terminal, std::size_t width, CueText text);

  void progress(std::int64_t positionMs, std::int64_t durationMs);
  void partial(const Caption& caption);
  void settled(const SettledSegment& segment);
  void status(const std::string& text);
  // One line on standard error, without breaking the status line.
  void note(const std::string& text);
  // Erases the status line for good.
  void close();

 private:
  void clearLine();
  void redraw();

  std::FILE* out_;
  std::FILE* err_;
  bool terminal_;
  std::size_t width_;
  CueText text_;
  std::string progress_;
  std::string partial_;
  bool lineShown_ = false;
};

}  // namespace quelvar::caption
