// Frame reading and writing over real pipes: what the hosts' end-to-end tests cannot see.
#include <thread>

#include <gtest/gtest.h>

#include "TestPipe.hpp"
#include "common/Framing.hpp"

namespace quelvar {
namespace {

using testing::TestPipe;

TEST(FrameReader, AcceptsTheLargestLengthAndReadsNoFurther) {
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
