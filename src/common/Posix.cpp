// The few POSIX pieces every part needs: a descriptor that closes itself, and writes that finish.
#include "common/Posix.hpp"

#include <unistd.h>

#include <cerrno>

namespace quelvar {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    reset();
    fd_ = other.release();
  }
  return *this;
}

int FileDescriptor::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void FileDescriptor::reset() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

std::error_code FileDescriptor::close() {
  // close(2) must not be retried on EINTR on Linux: the descriptor is gone either way.
  const int result = ::close(release());
  return result == 0 ? std::error_code() : lastError();
}

std::error_code lastError() {
  return {errno, std::system_category()};
}

std::error_code writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return lastError();
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

}  // namespace quelvar
