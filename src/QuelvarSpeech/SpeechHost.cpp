// The speech host's entry: the frame reader and the message loop, both on the main executor.
#include "QuelvarSpeech/SpeechHost.hpp"

#include <unistd.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "QuelvarSpeech/FrameQueue.hpp"
#include "QuelvarSpeech/LiveSpeech.hpp"
#include "QuelvarSpeech/SpeechMessage.hpp"
#include "common/FrameReader.hpp"
#include "common/Json.hpp"
#include "common/Posix.hpp"

namespace quelvar {

namespace {

// Every frame is written whole by the main thread before anything else runs there, so ending at
// once never cuts an event in half on standard output.
[[noreturn]] void endProcessBroken() {
  ::_exit(1);
}

// Reads frames on the main executor without ever blocking it: each read takes everything
// standard input holds (up to one largest frame) and queues every whole frame in it at once.
// Reading in the loop's own thread spares every message a hand-over between threads. The
// reactor's read, tried before it waits, finds nothing once a message is answered; waiting for
// readiness instead would make Asio re-arm the descriptor (epoll_ctl), which measures slower than
// that empty read. The frames of one read go to the queue together, so its bound counts all of
// them before the loop takes any.
asio::awaitable<void> readFrames(FrameQueue& frames) {
  asio::posix::stream_descriptor input(co_await asio::this_coro::executor, STDIN_FILENO);
  FrameReader reader;
  std::vector<std::string> bodies;
  for (;;) {
    const std::span<char> space = reader.space();
    auto [error, count] =
        co_await input.async_read_some(asio::buffer(space.data(), space.size()), useTuple);
    if (error == asio::error::eof && !reader.midFrame()) {
      input.release();  // standard input stays open for the life of the process
      frames.finish();
      co_return;
    }
    if (error) {
      endProcessBroken();
    }
    reader.commit(count);
    bodies.clear();
    std::string body;
    FrameReader::Outcome outcome;
    while ((outcome = reader.next(body)) == FrameReader::Outcome::body) {
      bodies.push_back(std::move(body));
    }
    if (outcome == FrameReader::Outcome::broken || !frames.push(bodies)) {
      endProcessBroken();
    }
  }
}

asio::awaitable<void> runLoop(FrameQueue& frames, LiveSpeech& speech, const SpeechOutput& output) {
  while (std::optional<std::string> body = co_await frames.next()) {
    co_await handleMessage(*body, speech, output);
  }
  co_await speech.stop();
}

// Nothing in either coroutine throws on purpose; never pretend success.
void endIfFailed(std::exception_ptr failure) {
  if (failure) {
    endProcessBroken();
  }
}

}  // namespace

int SpeechHost::main(asio::io_context& io, Platform platform) {
  ignoreSigpipe();
  FrameQueue frames(io.get_executor());
  const SpeechOutput output{&SpeechHost::emit, &SpeechHost::diagnostic};
  {
    auto speech = std::make_shared<LiveSpeech>(io.get_executor(), platform, output);
    // The loop starts first and waits for its first message, so that the reader hands it over
    // instead of counting it among the waiting ones.
    asio::co_spawn(io, runLoop(frames, *speech, output), [&io](std::exception_ptr failure) {
      endIfFailed(failure);
      io.stop();
    });
    asio::co_spawn(io, readFrames(frames), endIfFailed);
    try {
      io.run();
    } catch (...) {
      endProcessBroken();  // a background task's fault, ended as the loop's own would be
    }
  }
  return 0;
}

ReadResult SpeechHost::readExactly(std::int64_t count) {
  return quelvar::readExactly(STDIN_FILENO, count);
}

void SpeechHost::emit(const nlohmann::json& message) {
  static const std::string pong = prepareFrame(pongEvent());  // pings measure the transport
  if (!(&message == &pongEvent() ? writePreparedFrame(STDOUT_FILENO, pong)
                                 : writeFrame(STDOUT_FILENO, message))) {
    ::_exit(1);
  }
}

void SpeechHost::diagnostic(std::string_view line) {
  // Nothing to do when standard error is gone: the diagnostic is lost either way.
  writeAll(STDERR_FILENO, line);
}

}  // namespace quelvar
