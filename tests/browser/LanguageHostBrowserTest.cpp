// The language host as the extension reaches it: one request per sendNativeMessage, in Chromium.
#include <algorithm>
#include <string>

#include "BrowserFixture.hpp"

namespace quelvar::browser {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

class LanguageHostTest : public BrowserTest {
 protected:
  // The host's reply to one request; a fatal failure when Chromium could not deliver it.
  void request(const json& message, json& reply) {
    const json answer = worker().call("hostRequest", message, within(30s));
    ASSERT_FALSE(answer.contains("nativeError"))
        << "Chromium could not reach org.quelvar.host: " << answer.value("nativeError", "")
        << "\nrequest: " << message.dump();
    reply = answer.value("reply", json::object());
  }
};

bool listsPair(const json& languages, const std::string& source, const std::string& target) {
  const json& pairs = languages.value("pairs", json::array());
  return std::find(pairs.begin(), pairs.end(), json::array({source, target})) != pairs.end();
}

TEST_F(LanguageHostTest, answersPingLanguagesAndTranslateThroughChromium) {
  json ping;
  ASSERT_NO_FATAL_FAILURE(request({{"version", 1}, {"id", "ping-1"}, {"type", "ping"}}, ping));
  EXPECT_EQ(ping, json({{"version", 1}, {"id", "ping-1"}, {"ok", true}, {"text", "pong"}}));
  report("ping: " + ping.dump());

  json languages;
  ASSERT_NO_FATAL_FAILURE(
      request({{"version", 1}, {"id", "languages-1"}, {"type", "languages"}}, languages));
  EXPECT_EQ(languages.value("id", ""), "languages-1");
  EXPECT_EQ(languages.value("ok", false), true) << languages.dump();
  // Its shape is checked end to end over pipes; here it must reach the extension intact.
  ASSERT_TRUE(languages.value("languages", json()).is_array()) << languages.dump();
  ASSERT_TRUE(languages.value("pairs", json()).is_array()) << languages.dump();
  report("languages: pairs " + languages.value("pairs", json()).dump());

  json translate;
  ASSERT_NO_FATAL_FAILURE(request({{"version", 1},
                                   {"id", "translate-1"},
                                   {"type", "translate"},
                                   {"text", "Hello world"},
                                   {"source", "en"},
                                   {"target", "es"}},
                                  translate));
  EXPECT_EQ(translate.value("id", ""), "translate-1");
  if (translate.value("ok", false)) {
    report("translate en->es: engine answered " + translate.dump());
    EXPECT_NE(translate.value("text", "").find("Hola"), std::string::npos) << translate.dump();
  } else {
    // An honest refusal is accepted until the engines are required, but never one that
    // contradicts the inventory just received.
    const std::string error = translate.value("error", "");
    report("translate en->es: NO ENGINE, the host answered " + error + "; Spanish not checked");
    EXPECT_FALSE(translate.contains("text")) << translate.dump();
    EXPECT_TRUE(error == "MODELS_NOT_INSTALLED" || error == "UNSUPPORTED_PAIR" ||
                error == "TRANSLATION_FAILED")
        << translate.dump();
    EXPECT_FALSE(listsPair(languages, "en", "es"))
        << "\"languages\" lists en->es as installed, yet \"translate\" failed: "
        << translate.dump();
    EXPECT_FALSE(kRequireEngines) << "the translation engine is required: " << translate.dump();
  }

  // sendNativeMessage closes each host after its one reply.
  expectNoHostRunning(10s, "after its replies were delivered");
}

}  // namespace
}  // namespace quelvar::browser
