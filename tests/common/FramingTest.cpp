// Frame reading and writing over real pipes: lengths, early ends, split and joined writes.
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "common/Framing.hpp"

namespace quelvar {
namespace {

// A pipe whose ends close themselves; the write end can be closed early to signal EOF.
class Pipe {
 public:
  Pipe() {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    readEnd_ = fds[0];
    writeEnd_ = fds[1];
    // Room for the largest inbound frame and more, so tests can write before they read.
    ::fcntl(writeEnd_, F_SETPIPE_SZ, 1 << 20);
  }
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  int readEnd() const { return readEnd_; }
  int writeEnd() const { return writeEnd_; }
  void write(const std::string& bytes) {
    ASSERT_EQ(::write(writeEnd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void closeWrite() { closeFd(writeEnd_); }
  void closeRead() { closeFd(readEnd_); }

 private:
  static void closeFd(int& fd) {
    if (fd >= 0) {
      ::close(fd);
      fd = -1;
    }
  }
  int readEnd_ = -1;
  int writeEnd_ = -1;
};

std::string frame(const std::string& body) {
  return frameHeader(static_cast<std::uint32_t>(body.size())) + body;
}

std::string readRest(int fd) {
  std::string rest;
  char buffer[4096];
  for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
    rest.append(buffer, static_cast<std::size_t>(got));
  }
  return rest;
}

struct BrokenStreamCase {
  const char* name;
  std::string bytes;
};

class BrokenStream : public testing::TestWithParam<BrokenStreamCase> {};

TEST_P(BrokenStream, IsReportedAsBroken) {
  Pipe pipe;
  pipe.write(GetParam().bytes);
  pipe.closeWrite();
  EXPECT_EQ(readFrame(pipe.readEnd()).kind, FrameResult::Kind::broken);
}

INSTANTIATE_TEST_SUITE_P(
    FrameReader, BrokenStream,
    testing::Values(BrokenStreamCase{"ZeroLength", std::string(4, '\0')},
                    BrokenStreamCase{"OneAboveLimit", std::string("\x01\x00\x01\x00", 4) + "{}"},
                    BrokenStreamCase{"LargestLength", std::string(4, '\xFF')},
                    BrokenStreamCase{"EofInHeader", std::string("\x02\x00", 2)},
                    BrokenStreamCase{"EofAfterHeader", frameHeader(2)},
                    BrokenStreamCase{"EofInBody", frameHeader(10) + "{\"a\":"}),
    [](const auto& info) { return info.param.name; });

TEST(FrameReader, AcceptsTheLargestLengthAndReadsNoFurther) {
  Pipe pipe;
  const std::string body(kMaxInboundFrameLength, 'x');
  pipe.write(std::string("\x00\x00\x01\x00", 4) + body + "next");
  pipe.closeWrite();
  const FrameResult result = readFrame(pipe.readEnd());
  EXPECT_EQ(result.kind, FrameResult::Kind::body);
  EXPECT_EQ(result.body, body);
  EXPECT_EQ(readRest(pipe.readEnd()), "next");
}

TEST(FrameReader, RefusesAnOversizedLengthBeforeReadingTheBody) {
  Pipe pipe;
  pipe.write(std::string("\x01\x00\x01\x00", 4) + "body");
  pipe.closeWrite();
  EXPECT_EQ(readFrame(pipe.readEnd()).kind, FrameResult::Kind::broken);
  EXPECT_EQ(readRest(pipe.readEnd()), "body");
}

TEST(FrameReader, ReportsEndOnlyAtAFrameBoundary) {
  Pipe pipe;
  pipe.write(frame("{}"));
  pipe.closeWrite();
  EXPECT_EQ(readFrame(pipe.readEnd()).body, "{}");
  EXPECT_EQ(readFrame(pipe.readEnd()).kind, FrameResult::Kind::end);
}

TEST(FrameReader, SplitsSeveralFramesFromOneWrite) {
  Pipe pipe;
  pipe.write(frame("{\"n\":1}") + frame("[]") + frame("{\"n\":3}"));
  pipe.closeWrite();
  EXPECT_EQ(readFrame(pipe.readEnd()).body, "{\"n\":1}");
  EXPECT_EQ(readFrame(pipe.readEnd()).body, "[]");
  EXPECT_EQ(readFrame(pipe.readEnd()).body, "{\"n\":3}");
  EXPECT_EQ(readFrame(pipe.readEnd()).kind, FrameResult::Kind::end);
}

TEST(FrameReader, ReassemblesAFrameWrittenInSmallPieces) {
  Pipe pipe;
  const std::string body = "{\"data\":\"" + std::string(5000, 'A') + "\"}";
  const std::string bytes = frame(body);
  // The writer runs alongside the reader so that reads see the frame arrive piece by piece.
  std::thread writer([&] {
    for (std::size_t at = 0; at < bytes.size(); at += 7) {
      pipe.write(bytes.substr(at, 7));
    }
    pipe.closeWrite();
  });
  const FrameResult first = readFrame(pipe.readEnd());
  const FrameResult second = readFrame(pipe.readEnd());
  writer.join();
  EXPECT_EQ(first.body, body);
  EXPECT_EQ(second.kind, FrameResult::Kind::end);
}

TEST(ReadExactly, DistinguishesEndFromFailure) {
  Pipe empty;
  empty.closeWrite();
  EXPECT_EQ(readExactly(empty.readEnd(), 4).kind, ReadResult::Kind::end);

  Pipe partial;
  partial.write("ab");
  partial.closeWrite();
  EXPECT_EQ(readExactly(partial.readEnd(), 4).kind, ReadResult::Kind::failure);

  EXPECT_EQ(readExactly(-1, 4).kind, ReadResult::Kind::failure);
}

TEST(ReadExactly, ReturnsNothingForNonPositiveCountsWithoutReading) {
  Pipe pipe;
  pipe.write("abc");
  for (const std::int64_t count : {std::int64_t{0}, std::int64_t{-5}}) {
    const ReadResult result = readExactly(pipe.readEnd(), count);
    EXPECT_EQ(result.kind, ReadResult::Kind::bytes);
    EXPECT_EQ(result.bytes, "");
  }
  EXPECT_EQ(readExactly(pipe.readEnd(), 3).bytes, "abc");
}

TEST(FrameWriter, WritesTheExactBytesOfPong) {
  Pipe pipe;
  ASSERT_TRUE(writeFrame(pipe.writeEnd(), {{"type", "pong"}}));
  pipe.closeWrite();
  EXPECT_EQ(readRest(pipe.readEnd()), std::string("\x0F\x00\x00\x00", 4) + R"({"type":"pong"})");
}

TEST(FrameWriter, WritesFramesLargerThanThePipeIntact) {
  Pipe pipe;
  ::fcntl(pipe.writeEnd(), F_SETPIPE_SZ, 4096);
  const nlohmann::json message = {{"text", std::string(300000, 'z')}};
  std::string received;
  std::thread reader([&] { received = readRest(pipe.readEnd()); });
  const bool written = writeFrame(pipe.writeEnd(), message);
  pipe.closeWrite();
  reader.join();
  EXPECT_TRUE(written);
  EXPECT_EQ(received, frame(message.dump()));
}

TEST(FrameWriter, ReportsAVanishedReaderAsFailure) {
  ignoreSigpipe();
  Pipe pipe;
  pipe.closeRead();
  EXPECT_FALSE(writeFrame(pipe.writeEnd(), {{"type", "pong"}}));
  EXPECT_FALSE(writeFrame(-1, {{"type", "pong"}}));
}

}  // namespace
}  // namespace quelvar
