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

  // The reply to a request that needs nothing from the test while it runs; null while it waits.
  json respond(json request) {
    auto reply = std::make_shared<json>();  // shared: a request still waiting may finish later
    asio::co_spawn(context, Host::respond(std::move(request), {speech, translation, warm}),
                   [reply](std::exception_ptr error, json result) {
                     EXPECT_FALSE(error) << "respond let an exception escape";
                     *reply = std::move(result);
                   });
    context.restart();
    context.poll();
    return *reply;
  }

  asio::io_context context;
  FakeSpeechRecognition speech{context.get_executor()};
  FakeTranslation translation{context.get_executor()};
  host::WarmSessions* warm = nullptr;  // sessions are not kept unless a test sets this
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
