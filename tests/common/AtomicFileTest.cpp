// Atomic file writes: the old file or the new one, never a cut-short one reported as written.
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include <gmock/gmock.h>

#include "CaptionTestSupport.hpp"
#include "common/AtomicFile.hpp"

namespace quelvar {
namespace {

namespace fs = std::filesystem;
using ::testing::Optional;

struct AtomicFile : ::testing::Test {
  void SetUp() override { ASSERT_FALSE(writeFileAtomically(dir / "old", "old content")); }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
  }

  caption::testing::TempDir folder;
  fs::path dir = folder.path();
};

TEST_F(AtomicFile, replacesTheFileWithTheGivenModeAndLeavesNoTemporary) {
  EXPECT_FALSE(writeFileAtomically(dir / "old", "new content", 0640));
  EXPECT_THAT(readWholeFile(dir / "old", 100), Optional(std::string("new content")));
  EXPECT_EQ(fs::status(dir / "old").permissions(), fs::perms(0640));
  EXPECT_EQ(entries(), 1U);
}

// A full disk (here a file size limit) must not give a cut-short file reported as written.
TEST_F(AtomicFile, aFullDiskIsReportedAndTheOldSubtitlesStayWhole) {
  struct sigaction ignore {};
  struct sigaction previous {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignore, &previous);
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  rlimit small = limit;
  small.rlim_cur = 4096;
  ::setrlimit(RLIMIT_FSIZE, &small);
  const std::error_code error = writeFileAtomically(dir / "old", std::string(100000, 'x'));
  ::setrlimit(RLIMIT_FSIZE, &limit);
  ::sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_EQ(error, std::errc::file_too_large);
  EXPECT_THAT(readWholeFile(dir / "old", 100), Optional(std::string("old content")));
  EXPECT_EQ(entries(), 1U);
}

TEST_F(AtomicFile, whatCannotBeWrittenIsFoundBeforeWritingAndTheCheckLeavesNothing) {
  EXPECT_EQ(checkCanWriteAtomically(dir / "missing" / "a.srt"),
            std::errc::no_such_file_or_directory);
  EXPECT_EQ(writeFileAtomically(dir / "missing" / "a.srt", "x"),
            std::errc::no_such_file_or_directory);
  EXPECT_EQ(checkCanWriteAtomically(dir), std::errc::is_a_directory);
  EXPECT_FALSE(checkCanWriteAtomically(dir / "new.srt"));
  EXPECT_EQ(entries(), 1U);
}

}  // namespace
}  // namespace quelvar
