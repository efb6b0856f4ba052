// The speech host's entry: a reader thread that only frames, and the loop on the main executor.
#include "QuelvarSpeech/SpeechHost.hpp"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include "QuelvarSpeech/FrameQueue.hpp"
#include "QuelvarSpeech/LiveSpeech.hpp"
#include "QuelvarSpeech/SpeechMessage.hpp"

namespace quelvar {

namespace {

// Held while a frame is written and taken by a reader thread that ends the process, so that a
// broken input stream does not cut an event in half on standard output.
std::timed_mutex& outputMutex() {
  static std::timed_mutex mutex;
  return mutex;
}

// Ends the process at once; no destructor runs while the other thread still works. A frame being
// written is let finish, unless the reader of standard output has stopped taking it.
[[noreturn]] void endProcessBroken() {
  static_cast<void>(outputMutex().try_lock_for(std::chrono::milliseconds(500)));
  ::_exit(1);
}

void readFrames(FrameQueue& frames) {
  for (;;) {
    FrameResult frame = readFrame(STDIN_FILENO);
    switch (frame.kind) {
      case FrameResult::Kind::end:
        frames.finish();
        return;
      case FrameResult::Kind::broken:
        endProcessBroken();
      case FrameResult::Kind::body:
        if (!frames.push(std::move(frame.body))) {
          endProcessBroken();
        }
        break;
    }
  }
}

asio::awaitable<void> runLoop(FrameQueue& frames, LiveSpeech& speech, const SpeechOutput& output) {
  while (std::optional<std::string> body = co_await frames.next()) {
    co_await handleMessage(*body, speech, output);
  }
  co_await speech.stop();
}

}  // namespace

int SpeechHost::main(asio::io_context& io, Platform platform) {
  ignoreSigpipe();
  FrameQueue frames(io.get_executor());
  // Blocking reads stay off the main executor so they never hold up events.
  std::thread reader([&frames] { readFrames(frames); });

  const SpeechOutput output{&SpeechHost::emit, &SpeechHost::diagnostic};
  {
    auto speech = std::make_shared<LiveSpeech>(io.get_executor(), platform, output);
    asio::co_spawn(io, runLoop(frames, *speech, output), [&io](std::exception_ptr failure) {
      if (failure) {
        endProcessBroken();  // nothing in the loop throws on purpose; never pretend success
      }
      io.stop();
    });
    io.run();
  }
  // The reader finished the queue before the loop could end, so it has returned or is returning.
  reader.join();
  return 0;
}

ReadResult SpeechHost::readExactly(std::int64_t count) {
  return quelvar::readExactly(STDIN_FILENO, count);
}

void SpeechHost::emit(const nlohmann::json& message) {
  std::lock_guard lock(outputMutex());
  if (!writeFrame(STDOUT_FILENO, message)) {
    ::_exit(1);
  }
}

void SpeechHost::diagnostic(std::string_view line) {
  while (!line.empty()) {
    const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return;
    }
    line.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace quelvar
