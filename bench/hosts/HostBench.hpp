// Shared by the host benchmarks: timing, figures of a running process, synthesised speech, and a
// reader that time-stamps every message a host writes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "HostProcess.hpp"

namespace quelvar::bench {

using Clock = std::chrono::steady_clock;
using Samples = std::vector<std::int16_t>;
using e2e::HostProcess;

constexpr int kSampleRate = 16000;

// Ends the benchmark with a message when a check fails.
void require(bool condition, const std::string& message);

double millisBetween(Clock::time_point from, Clock::time_point to);
double millisSince(Clock::time_point from);

struct Summary {
  double median = 0, min = 0, max = 0, mean = 0;
  std::size_t count = 0;
};
Summary summarise(std::vector<double> values);
// "median 12.3 ms (min 10.1, max 15.0, n 5)"
std::string describe(const Summary& summary, const char* unit = "ms");

// A field of /proc/<pid>/status in kB (VmHWM, VmRSS, Threads as a count), -1 when unreadable.
long procStatus(pid_t pid, const std::string& key);
// Processor time the process has used (user and system, all threads), in milliseconds.
double cpuMillis(pid_t pid);
// Processor time of the process's children that it has waited for, in milliseconds.
double reapedChildrenCpuMillis(pid_t pid);
// Processor time of each thread of the process, in milliseconds, by thread id.
std::map<pid_t, double> threadCpuMillis(pid_t pid);
// Open descriptors and live child processes (whose parent is pid) right now.
int openDescriptors(pid_t pid);
std::vector<pid_t> childProcesses(pid_t pid);
// VmRSS of the children together, in kB.
long childrenResident(pid_t pid);

// English speech spoken by espeak-ng, as 16000 Hz 16-bit mono; empty when the tools are missing.
Samples synthesise(const std::string& text);
// The raw 16-bit samples a shell command writes; empty when it fails.
Samples commandOutput(const std::string& command);
Samples silence(double seconds);
// Very quiet noise, so that "silence" is not an exact run of zeros that nothing real sends.
Samples hush(double seconds);
void append(Samples& to, const Samples& more);
// Where the speech ends: one past the last sample louder than a whisper.
std::size_t speechEnd(const Samples& audio, std::size_t from, std::size_t to);

// The body of one "pcm" message.
std::string pcmBody(const Samples& audio, std::size_t at, std::size_t count, std::int64_t sequence);
std::string requestBody(const nlohmann::json& message);

struct Event {
  Clock::time_point at;
  nlohmann::json message;
};

// Reads a host's standard output on its own thread until it ends, so that writing to the host
// never waits on its output, and records when each message arrived.
class EventReader {
 public:
  explicit EventReader(HostProcess& host);
  // Waits for the reader thread: close the host's input (or let it die) first.
  ~EventReader();
  EventReader(const EventReader&) = delete;
  EventReader& operator=(const EventReader&) = delete;

  // The first event at or after `cursor` that `match` accepts; the cursor moves past it.
  // Nothing when the host's output ended or `patience` ran out.
  std::optional<Event> waitFor(std::size_t& cursor,
                               const std::function<bool(const nlohmann::json&)>& match,
                               std::chrono::milliseconds patience = std::chrono::seconds(20));
  std::optional<Event> waitForType(std::size_t& cursor, const std::string& type,
                                   std::chrono::milliseconds patience = std::chrono::seconds(20));
  std::vector<Event> events() const;
  std::size_t size() const;
  // Error events seen so far, by code.
  std::vector<std::string> errors() const;
  void join();

 private:
  void run();

  HostProcess& host_;
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Event> events_;
  bool ended_ = false;
  std::thread thread_;
};

}  // namespace quelvar::bench
