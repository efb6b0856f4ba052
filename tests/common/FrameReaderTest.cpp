// Splitting frames out of reads of any size, as the speech host reads its standard input.
#include <algorithm>
#include <cstring>
#include <vector>

#include <gmock/gmock.h>

#include "common/FrameReader.hpp"
#include "common/Framing.hpp"

namespace quelvar {
namespace {

TEST(FrameReader, framesInReadsOfAnySizeComeOutWholeAndInOrder) {
  const std::string largest(kMaxInboundFrameLength, 'L');
  const std::string stream = frameHeader(1) + "a" + frameHeader(300) + std::string(300, 'b') +
                             frameHeader(kMaxInboundFrameLength) + largest + frameHeader(2) + "{}";
  for (const std::size_t step : {1UL, 3UL, 5UL, 299UL, 65539UL, 65540UL, 200000UL}) {
    FrameReader reader;
    std::vector<std::string> bodies;
    std::string body;
    for (std::size_t at = 0; at < stream.size();) {  // reads of at most `step` bytes
      const std::span<char> space = reader.space();
      const std::size_t count = std::min({step, space.size(), stream.size() - at});
      std::memcpy(space.data(), stream.data() + at, count);
      reader.commit(count);
      at += count;
      while (reader.next(body) == FrameReader::Outcome::body) {
        bodies.push_back(body);
      }
    }
    EXPECT_THAT(bodies, ::testing::ElementsAre("a", std::string(300, 'b'), largest, "{}")) << step;
    EXPECT_FALSE(reader.midFrame());
  }
}

}  // namespace
}  // namespace quelvar
