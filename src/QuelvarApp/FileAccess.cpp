// POSIX implementations of the registration's file operations.
#include "FileAccess.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace quelvar {
namespace {

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

}  // namespace

std::optional<std::string> readWholeFile(const std::filesystem::path& path, std::size_t maxBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return std::nullopt;
  }
  std::string content;
  char buffer[4096];
  bool ok = true;
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    content.append(buffer, static_cast<std::size_t>(got));
    if (content.size() > maxBytes) {
      ok = false;
      break;
    }
  }
  ::close(fd);
  if (!ok) {
    return std::nullopt;
  }
  return content;
}

std::error_code writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  std::string temporary =
      (path.parent_path() / ("." + path.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    return lastError();
  }
  // mkstemp creates the file private to its owner; a manifest is an ordinary readable file.
  std::error_code error;
  if (::fchmod(fd, 0644) != 0) {
    error = lastError();
  }
  if (!error) {
    error = writeAll(fd, bytes);
  }
  if (!error && ::fsync(fd) != 0) {
    error = lastError();
  }
  if (::close(fd) != 0 && !error) {
    error = lastError();
  }
  if (!error && ::rename(temporary.c_str(), path.c_str()) != 0) {
    error = lastError();
  }
  if (error) {
    ::unlink(temporary.c_str());
  }
  return error;
}

bool isExecutableFile(const std::filesystem::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

}  // namespace quelvar
