// Fuzz target: arbitrary bytes as the language host's standard input, through Host::main and
// Host::respond with fake services, checking the exit status, the replies and the reservations.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "FuzzInput.hpp"
#include "QuelvarHost/Host.hpp"
#include "common/ErrorCodes.hpp"
#include "common/Framing.hpp"
#include "common/Json.hpp"
#include "fakes/FakeSpeechRecognition.hpp"
#include "fakes/FakeTranslation.hpp"

namespace {

using namespace quelvar::fuzz;

using nlohmann::json;
using quelvar::LanguageStatus;
using quelvar::PlatformError;

// The first input byte scripts which platform answers fail; the rest is the byte stream.
void script(std::uint8_t switches, quelvar::testing::FakeSpeechRecognition& speech,
            quelvar::testing::FakeTranslation& translation) {
  const PlatformError failure{"fuzz", 1, "scripted failure"};
  translation.languages = {"en", "de", "en-US", "zh", "zh-Hant", "fr"};
  translation.setStatus("en", "de", LanguageStatus::installed);
  translation.setStatus("de", "en", LanguageStatus::installed);
  translation.setStatus("en", "zh-Hant", LanguageStatus::installed);
  translation.setStatus("en-US", "zh", LanguageStatus::installed);
  translation.setStatus("en", "fr", LanguageStatus::supported);
  translation.immediateAnswer = [switches](const std::string& text) {
    return (switches & 1U) != 0 ? quelvar::Expected<std::string>(PlatformError{"fuzz", 2, ""})
                                : quelvar::Expected<std::string>("\xE6\xBC\xA2" + text);
  };
  if ((switches & 2U) != 0) {
    translation.prepareAnswer = failure;
  }
  speech.supported = {{"en", "en-US"}, {"de", "de-DE"}, {"zh-CN", "zh-CN"}, {"zh-TW", "zh-TW"}};
  speech.installed = {"en-US"};
  speech.reserveAnswer = (switches & 4U) != 0 ? quelvar::Expected<bool>(failure)
                                              : quelvar::Expected<bool>((switches & 8U) != 0);
  speech.assetRequestAnswer = (switches & 16U) != 0
                                  ? quelvar::Expected<bool>(failure)
                                  : quelvar::Expected<bool>((switches & 32U) != 0);
  if ((switches & 64U) != 0) {
    speech.downloadAnswer = failure;
  }
}

// Every reply is a whole frame holding a well-formed reply object; returns how many there are.
std::size_t checkReplies(const std::string& output) {
  static const std::set<std::string_view> codes(quelvar::error_code::languageHostCodes.begin(),
                                                quelvar::error_code::languageHostCodes.end());
  std::size_t at = 0;
  std::size_t replies = 0;
  while (at < output.size()) {
    require(output.size() - at >= 4);
    const std::uint32_t length = frameLength(output.data() + at);
    require(output.size() - at - 4 >= length);
    const auto reply = quelvar::parseObject(std::string_view(output).substr(at + 4, length));
    require(reply.has_value());
    require(reply->at("version") == 1 && reply->at("id").is_string());
    const json& ok = reply->at("ok");
    require(ok.is_boolean());
    if (ok.get<bool>()) {
      require(!reply->contains("error"));
    } else {
      require(reply->size() == 4 && codes.contains(reply->at("error").get<std::string>()));
    }
    at += 4 + length;
    ++replies;
  }
  return replies;
}

struct Expectation {
  std::size_t replies = 0;
  int status = 0;
};

// What the loop must do with the stream: answer each leading frame that holds a JSON object and
// end cleanly only when the stream ends on a frame boundary.
Expectation expect(const std::uint8_t* data, std::size_t size) {
  Expectation expected;
  std::size_t at = 0;
  while (at < size) {
    if (size - at < 4) {
      return {expected.replies, 1};
    }
    const std::uint32_t length = frameLength(data + at);
    if (length == 0 || length > quelvar::kMaxInboundFrameLength || size - at - 4 < length) {
      return {expected.replies, 1};
    }
    const auto body = std::string_view(reinterpret_cast<const char*>(data + at + 4), length);
    if (!quelvar::parseObject(body)) {
      return {expected.replies, 1};
    }
    ++expected.replies;
    at += 4 + length;
  }
  return expected;
}

std::size_t countPrefixed(const std::vector<std::string>& calls, const std::string& prefix) {
  return std::count_if(calls.begin(), calls.end(),
                       [&](const auto& c) { return c.starts_with(prefix); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int input = memoryFile("host-input");
  static const int output = memoryFile("host-output");
  static const int error = memoryFile("host-error");
  if (size == 0) {
    return 0;
  }
  replaceContents(input, data + 1, size - 1);
  replaceContents(output, nullptr, 0);
  replaceContents(error, nullptr, 0);

  asio::io_context context;
  quelvar::testing::FakeSpeechRecognition speech(context.get_executor());
  quelvar::testing::FakeTranslation translation(context.get_executor());
  script(data[0], speech, translation);

  const int status = quelvar::Host::main(context, {speech, translation}, {input, output, error});
  const Expectation expected = expect(data + 1, size - 1);
  require(status == expected.status);
  require(contents(error) == (status == 0 ? "" : "Invalid native messaging transport.\n"));
  require(checkReplies(contents(output)) == expected.replies);

  // A granted reservation is given back exactly once; one that was refused never is.
  const std::size_t reserves = countPrefixed(speech.calls, "reserve ");
  const std::size_t releases = countPrefixed(speech.calls, "release ");
  const bool granted = speech.reserveAnswer.ok() && speech.reserveAnswer.value();
  require(releases == (granted ? reserves : 0));
  return 0;
}
