// Recognition results to captions: length rules, segments, the one-slot queue and pacing.
#include "SpeechTestSupport.hpp"
#include "common/Framing.hpp"

namespace quelvar::testing {
namespace {

using namespace std::chrono_literals;

struct CaptionTest : PipelineTest {
  void SetUp() override {
    start();
    takeEvents();
  }
  // Answers the request in flight and lets the worker carry on.
  void answer(const std::string& translation) {
    ASSERT_TRUE(session().answer(translation));
    settle();
  }
  void partial(const std::string& text) {
    transcriber().partial(text);
    settle();
  }
  void final(const std::string& text) {
    transcriber().final(text);
    settle();
  }
};

TEST_F(CaptionTest, aBurstOfPartialsTranslatesOnlyTheNewestAtThePacedRate) {
  partial("abc");
  EXPECT_TRUE(session().requests.empty());  // too short to be worth translating
  partial("abcde");
  EXPECT_EQ(session().requests, std::vector<std::string>{"abcde"});
  EXPECT_TRUE(clock.sleepRequests().empty());  // the first request of a pipeline is not delayed
  partial("abcdefghi");
  partial("abcdefghijk");

  clock.advance(200ms);
  answer("ABCDE");
  EXPECT_EQ(takeEvents(), std::vector{caption("abcde", "ABCDE", false, "0")});
  EXPECT_EQ(clock.sleepRequests(), std::vector<std::chrono::nanoseconds>{500ms});

  clock.advance(499ms);
  settle();
  EXPECT_EQ(session().requests.size(), 1u);
  clock.advance(1ms);
  settle();
  EXPECT_EQ(session().requests, (std::vector<std::string>{"abcde", "abcdefghijk"}));
  answer("ABCDEFGHIJK");
  EXPECT_EQ(takeEvents(), std::vector{caption("abcdefghijk", "ABCDEFGHIJK", false, "0")});
}

TEST_F(CaptionTest, lengthIsCountedInUserPerceivedCharactersAndOnlyForPartials) {
  partial("a\u0301b\u0301c\u0301");  // three characters in six code points
  partial("  \n\t");
  EXPECT_TRUE(session().requests.empty());
  final(" a ");
  EXPECT_EQ(session().requests, std::vector<std::string>{"a"});
  answer("A");
  EXPECT_EQ(events, std::vector{caption("a", "A", true, "0")});
}

TEST_F(CaptionTest, anEmptyFinalDoesNotAdvanceTheSegment) {
  final(" \n ");
  final("first utterance");
  answer("1");
  clock.advance(1s);
  partial("second utterance");
  answer("2");
  EXPECT_EQ(events, (std::vector{caption("first utterance", "1", true, "0"),
                                 caption("second utterance", "2", false, "1")}));
}

TEST_F(CaptionTest, aWaitingFinalIsNotDisplacedByAPartialAndTheNextFinalCarriesIt) {
  partial("one two");  // in flight
  final("one two three");
  partial("four five");  // next utterance: must not displace the waiting final
  clock.advance(1s);
  answer("x");
  answer("y");
  EXPECT_EQ(session().requests, (std::vector<std::string>{"one two", "one two three"}));
  EXPECT_EQ(events.back(), caption("one two three", "y", true, "0"));

  takeEvents();
  clock.advance(1s);
  partial("six seven");  // in flight
  final("six seven eight");
  final("nine ten");  // the waiting final is translated with it, not lost
  clock.advance(1s);
  answer("a");
  answer("b");
  EXPECT_EQ(session().requests.back(), "six seven eight nine ten");
  EXPECT_EQ(events.back(), caption("six seven eight nine ten", "b", true, "2"));

  // Past the bound the newest final wins alone.
  takeEvents();
  clock.advance(1s);
  partial("in flight");
  final(std::string(1500, 'a'));
  final(std::string(600, 'b'));
  clock.advance(1s);
  answer("c");
  answer("d");
  EXPECT_EQ(session().requests.back(), std::string(600, 'b'));
}

struct ScriptCase {
  std::string target;
  std::string translated;
};

class CaptionScriptTest : public PipelineTest, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(CaptionScriptTest, onlyTheSimplifiedTargetIsConvertedFromTraditional) {
  translation.setStatus("en", GetParam().target, LanguageStatus::installed);
  start("en", GetParam().target);
  takeEvents();
  transcriber().final("language");
  settle();
  ASSERT_TRUE(session().answer("語言"));
  settle();
  EXPECT_EQ(events, std::vector{caption("language", GetParam().translated, true, "0")});
}

INSTANTIATE_TEST_SUITE_P(Targets, CaptionScriptTest,
                         ::testing::Values(ScriptCase{"zh-Hans", "语言"},
                                           ScriptCase{"zh-Hant", "語言"},
                                           ScriptCase{"zh-hans", "語言"}));

TEST_F(CaptionTest, aTranslationErrorIsReportedOnceAndTheNextWorkerKeepsThePace) {
  partial("hello there");
  ASSERT_TRUE(session().fail({"fake.translation", 3, "no"}));
  settle();
  EXPECT_EQ(takeEvents(), std::vector{error(speech_error::translationFailed)});

  clock.advance(300ms);
  partial("hello there again");
  EXPECT_EQ(clock.sleepRequests(), std::vector<std::chrono::nanoseconds>{400ms});
  clock.advance(400ms);
  settle();
  answer("hallo");
  EXPECT_EQ(events, std::vector{caption("hello there again", "hallo", false, "0")});
}

TEST_F(CaptionTest, aCaptionTooLargeForOneFrameIsAFailedTranslationAndTheNextOneComes) {
  // Each quote is two bytes once escaped: the text fits in a frame only before escaping.
  final("hello there");
  answer(std::string(kMaxOutboundFrameLength / 2, '"'));
  EXPECT_EQ(takeEvents(), std::vector{error(speech_error::translationFailed)});

  clock.advance(700ms);
  final("hello there again");
  answer("hallo");
  EXPECT_EQ(events, std::vector{caption("hello there again", "hallo", true, "1")});
}

TEST_F(CaptionTest, aRecognitionErrorIsReportedOnceAndEndsTheCaptions) {
  transcriber().fail({"fake.speech", 42, "The decoder broke."});
  settle();
  EXPECT_EQ(diagnostics,
            std::vector<std::string>{"Speech failure: fake.speech 42 The decoder broke.\n"});
  EXPECT_EQ(takeEvents(), std::vector{error(speech_error::recognitionFailed)});
  final("anything more");
  EXPECT_TRUE(session().requests.empty());
  EXPECT_TRUE(pipeline().isRunning());  // fields stay until the client stops

  stop();
  EXPECT_TRUE(speech.analyzer->cancelled());
  EXPECT_EQ(speech.calls.back(), "release en-US");
  EXPECT_TRUE(events.empty());
}

TEST_F(CaptionTest, aNewPipelineNumbersFromZeroAndDoesNotWaitForTheOldPace) {
  final("first");
  answer("erste");
  final("second");  // waits for its pace when the pipeline stops
  stop();
  EXPECT_EQ(takeEvents(), std::vector{caption("first", "erste", true, "0")});
  start();
  takeEvents();
  const std::size_t sleeps = clock.sleepRequests().size();
  final("again");
  // The idle session was kept; the stopped pipeline's waiting "second" never reached it.
  EXPECT_EQ(session().requests, (std::vector<std::string>{"first", "again"}));
  EXPECT_EQ(clock.sleepRequests().size(), sleeps);
  answer("wieder");
  EXPECT_EQ(events, std::vector{caption("again", "wieder", true, "0")});
}

}  // namespace
}  // namespace quelvar::testing
