// What the caption client prints: finals only down a pipe, a status line redrawn on a terminal.
#include <unistd.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "caption/Display.hpp"

namespace quelvar::caption {
namespace {

// Collects what a Display writes to its two streams. Only what it flushed counts: down a pipe,
// the rest would wait in the buffer.
struct Printed {
  ~Printed() {
    std::fclose(out);
    std::fclose(err);
  }
  static std::string text(std::FILE* file) {
    std::string text(1 << 16, '\0');
    const ssize_t got = ::pread(fileno(file), text.data(), text.size(), 0);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return text;
  }
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
};

// Down a pipe, only settled captions, flushed at once, and notes on stderr; on a terminal, a status
// line redrawn in place.
TEST(CaptionDisplay, printsSettledCaptionsDownAPipeAndRedrawsAStatusLineOnATerminal) {
  const struct {
    bool terminal;
    CueText text;
    const char* out;
  } cases[] = {
      {false, CueText::both, "hola mundo\thello world\n"},
      {true, CueText::translation,
       "\r\x1b[K[00:01/00:12]"
       "\r\x1b[K[00:01/00:12] hola mun"
       "\r\x1b[K[00:00] hola mundo\n"
       "\r\x1b[K[00:01/00:12]"
       "\r\x1b[K"
       "\r\x1b[K[00:01/00:12]"
       "\r\x1b[K[00:03/00:12]"
       "\r\x1b[K"},
  };
  for (const auto& c : cases) {
    Printed printed;
    Display display(printed.out, printed.err, c.terminal, 80, c.text);
    display.progress(1000, 12000);
    display.partial(Caption{"hello wor", "hola mun", false, "0"});
    display.settled(SettledSegment{"hello world", "hola mundo", 1000, 2500, true});
    display.note("the speech host fell behind");
    display.progress(3000, 12000);
    display.close();
    EXPECT_EQ(Printed::text(printed.out), c.out) << c.terminal;
    EXPECT_EQ(Printed::text(printed.err), "quelvar-caption: the speech host fell behind\n");
  }
}

TEST(CaptionDisplay, keepsTheNewestWordsOfALongPartialWithinTheWidth) {
  Printed printed;
  Display display(printed.out, printed.err, true, 30, CueText::both);
  display.progress(0, 5000);
  display.partial(Caption{"", "uno dos tres cuatro cinco seis siete ocho", false, "0"});
  const std::string text = Printed::text(printed.out);
  const std::string last = text.substr(text.rfind("\r\x1b[K") + 4);
  EXPECT_EQ(last, "[00:00/00:05] \u2026 siete ocho");
}

TEST(CaptionDisplay, writesClockTimes) {
  EXPECT_EQ(clockTime(0), "00:00");
  EXPECT_EQ(clockTime(59999), "00:59");
  EXPECT_EQ(clockTime(61000), "01:01");
  EXPECT_EQ(clockTime(3600000 + 61000), "1:01:01");
  EXPECT_EQ(clockTime(-1), "00:00");
}

}  // namespace
}  // namespace quelvar::caption
