// Atomic file writes: the old file or the new one, never a cut-short one reported as written.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "CaptionTestSupport.hpp"
#include "common/AtomicFile.hpp"

namespace quelvar {

using caption::testing::TempDir;
namespace {

namespace fs = std::filesystem;

class AtomicFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = folder.path();
    std::ofstream(dir / "old") << "old content";
  }

  std::string content(const fs::path& path) const {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
  }

  TempDir folder;
  fs::path dir;
};

TEST_F(AtomicFile, replacesTheFileWithTheGivenMode) {
  EXPECT_FALSE(checkCanWriteAtomically(dir / "old"));
  EXPECT_FALSE(writeFileAtomically(dir / "old", "new content", 0640));
  EXPECT_EQ(content(dir / "old"), "new content");
  struct stat info {};
  ASSERT_EQ(::stat((dir / "old").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640U);
  EXPECT_EQ(entries(), 1U) << "no temporary file stays";
}

// A full disk (here a file size limit) is an error, and the old file stays as it was.
TEST_F(AtomicFile, reportsAFullDiskAndKeepsTheOldFile) {
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
  EXPECT_EQ(content(dir / "old"), "old content");
  EXPECT_EQ(entries(), 1U);
}

TEST_F(AtomicFile, findsWhatCannotBeWrittenBeforeWriting) {
  EXPECT_EQ(checkCanWriteAtomically(dir / "missing" / "a.srt"),
            std::errc::no_such_file_or_directory);
  EXPECT_EQ(writeFileAtomically(dir / "missing" / "a.srt", "x"),
            std::errc::no_such_file_or_directory);
  fs::create_directory(dir / "folder");
  EXPECT_EQ(checkCanWriteAtomically(dir / "folder"), std::errc::is_a_directory);
  EXPECT_FALSE(checkCanWriteAtomically(dir / "new.srt"));
  EXPECT_EQ(entries(), 2U) << "the check leaves nothing behind";
}

}  // namespace
}  // namespace quelvar
