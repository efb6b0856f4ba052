// Validation of inbound messages in the protocol's order, and their dispatch to the pipeline.
#include "QuelvarSpeech/SpeechMessage.hpp"

#include "SpeechTestSupport.hpp"
#include "common/Text.hpp"

namespace quelvar::testing {
namespace {

std::string pcmBody(const std::string& data, const std::string& sequence = "0") {
  return R"({"version":1,"type":"pcm","data":")" + data + R"(","sequence":)" + sequence + "}";
}
std::string startBody(const std::string& source, const std::string& target) {
  return nlohmann::json{{"version", 1}, {"type", "start"}, {"source", source}, {"target", target}}
      .dump();
}
// The error a body is refused with, "" when it is accepted.
std::string refusal(const std::string& body) {
  const SpeechMessage message = parseSpeechMessage(body);
  const auto* refused = std::get_if<RefusedMessage>(&message);
  return refused ? std::string(refused->error) : "";
}

struct Row {
  std::string body;
  std::string error;  // "" when accepted
};

class ParseTest : public ::testing::TestWithParam<Row> {};

TEST_P(ParseTest, refusesWithTheFirstFailingRule) {
  EXPECT_EQ(refusal(GetParam().body), GetParam().error) << GetParam().body;
}

const std::string invalid(speech_error::invalidRequest);
const std::string pair(speech_error::unsupportedPair);
const std::string audio(speech_error::invalidAudio);

INSTANTIATE_TEST_SUITE_P(Envelope, ParseTest,
                         ::testing::Values(Row{R"({"version":1,"type":"ping"})", ""},
                                           Row{R"({"version":1.0,"type":"ping","id":7})", ""},
                                           Row{R"({"version":1,"type":"stop"})", ""},
                                           Row{"[1,2]", invalid}, Row{"42", invalid},
                                           Row{R"({"version":1,"type":"pi)", invalid},
                                           Row{R"({"type":"ping"})", invalid},
                                           Row{R"({"version":2,"type":"ping"})", invalid},
                                           Row{R"({"version":"1","type":"ping"})", invalid},
                                           Row{R"({"version":1.5,"type":"ping"})", invalid},
                                           Row{R"({"version":true,"type":"ping"})", invalid},
                                           Row{R"({"version":1})", invalid},
                                           Row{R"({"version":1,"type":7})", invalid},
                                           Row{R"({"version":1,"type":"PING"})", invalid},
                                           Row{R"({"version":1,"type":"pong"})", invalid},
                                           // The envelope is checked before the message's own keys.
                                           Row{R"({"version":2,"type":"start"})", invalid}));

INSTANTIATE_TEST_SUITE_P(
    Start, ParseTest,
    ::testing::Values(Row{startBody("en", "de"), ""}, Row{startBody("en", "en"), pair},
                      Row{R"({"version":1,"type":"start","source":"en"})", pair},
                      Row{R"({"version":1,"type":"start","target":"en"})", pair},
                      Row{R"({"version":1,"type":"start","source":5,"target":"en"})", pair},
                      Row{startBody(std::string(40, 'a'), "de"), ""},
                      Row{startBody(std::string(41, 'a'), "de"), pair},
                      Row{startBody("en", std::string(41, 'b')), pair},
                      // 40 characters of two code points each still fit.
                      [] {
                        std::string code;
                        for (int i = 0; i < 40; ++i) {
                          code += "e\u0301";
                        }
                        return Row{startBody(code, "de"), ""};
                      }()));

INSTANTIATE_TEST_SUITE_P(
    Pcm, ParseTest,
    ::testing::Values(Row{pcmBody("AAA="), ""},
                      Row{pcmBody(encodeBase64(std::string(32000, 'x'))), ""},
                      Row{pcmBody(encodeBase64(std::string(32002, 'x'))), audio},
                      Row{pcmBody("AAAA"), audio},  // three bytes
                      Row{pcmBody("AA=="), audio}, Row{pcmBody(""), audio},
                      Row{pcmBody("AAAA\\nAAAA"), audio}, Row{pcmBody("AA AA"), audio},
                      Row{pcmBody("AAA"), audio}, Row{pcmBody("AAA=", "1.5"), audio},
                      Row{pcmBody("AAA=", "\"3\""), audio}, Row{pcmBody("AAA=", "null"), audio},
                      Row{pcmBody("AAA=", "2.0"), ""}, Row{pcmBody("AAA=", "-1"), ""},
                      Row{R"({"version":1,"type":"pcm","data":"AAA="})", audio},
                      Row{R"({"version":1,"type":"pcm","sequence":0})", audio},
                      Row{R"({"version":1,"type":"pcm","data":["AAA="],"sequence":0})", audio}));

TEST(ParseTest, acceptedPcmCarriesTheDecodedBytesAndNumber) {
  const SpeechMessage message = parseSpeechMessage(pcmBody("AQL/fw==", "9007199254740993"));
  const auto* pcm = std::get_if<PcmMessage>(&message);
  ASSERT_TRUE(pcm);
  EXPECT_EQ(pcm->audio, std::string("\x01\x02\xff\x7f", 4));
  EXPECT_EQ(pcm->sequence, 9007199254740993);
}

struct HandleTest : PipelineTest {
  void handle(const std::string& body) { runToEnd(handleMessage(body, pipeline(), output)); }
};

TEST_F(HandleTest, pingIsAnsweredWithABarePong) {
  handle(R"({"version":1,"type":"ping","id":"abc"})");
  EXPECT_EQ(events, (std::vector<nlohmann::json>{{{"type", "pong"}}}));
}

TEST_F(HandleTest, aRefusedPairNeverReachesThePipeline) {
  handle(startBody(std::string(41, 'a'), "de"));
  handle(startBody("de", "de"));
  EXPECT_EQ(events, std::vector(2, error(speech_error::unsupportedPair)));
  EXPECT_TRUE(speech.calls.empty());
  EXPECT_EQ(pipeline().currentGeneration(), 0);
}

TEST_F(HandleTest, aFortyCharacterCodeReachesThePipeline) {
  handle(startBody(std::string(40, 'a'), "de"));
  EXPECT_EQ(events, std::vector{error(speech_error::speechUnsupported)});
  EXPECT_EQ(speech.calls.front(), "supportedLocale " + std::string(40, 'a'));
}

TEST_F(HandleTest, wellFormedAudioBeforeAnyStartIsOutOfSequence) {
  handle(pcmBody("AAA="));
  EXPECT_EQ(events, std::vector{error(speech_error::audioSequence)});
}

TEST_F(HandleTest, aSessionRunsStartAudioAndStopWithoutReplies) {
  handle(startBody("en", "de"));
  handle(pcmBody(encodeBase64(std::string(3200, '\0')), "0"));
  handle(R"({"version":1,"type":"stop"})");
  handle(R"({"version":1,"type":"stop"})");
  EXPECT_EQ(events, std::vector{ready()});
  EXPECT_EQ(pipeline().currentGeneration(), 3);
}

}  // namespace
}  // namespace quelvar::testing
