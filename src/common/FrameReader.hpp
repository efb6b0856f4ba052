// Frames read from a non-blocking descriptor piece by piece, as bytes become available.
#pragma once

#include <cstdint>
#include <string>

namespace quelvar {

// Holds the part of one inbound frame read so far, so that a caller can wait for readiness
// between reads instead of blocking. Like readFrame it never asks for more than the current
// frame still misses, so nothing of a following frame is consumed.
class FrameReader {
 public:
  enum class Outcome {
    body,        // a whole body is in `body`
    wouldBlock,  // nothing more can be read now; wait until the descriptor is readable
    end,         // end of input on a frame boundary
    broken,      // bad length, end of input part-way or a read error
  };

  explicit FrameReader(int fd) : fd_(fd) {}

  // Reads until a body is complete or the descriptor has nothing more for now.
  Outcome next(std::string& body);

 private:
  // Reads into buffer_ until it holds `wanted` bytes.
  Outcome fill(std::size_t wanted);

  int fd_;
  std::string buffer_;
  std::size_t held_ = 0;
  bool inBody_ = false;
};

}  // namespace quelvar
