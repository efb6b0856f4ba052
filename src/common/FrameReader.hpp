// Frames cut out of a byte stream that arrives in pieces of any size.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace quelvar {

// The caller reads whatever the input holds into space() and commits it; next() then hands out
// every whole body in order. Reading everything available at once, instead of exactly one header
// and one body, saves a system call per message and lets a short read tell that the input is
// drained. The buffer holds one largest frame, so a frame never waits for room, and a length
// over the limit is refused as soon as its header is in.
class FrameReader {
 public:
  enum class Outcome {
    body,      // a whole body is in `body`
    needMore,  // read more into space() first
    broken,    // a length of zero or over the limit
  };

  FrameReader();

  Outcome next(std::string& body);

  // Room for the next read; never empty while next() asks for more.
  std::span<char> space();
  void commit(std::size_t count) { end_ += count; }

  // Bytes of an unfinished frame are held: the input may not end here.
  bool midFrame() const { return begin_ != end_; }

 private:
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // the first byte not yet handed out
  std::size_t end_ = 0;    // one past the last byte read
};

}  // namespace quelvar
