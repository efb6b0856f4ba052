// The incremental frame splitter: header, length check, body.
#include "common/FrameReader.hpp"

#include <cstdint>
#include <cstring>

#include "common/Framing.hpp"

namespace quelvar {

namespace {

constexpr std::size_t kHeader = 4;

}  // namespace

FrameReader::FrameReader() : buffer_(kHeader + kMaxInboundFrameLength) {}

FrameReader::Outcome FrameReader::next(std::string& body) {
  const std::size_t held = end_ - begin_;
  if (held < kHeader) {
    return Outcome::needMore;
  }
  std::uint32_t length = 0;
  for (std::size_t i = kHeader; i-- > 0;) {
    length = (length << 8) | static_cast<unsigned char>(buffer_[begin_ + i]);
  }
  // Unsigned wrap-around turns a zero length into the largest value, so one test covers both.
  if (length - 1U >= kMaxInboundFrameLength) {
    return Outcome::broken;
  }
  if (held - kHeader < length) {
    return Outcome::needMore;
  }
  body.assign(buffer_.data() + begin_ + kHeader, length);
  begin_ += kHeader + length;
  return Outcome::body;
}

std::span<char> FrameReader::space() {
  // What is held is less than one frame: move it to the front, where a whole frame fits.
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  return {buffer_.data() + end_, buffer_.size() - end_};
}

}  // namespace quelvar
