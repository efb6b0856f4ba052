// Pipeline shutdown: idle stops, stops during a translation or its pacing, and what is given back.
#include "SpeechTestSupport.hpp"

namespace quelvar::testing {
namespace {

using namespace std::chrono_literals;

using StopTest = PipelineTest;

TEST_F(StopTest, stoppingAnIdlePipelineOnlyCountsTheGeneration) {
  stop();
  stop();
  EXPECT_EQ(pipeline().currentGeneration(), 2);
  EXPECT_TRUE(events.empty());
  EXPECT_TRUE(speech.calls.empty());
  EXPECT_TRUE(translation.calls.empty());
}

TEST_F(StopTest, givesEverythingBackInOrder) {
  start();
  auto analyzer = speech.analyzer;
  auto queue = analyzer->input();
  stop();
  EXPECT_TRUE(queue->isFinished());
  EXPECT_FALSE(session().cancelled);  // idle: kept for a later start of its direction
  EXPECT_TRUE(analyzer->cancelled());
  ASSERT_GE(speech.calls.size(), 2u);
  EXPECT_EQ(speech.calls[speech.calls.size() - 2], "analyzer.cancelAndFinishNow");
  EXPECT_EQ(speech.calls.back(), "release en-US");
  EXPECT_FALSE(pipeline().isRunning());
  EXPECT_EQ(events, std::vector{ready()});
}

TEST_F(StopTest, onlyAnIdleSessionIsKeptAndOnlyForItsOwnDirection) {
  translation.setStatus("en", "fr", LanguageStatus::installed);
  start();
  stop();
  start();  // the same direction: the kept session, prepared again
  ASSERT_EQ(translation.sessions.size(), 1u);
  EXPECT_FALSE(session().cancelled);

  transcriber().final("in flight");
  settle();
  stop();  // cancelling the translation under way ends the session
  EXPECT_TRUE(session().cancelled);
  start();
  ASSERT_EQ(translation.sessions.size(), 2u);

  stop();
  start("en", "fr");  // another direction ends the kept one
  EXPECT_TRUE(translation.sessions[1]->cancelled);
  EXPECT_EQ(session().target(), "fr");

  stop();
  translation.prepareAnswer = PlatformError{"fake.translation", 1, "no"};
  start("en", "fr");  // a kept session that cannot get ready again is not kept any longer
  EXPECT_TRUE(session().cancelled);
  translation.prepareAnswer.reset();
  start("en", "fr");
  EXPECT_EQ(translation.sessions.size(), 4u);
  EXPECT_EQ(takeEvents().back(), ready());
}

TEST_F(StopTest, aLateTranslationAnswerProducesNoCaption) {
  start();
  takeEvents();
  transcriber().final("in flight");
  settle();
  ASSERT_EQ(session().waiting(), 1u);
  bool stopped = false;
  asio::co_spawn(
      io,
      [&]() -> asio::awaitable<void> {
        co_await pipeline().stop();
        stopped = true;
      },
      asio::detached);
  session().answer("too late");  // arrives while the stop is under way
  settle();
  EXPECT_TRUE(stopped);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(session().waiting(), 0u);
}

TEST_F(StopTest, aStopDuringThePacingSleepEndsTheWorkerSilently) {
  start();
  takeEvents();
  transcriber().final("first");
  settle();
  ASSERT_TRUE(session().answer("erste"));
  transcriber().final("second");
  settle();
  ASSERT_EQ(clock.sleeping(), 1u);
  takeEvents();
  stop();
  EXPECT_EQ(clock.sleeping(), 0u);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(session().requests.size(), 1u);
}

}  // namespace
}  // namespace quelvar::testing
