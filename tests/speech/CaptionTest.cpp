// Recognition results to captions: length rules, segments, the one-slot queue, pacing and what a
// stop leaves behind.
#include "SpeechTestSupport.hpp"
#include "common/Framing.hpp"

namespace quelvar::testing {
namespace {

using namespace std::chrono_literals;

struct Caption : PipelineTest {
  void SetUp() override {
    start();
    takeEvents();
  }
  // Answers the request in flight, or recognises something, and lets the worker carry on.
  void answer(const std::string& text) {
    ASSERT_TRUE(session().answer(text));
    settle();
  }
  void hear(SpeechResultEvent event) {
    transcriber().push(std::move(event));
    settle();
  }
  void partial(const std::string& text) { hear(SpeechResult{text, false}); }
  void final(const std::string& text) { hear(SpeechResult{text, true}); }
};

TEST_F(Caption, aBurstOfPartialsTranslatesOnlyTheNewestAtThePacedRate) {
  partial("a\u0301b\u0301c\u0301");  // three characters in six code points: too short
  partial("abcd");
  EXPECT_THAT(session().requests, ElementsAre("abcd"));
  EXPECT_THAT(clock.sleepRequests(), IsEmpty());  // a pipeline's first request does not wait
  partial("abcdefghi");
  partial("abcdefghijk");
  clock.advance(200ms);
  answer("ABCD");
  EXPECT_THAT(takeEvents(), ElementsAre(caption("abcd", "ABCD", false, "0")));
  EXPECT_THAT(clock.sleepRequests(), ElementsAre(500ms));
  clock.advance(500ms);
  settle();
  EXPECT_THAT(session().requests, ElementsAre("abcd", "abcdefghijk"));
}

TEST_F(Caption, aFinalOfAnyLengthIsTranslatedButAnEmptyOneDoesNotAdvanceTheSegment) {
  final(" \n ");
  final(" a ");  // however short
  answer("A");
  clock.advance(1s);
  partial("second utterance");
  answer("2");
  EXPECT_THAT(events, ElementsAre(caption("a", "A", true, "0"),
                                  caption("second utterance", "2", false, "1")));
}

TEST_F(Caption, aWaitingFinalIsNotDisplacedByAPartialAndTheNextFinalCarriesIt) {
  partial("one two");  // in flight
  final("one two three");
  partial("four five");  // next utterance: must not displace the waiting final
  clock.advance(1s);
  answer("x");
  answer("y");
  EXPECT_THAT(session().requests, ElementsAre("one two", "one two three"));
  EXPECT_EQ(events.back(), caption("one two three", "y", true, "0"));

  clock.advance(1s);
  partial("six seven");  // in flight
  final("six seven eight");
  final("nine ten");  // the waiting final is translated with it, not lost
  clock.advance(1s);
  answer("a");
  answer("b");
  EXPECT_EQ(events.back(), caption("six seven eight nine ten", "b", true, "2"));

  // Past the bound the newest final wins alone.
  clock.advance(1s);
  partial("in flight");
  final(std::string(1500, 'a'));
  final(std::string(600, 'b'));
  clock.advance(1s);
  answer("c");
  answer("d");
  EXPECT_EQ(session().requests.back(), std::string(600, 'b'));
}

TEST_F(Caption, aSimplifiedChineseTargetGetsSimplifiedCharacters) {
  translation.statuses[{"en", "zh-Hans"}] = LanguageStatus::installed;
  start("en", "zh-Hans");
  takeEvents();
  final("language");
  answer("語言");
  EXPECT_THAT(events, ElementsAre(caption("language", "语言", true, "0")));
}

TEST_F(Caption, aFailedOrTooLargeTranslationIsReportedOnceAndTheNextOneComes) {
  partial("hello there");
  ASSERT_TRUE(session().answer(PlatformError{"fake.translation", 3, "no"}));
  settle();
  clock.advance(300ms);
  partial("hello there again");
  EXPECT_THAT(clock.sleepRequests(), ElementsAre(400ms));
  clock.advance(400ms);
  settle();
  // Each quote is two bytes once escaped: the text fits in a frame only before escaping.
  answer(std::string(kMaxOutboundFrameLength / 2, '"'));
  clock.advance(1s);
  final("hello there again");
  answer("hallo");
  EXPECT_THAT(events, ElementsAre(errorEvent(error_code::translationFailed),
                                  errorEvent(error_code::translationFailed),
                                  caption("hello there again", "hallo", true, "0")));
}

TEST_F(Caption, aRecognitionErrorIsReportedOnceAndEndsTheCaptions) {
  hear(PlatformError{"fake.speech", 42, "The decoder broke."});
  EXPECT_THAT(diagnostics, ElementsAre(HasSubstr("fake.speech 42")));
  EXPECT_THAT(takeEvents(), ElementsAre(errorEvent(error_code::recognitionFailed)));
  final("anything more");
  EXPECT_THAT(session().requests, IsEmpty());
}

TEST_F(Caption, aNewPipelineNumbersFromZeroAndDoesNotWaitForTheOldPace) {
  final("first");
  answer("erste");
  final("second");  // waits for its pace when the pipeline stops
  stop();
  start();
  takeEvents();
  const std::size_t sleeps = clock.sleepRequests().size();
  final("again");
  // The idle session was kept; the stopped pipeline's waiting "second" never reached it.
  EXPECT_THAT(session().requests, ElementsAre("first", "again"));
  EXPECT_EQ(clock.sleepRequests().size(), sleeps);
  answer("wieder");
  EXPECT_THAT(events, ElementsAre(caption("again", "wieder", true, "0")));
}

TEST_F(Caption, anAnswerArrivingDuringTheStopProducesNoCaption) {
  final("in flight");
  bool stopped = false;
  asio::co_spawn(
      io,
      [&]() -> asio::awaitable<void> {
        co_await pipeline().stop();
        stopped = true;
      },
      asio::detached);
  session().answer(std::string("too late"));
  settle();
  EXPECT_TRUE(stopped);
  EXPECT_THAT(events, IsEmpty());
}

}  // namespace
}  // namespace quelvar::testing
