// A pipe for tests whose ends close themselves; closing the write end early signals EOF.
#pragma once

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

namespace quelvar::testing {

struct TestPipe {
  TestPipe() {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    readEnd = fds[0];
    writeEnd = fds[1];
    // Room for everything a test writes, so a single thread can write before it reads.
    ::fcntl(writeEnd, F_SETPIPE_SZ, 1 << 20);
  }
  ~TestPipe() {
    closeEnd(readEnd);
    closeEnd(writeEnd);
  }
  TestPipe(const TestPipe&) = delete;
  TestPipe& operator=(const TestPipe&) = delete;

  static void closeEnd(int& fd) {
    if (fd >= 0) {
      ::close(fd);
      fd = -1;
    }
  }
  void write(const std::string& bytes) const {
    ASSERT_EQ(::write(writeEnd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  int pending() const {
    int bytes = 0;
    ::ioctl(readEnd, FIONREAD, &bytes);
    return bytes;
  }
  // Closes the write end and reads everything left.
  std::string drain() {
    closeEnd(writeEnd);
    return readAll(readEnd);
  }
  static std::string readAll(int fd) {
    std::string bytes;
    char buffer[4096];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
      bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
  }

  int readEnd = -1;
  int writeEnd = -1;
};

}  // namespace quelvar::testing
