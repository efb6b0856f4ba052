// The extension's side of a live session, for benchmarks: a running speech host, its events,
// and audio streamed as "pcm" messages at a chosen pace.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "HostBench.hpp"

namespace quelvar::bench {

class SpeechHostClient {
 public:
  explicit SpeechHostClient(const std::string& program);
  ~SpeechHostClient();
  SpeechHostClient(const SpeechHostClient&) = delete;
  SpeechHostClient& operator=(const SpeechHostClient&) = delete;

  pid_t pid() const { return process_.pid(); }
  EventReader& reader() { return reader_; }
  // Where the next wait starts looking; moves past every event waited for.
  std::size_t& cursor() { return cursor_; }

  // Round trip of one "ping", in milliseconds.
  double ping();
  // "start" to "ready", in milliseconds. Ends the benchmark with the host's error if it fails.
  double start(const std::string& source, const std::string& target);
  void stop();
  bool send(const std::string& body) { return process_.write(e2e::frame(body)); }

  // Sends `audio` in messages of `chunk` samples, `speed` times faster than real time (0: as
  // fast as the pipes take it). `sent` learns where each message began and when it left.
  void stream(const Samples& audio, std::size_t chunk, double speed,
              const std::function<void(std::size_t at, Clock::time_point when)>& sent = {});

  // Closes the input and waits for the host to end; its exit status (or -1).
  int finish();

 private:
  HostProcess process_;
  EventReader reader_;
  std::size_t cursor_ = 0;
  std::int64_t sequence_ = 0;
  bool finished_ = false;
};

}  // namespace quelvar::bench
