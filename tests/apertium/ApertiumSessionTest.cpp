// Sessions over stand-in modes made of ordinary programs that speak NUL-terminated records:
// "sed -z -u ''" echoes every segment, "tail -z -f /dev/null" never answers.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include "ApertiumTestSupport.hpp"
#include "fakes/FakeClock.hpp"
#include "platform/async/Task.hpp"
#include "platform/linux/apertium/ApertiumError.hpp"
#include "platform/linux/apertium/ApertiumSession.hpp"

namespace quelvar::apertium {
namespace {

using namespace std::chrono_literals;
using testing::childProcesses;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;
using testing::openDescriptors;
using ::testing::Pair;
using testing::processExists;
using testing::runUntil;
using testing::runUntilDone;
using ::testing::SizeIs;
using ::testing::StartsWith;

struct ApertiumSessionTest : ::testing::Test {
  asio::io_context io;
  std::shared_ptr<quelvar::testing::FakeClock> clock =
      std::make_shared<quelvar::testing::FakeClock>(io.get_executor());
  testing::ModeFolder folder;
  std::filesystem::path echo = folder.add("echo-echo", "sed -u '' | sed -u '' | sed -u ''");
  std::filesystem::path silent = folder.add("silent-silent", "sed -u '' | tail -f /dev/null");

  std::shared_ptr<ApertiumSession> session(std::optional<std::filesystem::path> mode,
                                           SessionOptions options = {}) {
    return std::make_shared<ApertiumSession>(io.get_executor(), clock, std::move(mode), options);
  }
  Status prepare(ApertiumSession& session) {
    return runUntilDone(io, session.prepareTranslation()).value_or(cancelledError());
  }
  Expected<std::string> translate(ApertiumSession& session, const std::string& text) {
    return runUntilDone(io, session.translate(text)).value_or(cancelledError());
  }
  // Starts a translation and runs until it waits for the pipeline.
  std::shared_ptr<std::optional<Expected<std::string>>> startTranslation(ApertiumSession& session) {
    auto result = std::make_shared<std::optional<Expected<std::string>>>();
    asio::co_spawn(io, testing::storeResult(session.translate("Hello"), result), asio::detached);
    io.restart();
    io.poll();
    return result;
  }
  void expectAllEnded(const std::vector<pid_t>& pids) {
    for (pid_t pid : pids) {
      EXPECT_FALSE(processExists(pid)) << "left behind: " << pid;
    }
  }
};

TEST_F(ApertiumSessionTest, aKilledPipelineIsStartedAgainByTheNextRequest) {
  auto echoing = session(echo);
  ASSERT_TRUE(prepare(*echoing).ok());
  for (std::size_t victim : {0u, 2u}) {  // the first program, then the last
    auto before = echoing->processIds();
    ASSERT_EQ(::kill(before.at(victim), SIGKILL), 0);
    auto answer = translate(*echoing, "after the kill");
    ASSERT_TRUE(answer.ok()) << answer.error().description;
    EXPECT_EQ(answer.value(), "after the kill");
    EXPECT_NE(echoing->processIds(), before);
    expectAllEnded(before);
  }
}

// Whether the session or the caller's task is cancelled, the waiting translation gets a
// cancellation and the pipeline, whose stream could no longer be trusted, ends.
TEST_F(ApertiumSessionTest, cancellingEndsTheTranslationInFlightAndItsPrograms) {
  for (const bool bySession : {true, false}) {
    auto waiting = session(silent);
    std::optional<Expected<std::string>> result;
    auto task = Task::spawn(io.get_executor(), [&](Task&) -> asio::awaitable<void> {
      result.emplace(co_await waiting->translate("Hello"));
    });
    io.restart();
    io.poll();
    auto pids = waiting->processIds();
    ASSERT_THAT(pids, SizeIs(2));
    bySession ? waiting->cancel() : task->cancel();
    runUntil(io, [&] { return task->isDone(); });
    ASSERT_TRUE(result);
    ASSERT_FALSE(result->ok());
    EXPECT_EQ(result->error().domain, cancelledError().domain);
    expectAllEnded(pids);
    if (bySession) {  // and every later request
      EXPECT_FALSE(translate(*waiting, "again").ok());
      EXPECT_THAT(waiting->processIds(), IsEmpty());
    }
  }
}

// A new pipeline must answer an empty probe within the start time; later segments get the answer
// time and a share per kilobyte.
TEST_F(ApertiumSessionTest, aPipelineThatStopsAnsweringIsEndedAfterItsTimeLimit) {
  SessionOptions options;
  options.answerTimeout = 10s;
  options.startTimeout = 5s;
  options.timeoutPerKilobyte = 1024s;  // a second a byte: the probe is 3 bytes encoded, "Hello" 8
  auto answersOnce = folder.add("once-once", "sed -u '2,$d'");
  for (const auto& [mode, limits] :
       {std::pair{silent, std::vector<std::chrono::nanoseconds>{8s}},
        {answersOnce, std::vector<std::chrono::nanoseconds>{8s, 18s}}}) {
    auto waiting = session(mode, options);
    auto firstSleep = clock->sleepRequests().size();
    auto result = startTranslation(*waiting);
    runUntil(io, [&] { return clock->sleepRequests().size() == firstSleep + limits.size(); });
    auto pids = waiting->processIds();
    ASSERT_THAT(pids, Not(IsEmpty()));
    EXPECT_EQ(std::vector(clock->sleepRequests().begin() + static_cast<long>(firstSleep),
                          clock->sleepRequests().end()),
              limits);
    clock->advance(limits.back() - 1ns);
    io.poll();
    EXPECT_FALSE(*result);
    clock->advance(1ns);
    runUntil(io, [&] { return result->has_value(); });
    ASSERT_TRUE(*result);
    ASSERT_FALSE((*result)->ok());
    EXPECT_TRUE(hasCode((*result)->error(), ErrorCode::timedOut));
    expectAllEnded(pids);
  }
}

TEST_F(ApertiumSessionTest, aDirectionThatReturnsItsProbeUnchangedDoesNotPrepare) {
  auto status = prepare(*session(folder.add("eng-spa", "sed -u ''")));
  ASSERT_FALSE(status.ok());
  EXPECT_TRUE(hasCode(status.error(), ErrorCode::untranslated)) << status.error().description;
  EXPECT_THAT(childProcesses(), IsEmpty());
  // Between variants of one language the probe proves nothing, and is not sent.
  EXPECT_TRUE(prepare(*session(folder.add("eng-eng_US", "sed -u ''"))).ok());
}

TEST_F(ApertiumSessionTest, preparingFailsClearlyWithoutAUsableMode) {
  const std::pair<std::optional<std::filesystem::path>, ErrorCode> rows[] = {
      {std::nullopt, ErrorCode::notInstalled},
      {folder.path() / "missing.mode", ErrorCode::badMode},
      {folder.add("shell-shell", "sed -u '' > /tmp/out"), ErrorCode::badMode},
      {folder.add("gone-gone", "sed -u '' | quelvar-no-such-program"), ErrorCode::startFailed},
      {folder.add("dies-dies", "sed -u '' | false"), ErrorCode::broken},
  };
  for (const auto& [mode, code] : rows) {
    auto failing = session(mode);
    auto status = prepare(*failing);
    ASSERT_FALSE(status.ok());
    EXPECT_TRUE(hasCode(status.error(), code)) << status.error().description;
    EXPECT_FALSE(translate(*failing, "text").ok());
  }
  EXPECT_THAT(childProcesses(), IsEmpty());
}

TEST_F(ApertiumSessionTest, programsGetOnlyTheirPipesAndANullStandardError) {
  int inheritable = ::open("/dev/null", O_RDONLY);  // opened without O_CLOEXEC on purpose
  ASSERT_GE(inheritable, 3);
  auto echoing = session(echo);
  ASSERT_TRUE(prepare(*echoing).ok());
  ::close(inheritable);
  for (pid_t pid : echoing->processIds()) {
    EXPECT_THAT(openDescriptors(pid),
                ElementsAre(Pair(0, StartsWith("pipe:")), Pair(1, StartsWith("pipe:")),
                            Pair(2, "/dev/null")))
        << "program " << pid;
  }
}

// Every segment of a session goes through the same programs, and no program or descriptor
// outlives its session, even when some programs die on their own first.
TEST_F(ApertiumSessionTest, segmentsRoundTripThroughOnePipelineThatEndsWithItsSession) {
  ASSERT_TRUE(translate(*session(echo), "warm-up").ok());  // the reactor opens its own descriptors
  auto descriptorsBefore = openDescriptors(::getpid()).size();
  std::vector<pid_t> started;
  for (int i = 0; i < 20; ++i) {
    auto echoing = session(echo);
    ASSERT_TRUE(prepare(*echoing).ok());
    auto pids = echoing->processIds();
    ASSERT_THAT(pids, SizeIs(3));
    for (std::string text : {"Hello world", "  kept whitespace\n", "^ $ [ ] { } / \\ @ < > * # ~",
                             "", " \t ", "ünï ✓"}) {
      text += text.empty() ? "" : std::to_string(i);
      auto answer = translate(*echoing, text);
      ASSERT_TRUE(answer.ok()) << answer.error().description;
      EXPECT_EQ(answer.value(), text);
    }
    EXPECT_EQ(echoing->processIds(), pids);
    started.insert(started.end(), pids.begin(), pids.end());
    if (i % 3 == 0) {
      ::kill(pids.front(), SIGKILL);
    }
  }
  EXPECT_THAT(childProcesses(), IsEmpty());
  expectAllEnded(started);
  EXPECT_EQ(openDescriptors(::getpid()).size(), descriptorsBefore);
}

}  // namespace
}  // namespace quelvar::apertium
