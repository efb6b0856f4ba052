// A LiveSpeech on fakes with captured events, and helpers to drive the executor by hand.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "QuelvarSpeech/LiveSpeech.hpp"
#include "fakes/FakeAudioConverter.hpp"
#include "fakes/FakeClock.hpp"
#include "fakes/FakeSpeechRecognition.hpp"
#include "fakes/FakeTranslation.hpp"
#include "platform/linux/SoxrConverter.hpp"

namespace quelvar::testing {

// Silence of the given byte count, as "pcm" carries it once decoded.
inline std::string wireAudio(std::size_t bytes) {
  return std::string(bytes, '\0');
}

struct PipelineTest : ::testing::Test {
  asio::io_context io;
  FakeClock clock{io.get_executor()};
  FakeSpeechRecognition speech{io.get_executor()};
  FakeTranslation translation{io.get_executor()};
  std::shared_ptr<FakeConverterScript> converterScript = std::make_shared<FakeConverterScript>();
  bool useRealConverter = true;

  std::vector<nlohmann::json> events;
  std::vector<std::string> diagnostics;
  SpeechOutput output{[this](const nlohmann::json& event) { events.push_back(event); },
                      [this](std::string_view line) { diagnostics.emplace_back(line); }};
  std::shared_ptr<LiveSpeech> live;

  PipelineTest() { translation.setStatus("en", "de", LanguageStatus::installed); }

  // Built on first use, so that a test can choose the converter before.
  LiveSpeech& pipeline() {
    if (!live) {
      AudioConverterFactory factory = useRealConverter ? AudioConverterFactory(&makeSoxrConverter)
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

  // Runs every handler that is ready now.
  void settle() {
    io.restart();
    io.poll();
  }

  // Spawns the operation and runs the executor; true when it has completed.
  bool run(asio::awaitable<void> operation) {
    auto done = std::make_shared<bool>(false);
    asio::co_spawn(io, std::move(operation), [done](std::exception_ptr failure) {
      if (failure) {
        std::rethrow_exception(failure);
      }
      *done = true;
    });
    settle();
    return *done;
  }
  void runToEnd(asio::awaitable<void> operation) { ASSERT_TRUE(run(std::move(operation))); }

  void start(const std::string& source = "en", const std::string& target = "de") {
    runToEnd(pipeline().start(source, target));
  }
  void stop() { runToEnd(pipeline().stop()); }

  FakeTranslationSession& session() { return translation.lastSession(); }
  FakeTranscriber& transcriber() { return *speech.transcriber; }

  // Events emitted since the last call, then forgotten.
  std::vector<nlohmann::json> takeEvents() { return std::exchange(events, {}); }
};

inline nlohmann::json error(std::string_view code) {
  return errorEvent(code);
}
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
