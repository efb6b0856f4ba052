// Blocking frame reads and writes on raw file descriptors, with no user-space buffering.
#include "common/Framing.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>

#include <poll.h>
#include <sys/uio.h>
#include <unistd.h>

#include "common/Json.hpp"

namespace quelvar {

namespace {

// Grow the buffer in steps so that an absurd count cannot allocate memory before bytes arrive.
constexpr std::int64_t kReadStep = 1 << 20;

}  // namespace

ReadResult readExactly(int fd, std::int64_t count) {
  ReadResult result{ReadResult::Kind::bytes, {}};
  std::int64_t held = 0;
  while (held < count) {
    const std::int64_t wanted = std::min(count - held, kReadStep);
    if (static_cast<std::int64_t>(result.bytes.size()) < held + wanted) {
      result.bytes.resize(static_cast<std::size_t>(held + wanted));
    }
    const ssize_t got = ::read(fd, result.bytes.data() + held, static_cast<std::size_t>(wanted));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      const bool cleanEnd = got == 0 && held == 0;
      return {cleanEnd ? ReadResult::Kind::end : ReadResult::Kind::failure, {}};
    }
    held += got;
  }
  return result;
}

FrameResult readFrame(int fd, std::uint32_t maxLength) {
  ReadResult header = readExactly(fd, 4);
  if (header.kind == ReadResult::Kind::end) {
    return {FrameResult::Kind::end, {}};
  }
  if (header.kind == ReadResult::Kind::failure) {
    return {FrameResult::Kind::broken, {}};
  }
  std::uint32_t length = 0;
  for (int i = 3; i >= 0; --i) {
    length = (length << 8) | static_cast<unsigned char>(header.bytes[static_cast<std::size_t>(i)]);
  }
  // Unsigned wrap-around turns a zero length into the largest value, so one test covers both.
  if (length - 1U >= maxLength) {
    return {FrameResult::Kind::broken, {}};
  }
  ReadResult body = readExactly(fd, length);
  if (body.kind != ReadResult::Kind::bytes) {
    return {FrameResult::Kind::broken, {}};
  }
  return {FrameResult::Kind::body, std::move(body.bytes)};
}

std::string frameHeader(std::uint32_t length) {
  std::string header(4, '\0');
  for (std::size_t i = 0; i < 4; ++i) {
    header[i] = static_cast<char>((length >> (8 * i)) & 0xFFU);
  }
  return header;
}

bool fitsOutboundFrame(const nlohmann::json& message) {
  return serialize(message).size() <= kMaxOutboundFrameLength;
}

namespace {

// Writes every part in order, looping over short writes and EINTR.
bool writeParts(int fd, iovec* parts, int count) {
  int first = 0;
  while (first < count) {
    // One part goes by write(2): writev(2) costs a little more per call, which a reply sent
    // from bytes prepared once would notice.
    const ssize_t written = count - first == 1
                                ? ::write(fd, parts[first].iov_base, parts[first].iov_len)
                                : ::writev(fd, parts + first, count - first);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    // A descriptor that shares its open file with a non-blocking reader (a terminal on both
    // standard streams) is non-blocking too; wait for room as a blocking write would.
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd room{fd, POLLOUT, 0};
      if (::poll(&room, 1, -1) < 0 && errno != EINTR) {
        return false;
      }
      continue;
    }
    if (written <= 0) {
      return false;
    }
    auto left = static_cast<std::size_t>(written);
    while (first < count && left >= parts[first].iov_len) {
      left -= parts[first].iov_len;
      ++first;
    }
    if (first < count) {
      parts[first].iov_base = static_cast<char*>(parts[first].iov_base) + left;
      parts[first].iov_len -= left;
    }
  }
  return true;
}

}  // namespace

bool writeFrame(int fd, const nlohmann::json& message) {
  const std::string body = serialize(message);
  if (body.size() > kMaxOutboundFrameLength) {
    return false;
  }
  std::string header = frameHeader(static_cast<std::uint32_t>(body.size()));
  // One gathered write usually puts the whole frame on the pipe at once (a system call less per
  // event) without copying the body.
  iovec parts[2] = {{header.data(), header.size()}, {const_cast<char*>(body.data()), body.size()}};
  return writeParts(fd, parts, 2);
}

std::string prepareFrame(const nlohmann::json& message) {
  const std::string body = serialize(message);
  return frameHeader(static_cast<std::uint32_t>(body.size())) + body;
}

bool writePreparedFrame(int fd, std::string_view frame) {
  iovec part{const_cast<char*>(frame.data()), frame.size()};
  return writeParts(fd, &part, 1);
}

void ignoreSigpipe() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGPIPE, &action, nullptr);
}

}  // namespace quelvar
