// The incremental frame reader: header, length check, body, with reads sized to what is missing.
#include "common/FrameReader.hpp"

#include <cerrno>

#include <unistd.h>

#include "common/Framing.hpp"

namespace quelvar {

FrameReader::Outcome FrameReader::fill(std::size_t wanted) {
  while (held_ < wanted) {
    const ssize_t got = ::read(fd_, buffer_.data() + held_, wanted - held_);
    if (got > 0) {
      held_ += static_cast<std::size_t>(got);
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return Outcome::wouldBlock;
    } else {
      const bool cleanEnd = got == 0 && !inBody_ && held_ == 0;
      return cleanEnd ? Outcome::end : Outcome::broken;
    }
  }
  return Outcome::body;
}

FrameReader::Outcome FrameReader::next(std::string& body) {
  if (!inBody_) {
    buffer_.resize(4);
    if (const Outcome outcome = fill(4); outcome != Outcome::body) {
      return outcome;
    }
    std::uint32_t length = 0;
    for (int i = 3; i >= 0; --i) {
      length = (length << 8) | static_cast<unsigned char>(buffer_[static_cast<std::size_t>(i)]);
    }
    // Unsigned wrap-around turns a zero length into the largest value, so one test covers both.
    if (length - 1U >= kMaxInboundFrameLength) {
      return Outcome::broken;
    }
    buffer_.assign(length, '\0');
    held_ = 0;
    inBody_ = true;
  }
  if (const Outcome outcome = fill(buffer_.size()); outcome != Outcome::body) {
    return outcome;
  }
  body = std::move(buffer_);
  buffer_.clear();
  held_ = 0;
  inBody_ = false;
  return Outcome::body;
}

}  // namespace quelvar
