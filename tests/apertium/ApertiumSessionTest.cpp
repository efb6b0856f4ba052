// Sessions over stand-in modes made of ordinary programs: "sed -u ''" echoes every segment,
// "tail -f /dev/null" never answers.
#include <gmock/gmock.h>
#include <signal.h>
#include <unistd.h>

#include "ApertiumTestSupport.hpp"
#include "fakes/FakeClock.hpp"
#include "platform/linux/apertium/ApertiumError.hpp"
#include "platform/linux/apertium/ApertiumSession.hpp"

namespace quelvar::apertium {
namespace {

using namespace std::chrono_literals;
using namespace testing;
using namespace ::testing;

struct ApertiumSessionTest : ::testing::Test {
  asio::io_context io;
  std::shared_ptr<quelvar::testing::FakeClock> clock =
      std::make_shared<quelvar::testing::FakeClock>(io.get_executor());
  ModeFolder folder;
  std::filesystem::path echo = folder.add("echo-echo", "sed -u '' | sed -u '' | sed -u ''");
  std::filesystem::path silent = folder.add("silent-silent", "sed -u '' | tail -f /dev/null");

  std::shared_ptr<ApertiumSession> session(std::optional<std::filesystem::path> mode,
                                           SessionOptions options = {}) {
    return std::make_shared<ApertiumSession>(io.get_executor(), clock, std::move(mode), options);
  }
  Expected<std::string> translate(ApertiumSession& session, const std::string& text) {
    return runUntilDone(io, session.translate(text)).value_or(cancelledError());
  }
};

// The programs hold only their pipes and a null standard error.
TEST_F(ApertiumSessionTest, aKilledPipelineIsStartedAgainByTheNextRequest) {
  auto echoing = session(echo);
  ASSERT_TRUE(runUntilDone(io, echoing->prepareTranslation()).value_or(cancelledError()).ok());
  std::map<std::string, std::string> held;  // each open descriptor and what it points at
  const std::string fds = "/proc/" + std::to_string(echoing->processIds().at(1)) + "/fd";
  for (const auto& fd : std::filesystem::directory_iterator(fds)) {
    held[fd.path().filename()] = std::filesystem::read_symlink(fd.path()).string();
  }
  EXPECT_THAT(held, ElementsAre(Pair("0", StartsWith("pipe:")), Pair("1", StartsWith("pipe:")),
                                Pair("2", "/dev/null")));
  for (std::size_t victim : {0u, 2u}) {  // the first program, then the last
    auto before = echoing->processIds();
    ASSERT_EQ(::kill(before.at(victim), SIGKILL), 0);
    auto answer = translate(*echoing, "after the kill");
    ASSERT_TRUE(answer.ok()) << answer.error().description;
    EXPECT_EQ(answer.value(), "after the kill");
    EXPECT_THAT(before, Each(ResultOf(processExists, false))) << "left behind";
  }
}

// The waiting translation gets a cancellation and the pipeline, whose stream could no longer be
// trusted, ends, as does every later request.
TEST_F(ApertiumSessionTest, cancellingEndsTheTranslationInFlightAndItsPrograms) {
  auto waiting = session(silent);
  auto result = std::make_shared<std::optional<Expected<std::string>>>();
  asio::co_spawn(io, storeResult(waiting->translate("Hello"), result), asio::detached);
  io.poll();
  auto pids = waiting->processIds();
  ASSERT_THAT(pids, SizeIs(2));
  waiting->cancel();
  runUntil(io, [&] { return result->has_value(); });
  ASSERT_TRUE(*result && !(*result)->ok());
  EXPECT_EQ((*result)->error().domain, cancelledError().domain);
  EXPECT_THAT(pids, Each(ResultOf(processExists, false))) << "left behind";
  EXPECT_FALSE(translate(*waiting, "again").ok());
  EXPECT_THAT(waiting->processIds(), IsEmpty());
}

// A new pipeline must answer an empty probe within the start time; later segments get the answer
// time and a share per kilobyte.
TEST_F(ApertiumSessionTest, aPipelineThatStopsAnsweringIsEndedAfterItsTimeLimit) {
  SessionOptions options{
      .answerTimeout = 10s, .startTimeout = 5s, .timeoutPerKilobyte = 1024s, .mode = {}};
  // A second a byte: the probe is 3 bytes encoded, "Hello" 8.
  auto answersOnce = folder.add("once-once", "sed -u '2,$d'");
  for (const auto& [mode, limits] :
       {std::pair{silent, std::vector<std::chrono::nanoseconds>{8s}},
        {answersOnce, std::vector<std::chrono::nanoseconds>{8s, 18s}}}) {
    auto waiting = session(mode, options);
    const auto firstSleep = static_cast<long>(clock->sleepRequests().size());
    auto result = std::make_shared<std::optional<Expected<std::string>>>();
    asio::co_spawn(io, storeResult(waiting->translate("Hello"), result), asio::detached);
    runUntil(io, [&] { return clock->sleepRequests().size() == firstSleep + limits.size(); });
    auto pids = waiting->processIds();
    EXPECT_EQ(
        std::vector(clock->sleepRequests().begin() + firstSleep, clock->sleepRequests().end()),
        limits);
    clock->advance(limits.back());
    runUntil(io, [&] { return result->has_value(); });
    ASSERT_TRUE(*result && !(*result)->ok());
    EXPECT_TRUE(hasCode((*result)->error(), ErrorCode::timedOut));
    EXPECT_THAT(pids, Each(ResultOf(processExists, false))) << "left behind";
  }
}

// A direction whose probe comes back unchanged passes its words through; between variants of one
// language the probe proves nothing and is not sent.
TEST_F(ApertiumSessionTest, preparingFailsClearlyWithoutAUsableMode) {
  const std::pair<std::optional<std::filesystem::path>, std::optional<ErrorCode>> rows[] = {
      {std::nullopt, ErrorCode::notInstalled},
      {folder.add("eng-spa", "sed -u ''"), ErrorCode::untranslated},
      {folder.add("eng-eng_US", "sed -u ''"), std::nullopt},
  };
  for (const auto& [mode, code] : rows) {
    auto status = runUntilDone(io, session(mode)->prepareTranslation()).value_or(cancelledError());
    if (code) {
      ASSERT_FALSE(status.ok());
      EXPECT_TRUE(hasCode(status.error(), *code)) << status.error().description;
    } else {
      EXPECT_TRUE(status.ok()) << status.error().description;
    }
  }
}

}  // namespace
}  // namespace quelvar::apertium
