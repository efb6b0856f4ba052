// Native messaging framing: a 4-byte little-endian length followed by a JSON body, over raw fds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace quelvar {

struct ReadResult {
  enum class Kind { bytes, end, failure };
  Kind kind;
  std::string bytes;
};

// Reads exactly `count` bytes from fd with read(2), never asking for more than is still missing,
// so nothing of a following frame is consumed. Loops on EINTR and short reads.
// end: EOF before the first byte; failure: EOF part-way or a read error. count <= 0 -> bytes
// (empty).
ReadResult readExactly(int fd, std::int64_t count);

struct FrameResult {
  enum class Kind { body, end, broken };
  Kind kind;
  std::string body;
};

constexpr std::uint32_t kMaxInboundFrameLength = 65536;
// The most a host may send: the browser drops the connection on a larger message.
constexpr std::uint32_t kMaxOutboundFrameLength = 1024 * 1024;

// One frame with a length of 1..maxLength. end: clean EOF on a frame boundary; broken: anything
// else that is not a whole frame (bad length, EOF part-way, read error).
FrameResult readFrame(int fd, std::uint32_t maxLength = kMaxInboundFrameLength);

// Whether the compact text of the message fits in one outbound frame: the count is of bytes as
// written, after JSON escaping.
bool fitsOutboundFrame(const nlohmann::json& message);

// The 4 header bytes for a body of `length` bytes.
std::string frameHeader(std::uint32_t length);

// Serialises compactly and writes header then body with write(2), looping over short writes and
// EINTR. Returns false, writing nothing, for a body over kMaxOutboundFrameLength, and false on
// any write failure; a failed header leaves the body unwritten. Nothing is buffered in user space.
bool writeFrame(int fd, const nlohmann::json& message);

// A message sent again and again, framed once (header and body, of at most
// kMaxOutboundFrameLength), and written like writeFrame writes.
std::string prepareFrame(const nlohmann::json& message);
bool writePreparedFrame(int fd, std::string_view frame);

// Makes a vanished reader a failed write instead of a death by signal.
void ignoreSigpipe();

}  // namespace quelvar
