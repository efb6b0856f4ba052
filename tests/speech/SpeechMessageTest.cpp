// Message validation order and dispatch; the full protocol table runs end to end over pipes.
#include "QuelvarSpeech/SpeechMessage.hpp"

#include "SpeechTestSupport.hpp"
#include "common/Text.hpp"

namespace quelvar::testing {
namespace {

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

INSTANTIATE_TEST_SUITE_P(
    Rules, ParseTest,
    ::testing::Values(
        // The envelope is checked before the message's own keys, "data" before "sequence".
        Row{R"({"version":2,"type":"start"})", invalid},
        Row{R"({"version":1,"type":"pcm","data":"A","sequence":"x"})", audio},
        // Whole numbers count whatever their notation; booleans are no numbers.
        Row{R"({"version":1.0,"type":"ping"})", ""}, Row{R"({"version":1e0,"type":"ping"})", ""},
        Row{R"({"version":true,"type":"ping"})", invalid},
        Row{R"({"version":1,"type":null})", invalid},
        // Characters, not bytes or code points, are counted: 40 of two code points each fit.
        [] {
          std::string code;
          for (int i = 0; i < 40; ++i) {
            code += "e\u0301";
          }
          return Row{startBody(code, "de"), ""};
        }(),
        Row{startBody(std::string(41, 'a'), "de"), pair}));

TEST(ParseTest, acceptedPcmCarriesTheDecodedBytesAndTheExactNumber) {
  const SpeechMessage message = parseSpeechMessage(
      R"({"version":1,"type":"pcm","data":"AQL/fw==","sequence":9007199254740993})");
  const auto* pcm = std::get_if<PcmMessage>(&message);
  ASSERT_TRUE(pcm);
  EXPECT_EQ(pcm->audio, std::string("\x01\x02\xff\x7f", 4));
  EXPECT_EQ(pcm->sequence, 9007199254740993);
}

struct HandleTest : PipelineTest {
  void handle(const std::string& body) { runToEnd(handleMessage(body, pipeline(), output)); }
};

TEST_F(HandleTest, aRefusedPairNeverReachesThePipeline) {
  handle(startBody(std::string(41, 'a'), "de"));
  handle(startBody("de", "de"));
  EXPECT_EQ(events, std::vector(2, error(speech_error::unsupportedPair)));
  EXPECT_TRUE(speech.calls.empty());
  EXPECT_EQ(pipeline().currentGeneration(), 0);
}

TEST_F(HandleTest, aSessionRunsStartAudioAndStopWithoutReplies) {
  handle(startBody("en", "de"));
  handle(R"({"version":1,"type":"pcm","data":")" + encodeBase64(std::string(3200, '\0')) +
         R"(","sequence":0})");
  handle(R"({"version":1,"type":"stop"})");
  handle(R"({"version":1,"type":"stop"})");
  EXPECT_EQ(events, std::vector{ready()});
  EXPECT_EQ(pipeline().currentGeneration(), 3);
}

}  // namespace
}  // namespace quelvar::testing
