// Frame reading and writing over real pipes: what the hosts' end-to-end tests cannot see.
#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TestPipe.hpp"
#include "common/FrameReader.hpp"
#include "common/Framing.hpp"

namespace quelvar {
namespace {

using testing::TestPipe;

// Feeds `stream` in reads of at most `step` bytes, as the reactor would, and collects the bodies.
std::vector<std::string> splitFrames(FrameReader& reader, const std::string& stream,
                                     std::size_t step) {
  std::vector<std::string> bodies;
  std::string body;
  for (std::size_t at = 0; at < stream.size();) {
    const std::span<char> space = reader.space();
    const std::size_t count = std::min({step, space.size(), stream.size() - at});
    std::memcpy(space.data(), stream.data() + at, count);
    reader.commit(count);
    at += count;
    while (reader.next(body) == FrameReader::Outcome::body) {
      bodies.push_back(body);
    }
  }
  return bodies;
}

TEST(FrameReader, framesInReadsOfAnySizeComeOutWholeAndInOrder) {
  const std::string largest(kMaxInboundFrameLength, 'L');
  const std::string stream = frameHeader(1) + "a" + frameHeader(300) + std::string(300, 'b') +
                             frameHeader(kMaxInboundFrameLength) + largest + frameHeader(2) + "{}";
  for (const std::size_t step : {1UL, 3UL, 4UL, 5UL, 299UL, 4096UL, 65539UL, 65540UL, 200000UL}) {
    FrameReader reader;
    EXPECT_THAT(splitFrames(reader, stream, step),
                ::testing::ElementsAre("a", std::string(300, 'b'), largest, "{}"))
        << step;
    EXPECT_FALSE(reader.midFrame());
  }
}

TEST(ReadFrame, acceptsTheLargestLengthAndReadsNoFurther) {
  TestPipe pipe;
  const std::string body(kMaxInboundFrameLength, 'x');
  pipe.write(std::string("\x00\x00\x01\x00", 4) + body + "next");
  const FrameResult result = readFrame(pipe.readEnd);
  EXPECT_EQ(result.kind, FrameResult::Kind::body);
  EXPECT_EQ(result.body, body);
  EXPECT_EQ(pipe.drain(), "next");
}

TEST(FrameWriter, WritesFramesLargerThanThePipeIntact) {
  TestPipe pipe;
  ::fcntl(pipe.writeEnd, F_SETPIPE_SZ, 4096);
  const nlohmann::json message = {{"text", std::string(300000, 'z')}};
  std::string received;
  std::thread reader([&] { received = TestPipe::readAll(pipe.readEnd); });
  const bool written = writeFrame(pipe.writeEnd, message);
  TestPipe::closeEnd(pipe.writeEnd);
  reader.join();
  EXPECT_TRUE(written);
  EXPECT_EQ(received,
            frameHeader(static_cast<std::uint32_t>(message.dump().size())) + message.dump());
}

TEST(FrameWriter, RefusesBodiesOverOneMebibyteCountedAfterEscaping) {
  const std::string filling(kMaxOutboundFrameLength - 8, 'a');  // {"t":"..."} adds 8 bytes
  // Half as many quotes fit before escaping but not after (each is written as two bytes).
  const std::string quotes(kMaxOutboundFrameLength / 2, '"');
  EXPECT_TRUE(fitsOutboundFrame({{"t", filling}}));
  EXPECT_FALSE(fitsOutboundFrame({{"t", filling + "a"}}));
  EXPECT_FALSE(fitsOutboundFrame({{"t", quotes}}));
  TestPipe pipe;
  EXPECT_FALSE(writeFrame(pipe.writeEnd, {{"t", quotes}}));
  EXPECT_EQ(pipe.drain(), "");
}

}  // namespace
}  // namespace quelvar
