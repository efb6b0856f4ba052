// What the person running the client sees while captions arrive, on a terminal or down a pipe.
#include "caption/Display.hpp"

#include <vector>

namespace quelvar::caption {
namespace {

bool startsCodePoint(char c) {
  return (static_cast<unsigned char>(c) & 0xC0U) != 0x80U;
}

std::size_t codePoints(const std::string& text) {
  std::size_t count = 0;
  for (char c : text) {
    count += startsCodePoint(c) ? 1 : 0;
  }
  return count;
}

// The end of the text in at most `limit` code points: a partial caption grows at its end, so the
// newest words are the ones to keep.
std::string tail(const std::string& text, std::size_t limit) {
  const std::size_t count = codePoints(text);
  if (count <= limit) {
    return text;
  }
  if (limit == 0) {
    return {};
  }
  std::size_t skip = count - (limit - 1);  // the ellipsis takes one column
  std::size_t at = 0;
  for (; at < text.size(); ++at) {
    if (startsCodePoint(text[at])) {
      if (skip == 0) {
        break;
      }
      --skip;
    }
  }
  // Start at a word where there is one, rather than inside it.
  if (at > 0 && text[at - 1] != ' ') {
    const std::size_t space = text.find(' ', at);
    at = space == std::string::npos ? at : space;
  }
  return "\u2026" + text.substr(at);
}

// A caption is the host's text: control characters in it (an escape sequence, a tab that would
// split the line's fields) are shown as U+FFFD instead of reaching the terminal.
std::string printable(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (c < 0x20 || c == 0x7F || c1) {
      out += "\uFFFD";
      i += c1 ? 1 : 0;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::string clockTime(std::int64_t ms) {
  const std::int64_t seconds = ms < 0 ? 0 : ms / 1000;
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%02lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  }
  return text;
}

Display::Display(std::FILE* out, std::FILE* err, bool terminal, std::size_t width, CueText text)
    : out_(out), err_(err), terminal_(terminal), width_(width < 20 ? 20 : width), text_(text) {}

void Display::progress(std::int64_t positionMs, std::int64_t durationMs) {
  status("[" + clockTime(std::min(positionMs, durationMs)) + "/" + clockTime(durationMs) + "]");
}

void Display::status(const std::string& text) {
  progress_ = text;
  redraw();
}

void Display::partial(const Caption& caption) {
  partial_ = printable(caption.translation.empty() ? caption.source : caption.translation);
  redraw();
}

void Display::settled(const SettledSegment& segment) {
  std::vector<std::string> lines = cueLines(segment, text_);
  for (std::string& line : lines) {
    line = printable(line);
  }
  partial_.clear();
  if (lines.empty()) {
    redraw();
    return;
  }
  if (!terminal_) {
    std::string line;
    for (const std::string& text : lines) {
      line += (line.empty() ? "" : "\t") + text;
    }
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
    return;
  }
  clearLine();
  // The time the subtitle file will give the cue, near where the speech began.
  const std::string stamp = "[" + clockTime(segment.firstMs - TimingRules{}.leadMs) + "] ";
  std::fprintf(out_, "%s%s\n", stamp.c_str(), lines.front().c_str());
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::fprintf(out_, "%*s\x1b[2m%s\x1b[0m\n", static_cast<int>(stamp.size()), "",
                 lines[i].c_str());
  }
  redraw();
}

void Display::note(const std::string& text) {
  clearLine();
  const std::size_t end = text.find_last_not_of('\n');
  std::fprintf(err_, "quelvar-caption: %s\n",
               text.substr(0, end == std::string::npos ? 0 : end + 1).c_str());
  std::fflush(err_);
  redraw();
}

void Display::close() {
  clearLine();
  progress_.clear();
  partial_.clear();
}

void Display::clearLine() {
  if (terminal_ && lineShown_) {
    std::fputs("\r\x1b[K", out_);
    std::fflush(out_);
    lineShown_ = false;
  }
}

void Display::redraw() {
  if (!terminal_ || (progress_.empty() && partial_.empty())) {
    return;
  }
  std::string line = progress_;
  if (!partial_.empty()) {
    // One column stays free so the cursor never wraps to a new line.
    const std::size_t used = codePoints(line) + 1;
    line += " " + tail(partial_, width_ > used + 1 ? width_ - used - 1 : 0);
  }
  std::fprintf(out_, "\r\x1b[K%s", line.c_str());
  std::fflush(out_);
  lineShown_ = true;
}

}  // namespace quelvar::caption
