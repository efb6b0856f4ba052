// A pipeline of programs on its own: how much of an answer it takes, and that its programs do not
// outlive the process that started them.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ApertiumTestSupport.hpp"
#include "platform/linux/apertium/ApertiumError.hpp"
#include "platform/linux/apertium/ApertiumPipeline.hpp"

namespace quelvar::apertium {
namespace {

struct Exchange {
  Expected<std::string> answer;
  bool running;
};

// One segment through a pipeline of one shell script, which reads the segment first.
Exchange exchangeThrough(const std::string& script) {
  asio::io_context io;
  auto pipeline =
      ApertiumPipeline::start(io.get_executor(), {{"sh", "-c", "head -c 1 >/dev/null; " + script}});
  if (!pipeline.ok()) {
    return {pipeline.error(), false};
  }
  auto answer = testing::runUntilDone(io, pipeline.value()->exchange("Hello"));
  return {answer.value_or(cancelledError()), pipeline.value()->isRunning()};
}

// A stream gone wrong may answer without end, or more than once: its answers could no longer be
// matched to segments, so the pipeline stops, and megabytes for a word are refused.
TEST(ApertiumPipeline, anAnswerOfMegabytesOrASecondAnswerStopsThePipeline) {
  auto huge = exchangeThrough("head -c 3000000 /dev/zero | tr '\\0' x; head -c 1 /dev/zero");
  ASSERT_FALSE(huge.answer.ok()) << huge.answer.value().size() << " bytes taken";
  EXPECT_TRUE(hasCode(huge.answer.error(), ErrorCode::oversized))
      << huge.answer.error().description;
  EXPECT_FALSE(huge.running);

  auto twice = exchangeThrough("printf 'a\\0b\\0'; exec sleep 60");
  ASSERT_TRUE(twice.answer.ok()) << twice.answer.error().description;
  EXPECT_EQ(twice.answer.value(), "a");
  EXPECT_FALSE(twice.running);
}

// Waits for a process that is not our child to end, without polling in a sleep loop.
bool endsWithin(pid_t pid, int milliseconds) {
  int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (fd < 0) {
    return errno == ESRCH;  // already gone
  }
  pollfd wait{fd, POLLIN, 0};
  int ready = ::poll(&wait, 1, milliseconds);
  ::close(fd);
  return ready == 1;
}

// The programs read nothing and never write, so neither the end of their input nor a closed
// output ends them: only the death signal their parent arms does.
TEST(ApertiumPipeline, programsDieWhenTheProcessThatStartedThemIsKilled) {
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  pid_t host = ::fork();
  ASSERT_GE(host, 0);
  if (host == 0) {
    // The stand-in host: starts a pipeline, reports its programs, then waits to be killed.
    ::close(report[0]);
    asio::io_context io;
    auto pipeline =
        ApertiumPipeline::start(io.get_executor(), {{"sleep", "600"}, {"sleep", "600"}});
    if (pipeline.ok()) {
      auto pids = pipeline.value()->processIds();
      [[maybe_unused]] auto n = ::write(report[1], pids.data(), pids.size() * sizeof(pid_t));
    }
    ::close(report[1]);
    ::pause();
    ::_exit(0);
  }
  ::close(report[1]);
  pid_t pids[2] = {0, 0};
  ssize_t got = ::read(report[0], pids, sizeof pids);
  ::close(report[0]);
  ASSERT_EQ(got, static_cast<ssize_t>(sizeof pids));
  ASSERT_TRUE(testing::processExists(pids[0]));

  ::kill(host, SIGKILL);
  ::waitpid(host, nullptr, 0);
  for (pid_t pid : pids) {
    if (!endsWithin(pid, 10000)) {
      ADD_FAILURE() << "survived its parent: " << pid;
      ::kill(pid, SIGKILL);
    }
  }
}

}  // namespace
}  // namespace quelvar::apertium
