// A fixture that runs Host::respond against the fakes, one request at a time, without waiting.
#pragma once

#include <gmock/gmock.h>
#include <unicode/locid.h>

#include "QuelvarHost/Host.hpp"
#include "QuelvarHost/WarmSessions.hpp"
#include "fakes/FakeSpeechRecognition.hpp"
#include "fakes/FakeTranslation.hpp"

namespace quelvar::testing {

using nlohmann::json;

struct HostTest : ::testing::Test {
  static json request(const std::string& type, json fields = json::object()) {
    fields["version"] = 1;
    fields["id"] = "r";
    fields["type"] = type;
    return fields;
  }

  static json failure(const std::string& code) {
    return {{"version", 1}, {"id", "r"}, {"ok", false}, {"error", code}};
  }

  // Display names are compared in English whatever the machine's locale.
  void SetUp() override {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale::getUS(), status);
  }

  // Starts the request and runs everything that is ready; `reply` is set, and returned, once it has
  // finished.
  json respond(json request) {
    reply.reset();
    asio::co_spawn(context, Host::respond(std::move(request), {speech, translation, warm}),
                   [this](std::exception_ptr error, json result) {
                     EXPECT_FALSE(error) << "respond let an exception escape";
                     reply = std::move(result);
                   });
    settle();
    return reply.value_or(json());
  }

  // Runs the handlers that are ready, such as a request resuming after the test answered.
  void settle() {
    context.restart();
    context.poll();
  }

  asio::io_context context;
  FakeSpeechRecognition speech{context.get_executor()};
  FakeTranslation translation{context.get_executor()};
  host::WarmSessions* warm = nullptr;  // sessions are not kept unless a test sets this
  std::optional<json> reply;
};

// `count` copies of `unit` joined together.
inline std::string repeated(const std::string& unit, std::size_t count) {
  std::string text;
  while (count-- > 0) {
    text += unit;
  }
  return text;
}

}  // namespace quelvar::testing
