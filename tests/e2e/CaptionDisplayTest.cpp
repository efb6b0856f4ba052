// What the caption client prints: finals only down a pipe, a status line redrawn on a terminal.
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include <gtest/gtest.h>

#include "caption/Display.hpp"

namespace quelvar::caption {
namespace {

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
