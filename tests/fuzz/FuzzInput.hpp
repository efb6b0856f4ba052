// What the fuzz targets share: a hard check and in-memory files standing in for the streams.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

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

// Everything written to `fd` so far.
inline std::string contents(int fd) {
  const off_t size = ::lseek(fd, 0, SEEK_END);
  require(size >= 0);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  require(::pread(fd, bytes.data(), bytes.size(), 0) == size);
  return bytes;
}

// A frame header's length, read independently of the code under test: four bytes, little-endian.
inline std::uint32_t frameLength(const void* header) {
  const auto* bytes = static_cast<const unsigned char*>(header);
  return bytes[0] | (bytes[1] << 8U) | (bytes[2] << 16U) | (std::uint32_t{bytes[3]} << 24U);
}

}  // namespace quelvar::fuzz
