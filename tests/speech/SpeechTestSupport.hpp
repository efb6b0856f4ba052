// A LiveSpeech on fakes, driven by message bodies as the host's loop drives it, with captured
// events and the executor run by hand.
#pragma once

#include <gmock/gmock.h>

#include <memory>
#include <string>
#include <vector>

#include "QuelvarSpeech/SpeechMessage.hpp"
#include "common/Text.hpp"
#include "fakes/FakeAudioConverter.hpp"
#include "fakes/FakeClock.hpp"
#include "fakes/FakeSpeechRecognition.hpp"
#include "fakes/FakeTranslation.hpp"
#include "platform/linux/LinuxPlatform.hpp"

namespace quelvar::testing {

using namespace ::testing;

struct PipelineTest : ::testing::Test {
  asio::io_context io;
  FakeClock clock{io.get_executor()};
  FakeSpeechRecognition speech{io.get_executor()};
  FakeTranslation translation{io.get_executor()};
  std::shared_ptr<FakeConverterScript> converterScript = std::make_shared<FakeConverterScript>();
  bool useRealConverter = false;

  std::vector<nlohmann::json> events;
  std::vector<std::string> diagnostics;
  SpeechOutput output{[this](const nlohmann::json& event) { events.push_back(event); },
                      [this](std::string_view line) { diagnostics.emplace_back(line); }};
  std::shared_ptr<LiveSpeech> live;

  PipelineTest() { translation.statuses[{"en", "de"}] = LanguageStatus::installed; }

  // Built on first use, so that a test can choose the converter and the output before.
  LiveSpeech& pipeline() {
    if (!live) {
      AudioConverterFactory factory = useRealConverter ? AudioConverterFactory(&makeAudioConverter)
                                                       : fakeConverterFactory(converterScript);
      live = std::make_shared<LiveSpeech>(io.get_executor(),
                                          Platform{speech, translation, factory, clock}, output);
    }
    return *live;
  }

  void TearDown() override {
    if (live) {
      runToEnd(live->stop());
    }
  }

  void settle() {
    io.restart();
    io.poll();
  }

  // Spawns the operation and runs the executor; it must complete without outside help.
  void runToEnd(asio::awaitable<void> operation) {
    auto done = std::make_shared<bool>(false);
    asio::co_spawn(io, std::move(operation), [done](std::exception_ptr failure) {
      EXPECT_FALSE(failure) << "the operation let an exception escape";
      *done = true;
    });
    settle();
    ASSERT_TRUE(*done);
  }

  // One message as the host's loop hands it over; "start" and "stop" complete before it returns.
  void send(nlohmann::json message) {
    message["version"] = 1;
    runToEnd(handleMessage(message.dump(), pipeline(), output));
  }
  void start(const std::string& source = "en", const std::string& target = "de") {
    send({{"type", "start"}, {"source", source}, {"target", target}});
  }
  void stop() { send({{"type", "stop"}}); }
  // Silence of the given byte count; by default a tenth of a second (1600 frames at 16000 Hz).
  void feed(std::int64_t sequence, std::size_t bytes = 3200) {
    send({{"type", "pcm"},
          {"data", encodeBase64(std::string(bytes, '\0'))},
          {"sequence", sequence}});
  }

  FakeTranslationSession& session() { return *translation.sessions.back(); }
  FakeTranscriber& transcriber() { return *speech.transcriber; }

  // Events emitted since the last call, then forgotten.
  std::vector<nlohmann::json> takeEvents() { return std::exchange(events, {}); }

  // Where each buffer the analyzer has been given so far starts, oldest first (taken out of its
  // queue).
  std::vector<std::int64_t> bufferStarts() {
    std::vector<std::int64_t> starts;
    while (auto item = speech.analyzer->input->tryNext()) {
      starts.push_back(item->startFrame);
    }
    return starts;
  }
};

inline nlohmann::json ready() {
  return {{"type", "ready"}};
}
inline nlohmann::json caption(const std::string& source, const std::string& translation, bool final,
                              const std::string& segment) {
  return {{"type", "caption"},
          {"source", source},
          {"translation", translation},
          {"final", final},
          {"segment", segment}};
}

}  // namespace quelvar::testing
