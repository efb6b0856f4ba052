// Pipeline start-up: refusals, failures through a full stop, reservations and the kept session.
#include <functional>

#include "SpeechTestSupport.hpp"

namespace quelvar::testing {
namespace {

using StartupTest = PipelineTest;
using T = PipelineTest;

struct Outcome {
  const char* name;
  std::string_view error;
  std::function<void(T&)> script;
};

class StartupOutcomeTest : public PipelineTest, public ::testing::WithParamInterface<Outcome> {};

// A refusal comes before anything is reserved; a failure writes one line and stops fully before
// its event. Either way no pipeline is left to take audio.
TEST_P(StartupOutcomeTest, isOneEventAfterEverythingIsGivenBack) {
  const Outcome& outcome = GetParam();
  outcome.script(*this);
  std::vector<std::string> callsAtEvent;
  output.emit = [&](const nlohmann::json& event) {
    events.push_back(event);
    callsAtEvent = speech.calls;
  };
  start();
  EXPECT_EQ(callsAtEvent, speech.calls);
  feed(0);
  ASSERT_THAT(events, ElementsAre(::testing::_, errorEvent(error_code::audioSequence)));
  EXPECT_EQ(events[0]["error"], outcome.error);
  // A failure, unlike a refusal, has a detail in its event and writes a line.
  const bool failure = outcome.error != error_code::speechModelsMissing;
  EXPECT_EQ(events[0].contains("detail"), failure);
  EXPECT_EQ(diagnostics.size(), failure ? 1u : 0u);
  EXPECT_EQ(std::count(speech.calls.begin(), speech.calls.end(), "reserve en-US"), failure);
  // Only a granted reservation is given back.
  EXPECT_EQ(std::count(speech.calls.begin(), speech.calls.end(), "release en-US"),
            failure && speech.reserveAnswer.ok());
}

const PlatformError kFailed{"fake.failure", 12, "no"};

const std::string_view kUnavailable = error_code::speechUnavailable;
const Outcome kOutcomes[] = {
    // The same language under another identifier does not count as installed.
    {"modelUnderAnotherIdentifier", error_code::speechModelsMissing,
     [](T& t) {
       t.speech.installed = {"en", "en_US", "en-us"};
     }},
    {"reservation", kUnavailable, [](T& t) { t.speech.reserveAnswer = kFailed; }},
    {"noBestFormat", kUnavailable, [](T& t) { t.speech.bestFormat.reset(); }},
    {"noConverter", kUnavailable, [](T& t) { t.converterScript->refuse = true; }},
    {"analyzerStart", kUnavailable, [](T& t) { t.speech.analyzerStartAnswer = kFailed; }},
};
INSTANTIATE_TEST_SUITE_P(Outcomes, StartupOutcomeTest, ::testing::ValuesIn(kOutcomes),
                         [](const auto& info) { return info.param.name; });

TEST_F(StartupTest, speechUsesTheSpeechLocaleAndTranslationTheCodeAsReceived) {
  speech.supported = {{"zh-CN", "zh-CN"}};
  speech.installed = {"zh-CN"};
  translation.statuses[{"zh-Hans", "de"}] = LanguageStatus::installed;
  start("zh-Hans", "de");
  EXPECT_THAT(events, ElementsAre(ready()));
  EXPECT_EQ(speech.calls.front(), "supportedLocale zh-CN");
  EXPECT_EQ(session().source(), "zh-Hans");
}

TEST_F(StartupTest, aDeclinedReservationStillStartsAndNothingIsReleased) {
  speech.reserveAnswer = false;
  start();
  stop();
  EXPECT_THAT(events, ElementsAre(ready()));
  EXPECT_EQ(std::count(speech.calls.begin(), speech.calls.end(), "release en-US"), 0);
}

// The loop refuses a start with a bad pair itself; any start the loop passes on ends the running
// pipeline first, even one the platform then refuses.
TEST_F(StartupTest, onlyAStartTheLoopPassesOnEndsTheRunningPipeline) {
  start();
  auto firstAnalyzer = speech.analyzer;
  start("en", "en");
  feed(0);
  start("en", "fr");  // no models for this direction
  feed(1);
  EXPECT_THAT(events, ElementsAre(ready(), errorEvent(error_code::unsupportedPair),
                                  errorEvent(error_code::modelsNotInstalled),
                                  errorEvent(error_code::audioSequence)));
  EXPECT_TRUE(firstAnalyzer->cancelled);
  EXPECT_TRUE(translation.sessions.front()->cancelled);
  EXPECT_EQ(std::count(speech.calls.begin(), speech.calls.end(), "release en-US"), 1);
}

// A session that was idle at the stop skips starting its engine again, but only for its own
// direction, and only while it can still get ready.
TEST_F(StartupTest, aStartReusesOnlyAnIdleReadySessionOfItsOwnDirection) {
  translation.statuses[{"en", "fr"}] = LanguageStatus::installed;
  start();
  stop();
  start();
  ASSERT_EQ(translation.sessions.size(), 1u);
  EXPECT_FALSE(session().cancelled);

  transcriber().push(SpeechResult{"in flight", true});
  settle();
  stop();  // cancelling the translation under way ends the session
  EXPECT_TRUE(session().cancelled);
  start();
  ASSERT_EQ(translation.sessions.size(), 2u);

  start("en", "fr");  // another direction ends the kept one
  EXPECT_TRUE(translation.sessions[1]->cancelled);

  stop();
  translation.prepareAnswer = kFailed;
  start("en", "fr");
  EXPECT_TRUE(session().cancelled);
  translation.prepareAnswer = Status();
  start("en", "fr");
  EXPECT_EQ(translation.sessions.size(), 4u);
  EXPECT_EQ(takeEvents().back(), ready());
}

}  // namespace
}  // namespace quelvar::testing
