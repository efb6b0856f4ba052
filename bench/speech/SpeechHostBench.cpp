// Message round trips over real pipes: the speech host against a minimal echo host, and the cost
// of a one-second "pcm" message including its transport.
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

#include "common/Posix.hpp"

namespace {

using quelvar::Child;
using quelvar::FileDescriptor;
using quelvar::Pipe;
using quelvar::SpawnOptions;
using quelvar::writeAll;

std::string frame(const std::string& body) {
  const auto length = static_cast<std::uint32_t>(body.size());
  std::string bytes(4, '\0');
  std::memcpy(bytes.data(), &length, 4);  // little-endian machines only, like the hosts
  return bytes + body;
}

bool readAll(int fd, char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t got = ::read(fd, data, size);
    if (got <= 0) {
      return false;
    }
    data += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

// The reference: what a native messaging host written in plain C at least has to do. It reads
// one frame with exact reads and answers it with one fixed frame. Runs in a forked child.
[[noreturn]] void echoHost(int in, int out) {
  static const char kPong[] = "\x0f\0\0\0{\"type\":\"pong\"}";
  char body[65536];
  for (;;) {
    std::uint32_t length = 0;
    if (!readAll(in, reinterpret_cast<char*>(&length), 4) || length - 1 >= sizeof body ||
        !readAll(in, body, length) || writeAll(out, {kPong, sizeof kPong - 1})) {
      ::_exit(0);
    }
  }
}

// A host process with its standard input and output on pipes.
class Host {
 public:
  // Starts the speech host, or the echo host when `program` is empty.
  explicit Host(const char* program) {
    std::error_code error;
    Pipe in = quelvar::makePipe(error);
    Pipe out = error ? Pipe() : quelvar::makePipe(error);
    if (error) {
      std::abort();
    }
    if (program) {
      SpawnOptions options;
      options.argv = {program};
      options.descriptors = {in.read.get(), out.write.get(), STDERR_FILENO};
      child_ = spawn(options, error);
      if (error) {
        std::abort();
      }
    } else {
      echo_ = ::fork();
      if (echo_ == 0) {
        in.write.reset();  // or the child would never see the end of its own input
        out.read.reset();
        echoHost(in.read.get(), out.write.get());
      }
    }
    input_ = std::move(in.write);
    output_ = std::move(out.read);
  }
  ~Host() {
    input_.reset();
    std::string rest(65536, '\0');
    while (::read(output_.get(), rest.data(), rest.size()) > 0) {
    }
    if (echo_ > 0) {
      quelvar::waitOrKill(echo_, std::chrono::minutes(1));
    }
    child_.finish(std::chrono::minutes(1));
  }

  // Sends one frame and reads the one reply; false if the host failed.
  bool roundTrip(const std::string& request, std::string& reply) {
    std::uint32_t length = 0;
    if (writeAll(input_.get(), request) ||
        !readAll(output_.get(), reinterpret_cast<char*>(&length), 4)) {
      return false;
    }
    reply.resize(length);
    return readAll(output_.get(), reply.data(), length);
  }

 private:
  Child child_;
  pid_t echo_ = -1;  // the echo host, forked rather than started as a program
  FileDescriptor input_;
  FileDescriptor output_;
};

void runRoundTrips(benchmark::State& state, const char* program, const std::string& request) {
  ::signal(SIGPIPE, SIG_IGN);
  Host host(program);
  std::string reply;
  for (auto _ : state) {
    if (!host.roundTrip(request, reply)) {
      state.SkipWithError("the host stopped answering");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

const std::string kPing = frame(R"({"version":1,"type":"ping"})");

void BM_EchoHostRoundTrip(benchmark::State& state) {
  runRoundTrips(state, nullptr, kPing);
}
void BM_SpeechHostPingRoundTrip(benchmark::State& state) {
  runRoundTrips(state, QUELVAR_SPEECH_BINARY, kPing);
}

// One second of audio, refused only for its sequence number: parse, decode and validate in full.
void BM_SpeechHostOneSecondPcmRoundTrip(benchmark::State& state) {
  const std::string audio(32000 / 3 * 4 + 4, 'A');  // 32000 zero bytes, padded
  std::string data = audio.substr(0, audio.size() - 4) + "AAA=";
  const std::string request =
      frame(R"({"version":1,"type":"pcm","sequence":5,"data":")" + data + "\"}");
  runRoundTrips(state, QUELVAR_SPEECH_BINARY, request);
}

BENCHMARK(BM_EchoHostRoundTrip)->UseRealTime();
BENCHMARK(BM_SpeechHostPingRoundTrip)->UseRealTime();
BENCHMARK(BM_SpeechHostOneSecondPcmRoundTrip)->UseRealTime();

// Round trip times of one host, one sample per message.
void sampleRoundTrips(Host& host, int count, std::vector<double>& micros) {
  std::string reply;
  for (int i = 0; i < count; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (!host.roundTrip(kPing, reply)) {
      std::fprintf(stderr, "the host stopped answering\n");
      std::exit(1);
    }
    micros.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
  }
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  double one = 0, five = 0, fifteen = 0;
  in >> one >> five >> fifteen;
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", one, five, fifteen);
  return text;
}

// The transport bar's own figure: the speech host's "ping" round trip over the echo host's, in
// alternating blocks, so that a change of load during the run falls on both alike. A second
// build of the speech host (--baseline=PATH) is measured in the same blocks for a before/after.
void reportPingRatio(const char* baseline, const char* cpu) {
  ::signal(SIGPIPE, SIG_IGN);
  Host echo(nullptr);
  Host speech(QUELVAR_SPEECH_BINARY);
  std::vector<double> echoTimes, speechTimes, baselineTimes;
  const std::string loadBefore = loadAverage();
  {
    Host before(baseline ? baseline : QUELVAR_SPEECH_BINARY);
    for (int block = 0; block < 40; ++block) {
      sampleRoundTrips(echo, 250, echoTimes);
      sampleRoundTrips(speech, 250, speechTimes);
      if (baseline) {
        sampleRoundTrips(before, 250, baselineTimes);
      }
    }
  }
  const double echoMedian = median(echoTimes);
  const double speechMedian = median(speechTimes);
  std::printf("\n\"ping\" round trip, median of %zu each (load %s before, %s after; %s%s):\n",
              echoTimes.size(), loadBefore.c_str(), loadAverage().c_str(),
              cpu ? "pinned to processor " : "not pinned", cpu ? cpu : "");
  std::printf("  speech host %.1f us / echo host %.1f us = %.2f (bar: at most 1.25)\n",
              speechMedian, echoMedian, speechMedian / echoMedian);
  if (baseline) {
    const double baselineMedian = median(baselineTimes);
    std::printf("  baseline %s: %.1f us = %.2f\n", baseline, baselineMedian,
                baselineMedian / echoMedian);
  }
}

// The value of `--name=value` among the arguments, taken out of them so that Google Benchmark
// does not refuse it; null when absent.
const char* takeOption(int& argc, char** argv, std::string_view name) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument(argv[i]);
    if (argument.starts_with(name) && argument.substr(name.size()).starts_with('=')) {
      const char* value = argv[i] + name.size() + 1;
      std::copy(argv + i + 1, argv + argc + 1, argv + i);
      --argc;
      return value;
    }
  }
  return nullptr;
}

// Keeps this process, and the hosts it starts (they inherit the mask), on one processor. On a
// virtual machine a process woken on an idle processor pays for that processor's wake-up, which
// can cost more than a round trip's own work; on one processor every wake-up is a switch between
// processes that are ready to run, so the round trips measure the hosts' work.
void pinToProcessor(const char* cpu) {
  char* end = nullptr;
  const long number = std::strtol(cpu, &end, 10);
  cpu_set_t set;
  CPU_ZERO(&set);
  if (end == cpu || *end != '\0' || number < 0 || number >= CPU_SETSIZE) {
    std::fprintf(stderr, "--cpu takes a processor number, not \"%s\"\n", cpu);
    std::exit(2);
  }
  CPU_SET(static_cast<int>(number), &set);
  if (::sched_setaffinity(0, sizeof set, &set) != 0) {
    std::fprintf(stderr, "cannot pin to processor %ld: %s\n", number, std::strerror(errno));
    std::exit(2);
  }
  std::printf("Pinned to processor %ld: the benchmark and every host it starts run there.\n",
              number);
}

}  // namespace

int main(int argc, char** argv) {
  const char* baseline = takeOption(argc, argv, "--baseline");
  const char* cpu = takeOption(argc, argv, "--cpu");
  if (cpu) {
    pinToProcessor(cpu);
  } else {
    std::printf(
        "Not pinned: on a virtual machine the figures include waking idle processors "
        "(--cpu=N pins everything to one).\n");
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  reportPingRatio(baseline, cpu);
  return 0;
}
