// Pipeline start-up: checks in order, refusals, failures through a full stop, and `generation`.
#include <functional>

#include "SpeechTestSupport.hpp"

namespace quelvar::testing {
namespace {

using StartupTest = PipelineTest;

TEST_F(StartupTest, buildsThePipelineInOrderAndReportsReady) {
  start();
  EXPECT_EQ(events, std::vector{ready()});
  EXPECT_EQ(speech.calls,
            (std::vector<std::string>{"supportedLocale en", "installedLocales", "reserve en-US",
                                      "makeTranscriber en-US", "bestAvailableAudioFormat",
                                      "makeAnalyzer", "analyzer.start"}));
  EXPECT_EQ(translation.calls, (std::vector<std::string>{"status en de", "makeSession en de"}));
  EXPECT_TRUE(session().prepared());
  EXPECT_TRUE(pipeline().isRunning());
  EXPECT_TRUE(diagnostics.empty());
}

struct Refusal {
  const char* name;
  std::function<void(PipelineTest&)> script;
  std::string_view error;
};

class StartupRefusalTest : public PipelineTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(StartupRefusalTest, isOneEventWithoutDetailAndLeavesTheHostIdle) {
  GetParam().script(*this);
  start();
  EXPECT_EQ(events, std::vector{error(GetParam().error)});
  EXPECT_TRUE(diagnostics.empty());
  EXPECT_FALSE(pipeline().isRunning());
  EXPECT_EQ(std::count(speech.calls.begin(), speech.calls.end(), "reserve en-US"), 0);
  EXPECT_TRUE(translation.sessions.empty());
  EXPECT_EQ(pipeline().currentGeneration(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, StartupRefusalTest,
    ::testing::Values(Refusal{"noRecogniser", [](PipelineTest& t) { t.speech.supported.clear(); },
                              speech_error::speechUnsupported},
                      Refusal{"noModelInstalled",
                              [](PipelineTest& t) { t.speech.installed.clear(); },
                              speech_error::speechModelsMissing},
                      // The same language under another identifier does not count as installed.
                      Refusal{"modelUnderAnotherIdentifier",
                              [](PipelineTest& t) {
                                t.speech.installed = {"en", "en_US", "en-us"};
                              },
                              speech_error::speechModelsMissing},
                      Refusal{"pairOnlySupported",
                              [](PipelineTest& t) {
                                t.translation.setStatus("en", "de", LanguageStatus::supported);
                              },
                              speech_error::modelsNotInstalled},
                      Refusal{"pairUnsupported",
                              [](PipelineTest& t) {
                                t.translation.setStatus("en", "de", LanguageStatus::unsupported);
                              },
                              speech_error::modelsNotInstalled}),
    [](const auto& info) { return info.param.name; });

struct Failure {
  const char* name;
  std::function<void(PipelineTest&)> script;
  std::string detail;
  bool releases;  // whether the reservation was taken before the failing step
};

class StartupFailureTest : public PipelineTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(StartupFailureTest, writesOneLineStopsFullyThenReportsTheStep) {
  useRealConverter = false;
  GetParam().script(*this);
  // What had happened when the event left: it must come after the whole stop.
  std::vector<std::string> callsAtEvent;
  output.emit = [&](const nlohmann::json& event) {
    events.push_back(event);
    callsAtEvent = speech.calls;
  };
  start();

  const std::string& detail = GetParam().detail;
  EXPECT_EQ(diagnostics, std::vector<std::string>{"Speech startup failed: " + detail + "\n"});
  EXPECT_EQ(events, (std::vector<nlohmann::json>{
                        {{"type", "error"}, {"error", "SPEECH_UNAVAILABLE"}, {"detail", detail}}}));
  EXPECT_FALSE(pipeline().isRunning());
  EXPECT_EQ(pipeline().currentGeneration(), 2);
  EXPECT_EQ(std::count(speech.calls.begin(), speech.calls.end(), "release en-US"),
            GetParam().releases ? 1 : 0);
  EXPECT_EQ(callsAtEvent, speech.calls);
  pipeline().feed(wireAudio(320), 0);
  EXPECT_EQ(events.back(), error(speech_error::audioSequence));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, StartupFailureTest,
    ::testing::Values(
        Failure{"reservation",
                [](PipelineTest& t) {
                  t.speech.reserveAnswer = PlatformError{"fake.assets", 12, "no"};
                },
                "reserve speech model: fake.assets (12)", false},
        Failure{"noBestFormat", [](PipelineTest& t) { t.speech.bestFormat.reset(); },
                "configure audio format: org.quelvar.audio (3328)", true},
        Failure{"noConverter", [](PipelineTest& t) { t.converterScript->refuse = true; },
                "configure audio format: org.quelvar.audio (3328)", true},
        Failure{"preparation",
                [](PipelineTest& t) {
                  t.translation.prepareAnswer = PlatformError{"fake.translation", -5, "no"};
                },
                "prepare translation: fake.translation (-5)", true},
        Failure{"analyzerStart",
                [](PipelineTest& t) {
                  t.speech.analyzerStartAnswer = PlatformError{"fake.analyzer", 9, "no"};
                },
                "start speech analyzer: fake.analyzer (9)", true}),
    [](const auto& info) { return info.param.name; });

struct LocaleMapping {
  std::string source;
  std::string speechLocale;
};

class StartupLocaleTest : public PipelineTest,
                          public ::testing::WithParamInterface<LocaleMapping> {};

TEST_P(StartupLocaleTest, speechUsesTheSpeechLocaleAndTranslationTheCodeAsReceived) {
  const auto& [source, speechLocale] = GetParam();
  speech.supported = {{speechLocale, "xx-YY"}};
  speech.installed = {"xx-YY"};
  translation.setStatus(source, "de", LanguageStatus::installed);
  start(source, "de");
  EXPECT_EQ(events, std::vector{ready()});
  EXPECT_EQ(speech.calls.front(), "supportedLocale " + speechLocale);
  EXPECT_EQ(translation.calls, (std::vector<std::string>{"status " + source + " de",
                                                         "makeSession " + source + " de"}));
}

INSTANTIATE_TEST_SUITE_P(Locales, StartupLocaleTest,
                         ::testing::Values(LocaleMapping{"zh-Hans", "zh-CN"},
                                           LocaleMapping{"zh-Hant", "zh-TW"},
                                           LocaleMapping{"zh-hans", "zh-hans"},
                                           LocaleMapping{"ZH-HANT", "ZH-HANT"}));

TEST_F(StartupTest, aDeclinedReservationStillStartsAndNothingIsReleased) {
  speech.reserveAnswer = false;
  start();
  EXPECT_EQ(events, std::vector{ready()});
  stop();
  EXPECT_EQ(std::count_if(speech.calls.begin(), speech.calls.end(),
                          [](const std::string& call) { return call.starts_with("release"); }),
            0);
}

TEST_F(StartupTest, aRefusedRestartEndsTheRunningPipeline) {
  start();
  auto firstAnalyzer = speech.analyzer;
  takeEvents();
  start("en", "fr");  // no models for this direction
  EXPECT_EQ(events, std::vector{error(speech_error::modelsNotInstalled)});
  EXPECT_TRUE(firstAnalyzer->cancelled());
  EXPECT_TRUE(translation.sessions.front()->cancelled);
  EXPECT_FALSE(pipeline().isRunning());
  EXPECT_EQ(std::count(speech.calls.begin(), speech.calls.end(), "release en-US"), 1);
}

TEST_F(StartupTest, generationCountsEveryStopAndIsNeverReset) {
  EXPECT_EQ(pipeline().currentGeneration(), 0);
  for (int i = 0; i < 3; ++i) {
    stop();
  }
  EXPECT_EQ(pipeline().currentGeneration(), 3);
  start();
  EXPECT_EQ(pipeline().currentGeneration(), 4);
  translation.prepareAnswer = PlatformError{"fake.translation", 1, "no"};
  start();
  EXPECT_EQ(pipeline().currentGeneration(), 6);
}

}  // namespace
}  // namespace quelvar::testing
