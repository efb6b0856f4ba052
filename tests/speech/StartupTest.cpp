// Pipeline start-up: refusals, failures through a full stop, reservations and the kept session.
#include <functional>

#include "SpeechTestSupport.hpp"

namespace quelvar::testing {
namespace {

using StartupTest = PipelineTest;

using T = PipelineTest;

nlohmann::json unavailable(const std::string& detail) {
  return {{"type", "error"}, {"error", "SPEECH_UNAVAILABLE"}, {"detail", detail}};
}

struct Outcome {
  const char* name;
  std::function<void(T&)> script;
  nlohmann::json event;
  int reserved;  // reservations asked for; one given back only when it was granted
  int released;
};

class StartupOutcomeTest : public PipelineTest, public ::testing::WithParamInterface<Outcome> {};

// Refusals come before anything is reserved or made; failures write one line and stop fully
// before their event. Either way no pipeline is left to take audio.
TEST_P(StartupOutcomeTest, isOneEventAfterEverythingIsGivenBack) {
  useRealConverter = false;
  GetParam().script(*this);
  std::vector<std::string> callsAtEvent;
  output.emit = [&](const nlohmann::json& event) {
    events.push_back(event);
    callsAtEvent = speech.calls;
  };
  start();
  EXPECT_EQ(callsAtEvent, speech.calls);
  feed(0);

  const nlohmann::json& event = GetParam().event;
  EXPECT_THAT(events, ElementsAre(event, error(error_code::audioSequence)));
  if (event.contains("detail")) {
    EXPECT_THAT(diagnostics,
                ElementsAre("Speech startup failed: " + event["detail"].get<std::string>() + "\n"));
  } else {
    EXPECT_THAT(diagnostics, IsEmpty());
  }
  EXPECT_EQ(std::count(speech.calls.begin(), speech.calls.end(), "reserve en-US"),
            GetParam().reserved);
  EXPECT_EQ(std::count(speech.calls.begin(), speech.calls.end(), "release en-US"),
            GetParam().released);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, StartupOutcomeTest,
    ::testing::Values(
        Outcome{"noRecogniser", [](T& t) { t.speech.supported.clear(); },
                error(error_code::speechUnsupported), 0, 0},
        Outcome{"noModelInstalled", [](T& t) { t.speech.installed.clear(); },
                error(error_code::speechModelsMissing), 0, 0},
        // The same language under another identifier does not count as installed.
        Outcome{"modelUnderAnotherIdentifier",
                [](T& t) {
                  t.speech.installed = {"en", "en_US", "en-us"};
                },
                error(error_code::speechModelsMissing), 0, 0},
        Outcome{"pairOnlySupported",
                [](T& t) { t.translation.setStatus("en", "de", LanguageStatus::supported); },
                error(error_code::modelsNotInstalled), 0, 0},
        Outcome{"pairUnsupported",
                [](T& t) { t.translation.setStatus("en", "de", LanguageStatus::unsupported); },
                error(error_code::modelsNotInstalled), 0, 0}),
    [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Failures, StartupOutcomeTest,
    ::testing::Values(
        Outcome{"reservation",
                [](T& t) {
                  t.speech.reserveAnswer = PlatformError{"fake.assets", 12, "no"};
                },
                unavailable("reserve speech model: fake.assets (12)"), 1, 0},
        Outcome{"noBestFormat", [](T& t) { t.speech.bestFormat.reset(); },
                unavailable("configure audio format: org.quelvar.audio (3328)"), 1, 1},
        Outcome{"noConverter", [](T& t) { t.converterScript->refuse = true; },
                unavailable("configure audio format: org.quelvar.audio (3328)"), 1, 1},
        Outcome{"preparation",
                [](T& t) {
                  t.translation.prepareAnswer = PlatformError{"fake.translation", -5, "no"};
                },
                unavailable("prepare translation: fake.translation (-5)"), 1, 1},
        Outcome{"analyzerStart",
                [](T& t) {
                  t.speech.analyzerStartAnswer = PlatformError{"fake.analyzer", 9, "no"};
                },
                unavailable("start speech analyzer: fake.analyzer (9)"), 1, 1}),
    [](const auto& info) { return info.param.name; });

TEST_F(StartupTest, speechUsesTheSpeechLocaleAndTranslationTheCodeAsReceived) {
  speech.supported = {{"zh-CN", "zh-CN"}};
  speech.installed = {"zh-CN"};
  translation.setStatus("zh-Hans", "de", LanguageStatus::installed);
  start("zh-Hans", "de");
  EXPECT_THAT(events, ElementsAre(ready()));
  EXPECT_EQ(speech.calls.front(), "supportedLocale zh-CN");
  EXPECT_THAT(translation.calls, ElementsAre("status zh-Hans de", "makeSession zh-Hans de"));
}

TEST_F(StartupTest, aDeclinedReservationStillStartsAndNothingIsReleased) {
  speech.reserveAnswer = false;
  start();
  stop();
  EXPECT_THAT(events, ElementsAre(ready()));
  EXPECT_THAT(speech.calls, Not(Contains("release en-US")));
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
  EXPECT_THAT(events,
              ElementsAre(ready(), error(error_code::unsupportedPair),
                          error(error_code::modelsNotInstalled), error(error_code::audioSequence)));
  EXPECT_TRUE(firstAnalyzer->cancelled());
  EXPECT_TRUE(translation.sessions.front()->cancelled);
  EXPECT_EQ(std::count(speech.calls.begin(), speech.calls.end(), "release en-US"), 1);
}

// A session that was idle at the stop skips starting its engine again, but only for its own
// direction, and only while it can still get ready.
TEST_F(StartupTest, aStartReusesOnlyAnIdleReadySessionOfItsOwnDirection) {
  translation.setStatus("en", "fr", LanguageStatus::installed);
  start();
  stop();
  start();
  ASSERT_EQ(translation.sessions.size(), 1u);
  EXPECT_FALSE(session().cancelled);

  transcriber().final("in flight");
  settle();
  stop();  // cancelling the translation under way ends the session
  EXPECT_TRUE(session().cancelled);
  start();
  ASSERT_EQ(translation.sessions.size(), 2u);

  start("en", "fr");  // another direction ends the kept one
  EXPECT_TRUE(translation.sessions[1]->cancelled);

  stop();
  translation.prepareAnswer = PlatformError{"fake.translation", 1, "no"};
  start("en", "fr");
  EXPECT_TRUE(session().cancelled);
  translation.prepareAnswer = Status();
  start("en", "fr");
  EXPECT_EQ(translation.sessions.size(), 4u);
  EXPECT_EQ(takeEvents().back(), ready());
}

}  // namespace
}  // namespace quelvar::testing
