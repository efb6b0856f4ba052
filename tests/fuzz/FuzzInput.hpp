// What the fuzz targets share: a hard check and in-memory files standing in for the streams.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace quelvar::fuzz {

inline void require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// An in-memory file holds inputs larger than a pipe without a writer thread, and its offset shows
// exactly how many bytes a reader consumed.
inline int memoryFile(const char* name) {
  const int fd = ::memfd_create(name, 0);
  require(fd >= 0);
  return fd;
}

// Makes `fd` hold exactly the given bytes, positioned at the start.
inline void replaceContents(int fd, const std::uint8_t* data, std::size_t size) {
  require(::ftruncate(fd, 0) == 0);
  require(::lseek(fd, 0, SEEK_SET) == 0);
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    require(written > 0);
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  require(::lseek(fd, 0, SEEK_SET) == 0);
}

}  // namespace quelvar::fuzz
