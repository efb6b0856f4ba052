// Fuzz target: arbitrary bytes as the speech host's input, framed, validated and handled by a
// pipeline on fakes, checking that every event is well formed and every message completes.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "QuelvarSpeech/LiveSpeech.hpp"
#include "QuelvarSpeech/SpeechMessage.hpp"
#include "common/ErrorCodes.hpp"
#include "common/Framing.hpp"
#include "common/Json.hpp"
#include "common/Posix.hpp"
#include "fakes/FakeClock.hpp"
#include "fakes/FakeSpeechRecognition.hpp"
#include "fakes/FakeTranslation.hpp"
#include "platform/linux/LinuxPlatform.hpp"
#include "speech/FlatReading.hpp"

namespace {

using namespace quelvar;

void require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// An in-memory file holds inputs larger than a pipe without a writer thread; it gets exactly the
// given bytes, positioned at the start.
int inputFile(const std::uint8_t* data, std::size_t size) {
  static const int fd = ::memfd_create("fuzz-input", 0);
  require(fd >= 0 && ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0);
  require(!writeAll(fd, {reinterpret_cast<const char*>(data), size}));
  require(::lseek(fd, 0, SEEK_SET) == 0);
  return fd;
}

// Every error event names a code the extension knows, and recognised text that is not UTF-8 is
// replaced on the way out, never a failure.
void checkEvent(const nlohmann::json& event) {
  require(event.value("type", "") != "error" ||
          std::ranges::count(error_code::speechHostCodes, event.value("error", "")) == 1);
  require(parseObject(serialize(event)).has_value());
}

// The analyzer formats the pipeline may start with, chosen by the input's first byte; none makes
// the start-up fail.
const std::optional<AudioFormat> kAnalyzerFormats[] = {
    AudioFormat{16000.0, SampleType::int16, 1}, AudioFormat{48000.0, SampleType::float32, 1},
    AudioFormat{8000.0, SampleType::float32, 1}, std::nullopt};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  asio::io_context io;
  testing::FakeClock clock(io.get_executor());
  testing::FakeSpeechRecognition speech(io.get_executor());
  testing::FakeTranslation translation(io.get_executor());
  speech.bestFormat = kAnalyzerFormats[data[0] % 4];
  translation.statuses[{"en", "de"}] = LanguageStatus::installed;
  translation.immediateAnswer = [](const std::string& text) { return Expected<std::string>(text); };

  SpeechOutput output{[](const nlohmann::json& event) { checkEvent(event); },
                      [](std::string_view line) { require(line.ends_with('\n')); }};
  auto pipeline = std::make_shared<LiveSpeech>(
      io.get_executor(), Platform{speech, translation, &makeAudioConverter, clock}, output);

  // Every message, "start" and "stop" included, must complete without outside help.
  auto handle = [&](asio::awaitable<void> operation) {
    bool done = false;
    asio::co_spawn(io, std::move(operation), [&](std::exception_ptr failure) {
      require(!failure);
      done = true;
    });
    io.restart();
    io.poll();
    require(done);
  };
  handle(pipeline->start("en", "de"));

  const int fd = inputFile(data + 1, size - 1);
  for (;;) {
    FrameResult frame = readFrame(fd);
    if (frame.kind != FrameResult::Kind::body) {
      break;  // the host handles nothing after a broken or ended stream
    }
    // The quick reader of flat messages must read whatever it accepts as the full parser does.
    require(testing::flatReadingAgrees(frame.body).value_or(true));
    handle(handleMessage(frame.body, *pipeline, output));
    if (speech.transcriber && frame.body.size() % 3 == 0) {
      // Recognised text, so that captions flow through the worker too.
      speech.transcriber->push(SpeechResult{frame.body.substr(0, 64), false});
    }
  }
  handle(pipeline->stop());
  require(!speech.analyzer || speech.analyzer->cancelled);  // nothing left running
  return 0;
}
