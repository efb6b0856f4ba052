// Writing a whole file so that readers and crashes see the old content or the new, never a part.
#include "common/AtomicFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "common/Posix.hpp"

namespace quelvar {
namespace {

struct Temporary {
  std::string path;
  FileDescriptor fd;
};

// A new file private to its owner beside `path`, hidden by a leading dot.
std::error_code makeTemporary(const std::filesystem::path& path, Temporary& temporary) {
  temporary.path = (path.parent_path() / ("." + path.filename().string() + ".XXXXXX")).string();
  temporary.fd = FileDescriptor(::mkostemp(temporary.path.data(), O_CLOEXEC));
  return temporary.fd ? std::error_code() : lastError();
}

}  // namespace

std::optional<std::string> readWholeFile(const std::filesystem::path& path, std::size_t maxBytes) {
  const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    return std::nullopt;
  }
  std::string content;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      return std::nullopt;
    }
    if (got == 0) {
      return content;
    }
    content.append(buffer, static_cast<std::size_t>(got));
    if (content.size() > maxBytes) {
      return std::nullopt;
    }
  }
}

std::error_code writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                    mode_t mode) {
  Temporary temporary;
  std::error_code error = makeTemporary(path, temporary);
  if (error) {
    return error;
  }
  if (::fchmod(temporary.fd.get(), mode) != 0) {
    error = lastError();
  }
  if (!error) {
    error = writeAll(temporary.fd.get(), bytes);
  }
  // A full disk may show only here: the data must be on disk before the rename makes it the file.
  if (!error && ::fsync(temporary.fd.get()) != 0) {
    error = lastError();
  }
  if (const std::error_code closed = temporary.fd.close(); !error) {
    error = closed;
  }
  if (!error && ::rename(temporary.path.c_str(), path.c_str()) != 0) {
    error = lastError();
  }
  if (error) {
    ::unlink(temporary.path.c_str());
  }
  return error;
}

std::error_code checkCanWriteAtomically(const std::filesystem::path& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    return std::make_error_code(std::errc::is_a_directory);
  }
  Temporary temporary;
  error = makeTemporary(path, temporary);
  if (!error) {
    ::unlink(temporary.path.c_str());
  }
  return error;
}

}  // namespace quelvar
