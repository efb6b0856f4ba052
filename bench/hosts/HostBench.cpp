// Shared by the host benchmarks: timing, /proc figures, synthesised speech, the event reader.
#include "HostBench.hpp"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/Text.hpp"

namespace quelvar::bench {

void require(bool condition, const std::string& message) {
  if (!condition) {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::exit(1);
  }
}

double millisBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}
double millisSince(Clock::time_point from) {
  return millisBetween(from, Clock::now());
}

Summary summarise(std::vector<double> values) {
  Summary summary;
  if (values.empty()) {
    return summary;
  }
  std::sort(values.begin(), values.end());
  summary.count = values.size();
  summary.median = values[values.size() / 2];
  summary.min = values.front();
  summary.max = values.back();
  double sum = 0;
  for (double value : values) {
    sum += value;
  }
  summary.mean = sum / values.size();
  return summary;
}

std::string describe(const Summary& summary, const char* unit) {
  char text[160];
  std::snprintf(text, sizeof text, "median %.1f %s (min %.1f, max %.1f, n %zu)", summary.median,
                unit, summary.min, summary.max, summary.count);
  return text;
}

long procStatus(pid_t pid, const std::string& key) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(key + ":", 0) == 0) {
      return std::stol(line.substr(key.size() + 1));
    }
  }
  return -1;
}

namespace {

// Fields `first` to `last` of a /proc stat file added up, in clock ticks turned into milliseconds.
double statMillis(const std::string& path, int first, int last) {
  std::ifstream stat(path);
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // The command name may hold spaces; the fields after it are plain numbers.
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) {
    return -1;
  }
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  double ticks = 0;
  // The state, field 3, is the first one after the name.
  for (int index = 3; index <= last && fields >> field; ++index) {
    if (index >= first) {
      ticks += std::stod(field);
    }
  }
  return ticks * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::string procPath(pid_t pid) {
  return "/proc/" + std::to_string(pid);
}

}  // namespace

// utime and stime; cutime and cstime.
double cpuMillis(pid_t pid) {
  return statMillis(procPath(pid) + "/stat", 14, 15);
}
double reapedChildrenCpuMillis(pid_t pid) {
  return statMillis(procPath(pid) + "/stat", 16, 17);
}

std::map<pid_t, double> threadCpuMillis(pid_t pid) {
  std::map<pid_t, double> threads;
  DIR* dir = ::opendir((procPath(pid) + "/task").c_str());
  if (dir == nullptr) {
    return threads;
  }
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') {
      const std::string path = procPath(pid) + "/task/" + entry->d_name + "/stat";
      threads[std::atoi(entry->d_name)] = statMillis(path, 14, 15);
    }
  }
  ::closedir(dir);
  return threads;
}

int openDescriptors(pid_t pid) {
  DIR* dir = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
  if (dir == nullptr) {
    return -1;
  }
  int count = 0;
  while (const dirent* entry = ::readdir(dir)) {
    count += entry->d_name[0] != '.' ? 1 : 0;
  }
  ::closedir(dir);
  return count;
}

std::vector<pid_t> childProcesses(pid_t pid) {
  std::vector<pid_t> children;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = ::opendir(tasks.c_str());
  if (dir == nullptr) {
    return children;
  }
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') {
      continue;
    }
    std::ifstream list(tasks + "/" + entry->d_name + "/children");
    for (pid_t child; list >> child;) {
      children.push_back(child);
    }
  }
  ::closedir(dir);
  return children;
}

long childrenResident(pid_t pid) {
  long total = 0;
  for (pid_t child : childProcesses(pid)) {
    total += std::max(0L, procStatus(child, "VmRSS"));
  }
  return total;
}

Samples synthesise(const std::string& text) {
  return commandOutput("espeak-ng -v en-us+klatt4 -s 160 --stdout '" + text +
                       "' 2>/dev/null | sox -D -q -t wav - -r 16000 -c 1 -b 16 "
                       "-e signed-integer -t raw - vol 0.8 2>/dev/null");
}

Samples commandOutput(const std::string& command) {
  Samples samples;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return samples;
  }
  std::int16_t block[4096];
  while (const std::size_t count = std::fread(block, sizeof(std::int16_t), 4096, pipe)) {
    samples.insert(samples.end(), block, block + count);
  }
  return ::pclose(pipe) == 0 ? samples : Samples{};
}

Samples silence(double seconds) {
  return Samples(static_cast<std::size_t>(seconds * kSampleRate));
}

Samples hush(double seconds) {
  Samples samples = silence(seconds);
  std::uint32_t state = 12345;
  for (auto& sample : samples) {
    state = state * 1664525U + 1013904223U;
    sample = static_cast<std::int16_t>(static_cast<int>(state >> 29U) - 4);
  }
  return samples;
}

void append(Samples& to, const Samples& more) {
  to.insert(to.end(), more.begin(), more.end());
}

std::size_t speechEnd(const Samples& audio, std::size_t from, std::size_t to) {
  while (to > from && std::abs(audio[to - 1]) < 300) {
    --to;
  }
  return to;
}

std::string pcmBody(const Samples& audio, std::size_t at, std::size_t count,
                    std::int64_t sequence) {
  const std::string_view bytes(reinterpret_cast<const char*>(audio.data() + at),
                               count * sizeof(std::int16_t));
  return R"({"version":1,"type":"pcm","sequence":)" + std::to_string(sequence) + R"(,"data":")" +
         encodeBase64(bytes) + "\"}";
}

std::string requestBody(const nlohmann::json& message) {
  return message.dump();
}

EventReader::EventReader(HostProcess& host) : host_(host), thread_([this] { run(); }) {}

EventReader::~EventReader() {
  join();
}

void EventReader::join() {
  if (thread_.joinable()) {
    thread_.join();
  }
}

void EventReader::run() {
  for (;;) {
    const auto asked = Clock::now();
    std::optional<std::string> body = host_.readBody();
    if (!body) {
      // A quick nothing is the end of the output; a slow one is only a quiet host.
      if (Clock::now() - asked < e2e::kPatience - std::chrono::milliseconds(500)) {
        break;
      }
      continue;
    }
    Event event{Clock::now(), nlohmann::json::parse(*body, nullptr, false)};
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
    arrived_.notify_all();
  }
  std::lock_guard lock(mutex_);
  ended_ = true;
  arrived_.notify_all();
}

std::optional<Event> EventReader::waitFor(std::size_t& cursor,
                                          const std::function<bool(const nlohmann::json&)>& match,
                                          std::chrono::milliseconds patience) {
  const auto deadline = Clock::now() + patience;
  std::unique_lock lock(mutex_);
  for (;;) {
    for (; cursor < events_.size(); ++cursor) {
      if (match(events_[cursor].message)) {
        return events_[cursor++];
      }
    }
    if (ended_ || arrived_.wait_until(lock, deadline) == std::cv_status::timeout) {
      if (cursor == events_.size()) {
        return std::nullopt;
      }
    }
  }
}

std::optional<Event> EventReader::waitForType(std::size_t& cursor, const std::string& type,
                                              std::chrono::milliseconds patience) {
  return waitFor(
      cursor, [&](const nlohmann::json& message) { return message.value("type", "") == type; },
      patience);
}

std::vector<Event> EventReader::events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::size_t EventReader::size() const {
  std::lock_guard lock(mutex_);
  return events_.size();
}

std::vector<std::string> EventReader::errors() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> codes;
  for (const Event& event : events_) {
    if (event.message.value("type", "") == "error") {
      codes.push_back(event.message.value("error", ""));
    }
  }
  return codes;
}

}  // namespace quelvar::bench
