// Child processes start clean whatever state the parent is in.
#include <signal.h>

#include <gtest/gtest.h>

#include "CaptionTestSupport.hpp"
#include "common/Posix.hpp"

namespace quelvar {
namespace {

// `sh -c script`, which the shell replaces by its command; what that wrote to standard output.
std::string outputOf(const std::string& script) {
  std::error_code error;
  Pipe out = makePipe(error);
  SpawnOptions options;
  options.argv = {"sh", "-c", "exec " + script};
  options.descriptors = {STDIN_FILENO, out.write.get(), STDERR_FILENO};
  Child child = spawn(options, error);
  EXPECT_FALSE(error) << error.message();
  out.write.reset();
  const std::string output =
      caption::testing::readFile("/dev/fd/" + std::to_string(out.read.get()));
  EXPECT_EQ(child.finish(std::chrono::seconds(10)).status, 0);
  return output;
}

// What this process holds that a child must not get: a blocked signal, an ignored one and a
// descriptor left open across exec (dup clears close-on-exec).
TEST(Spawn, aChildNeitherBlocksNorIgnoresSignalsNorHoldsOurDescriptors) {
  sigset_t usr1;
  sigemptyset(&usr1);
  sigaddset(&usr1, SIGUSR1);
  sigset_t mask;
  ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &usr1, &mask), 0);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction usr2 {};
  ASSERT_EQ(::sigaction(SIGUSR2, &ignore, &usr2), 0);
  const FileDescriptor inherited(::dup(STDERR_FILENO));
  EXPECT_EQ(outputOf("grep -e SigBlk -e SigIgn /proc/self/status"),
            "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n");
  EXPECT_EQ(outputOf("ls /proc/self/fd"), "0\n1\n2\n3\n");  // 3: the folder ls reads
  ::sigaction(SIGUSR2, &usr2, nullptr);
  ::pthread_sigmask(SIG_SETMASK, &mask, nullptr);
}

}  // namespace
}  // namespace quelvar
