// One live session with the speech host for one audio file: start, stream, settle, stop.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>

#include "caption/AudioStream.hpp"
#include "caption/Display.hpp"
#include "caption/HostProcess.hpp"
#include "caption/SegmentLog.hpp"

namespace quelvar::caption {

struct SessionSettings {
  std::string source;
  std::string target;
  double speed = 1.0;  // the fastest pace, in multiples of real time
  std::int64_t chunkMs = 250;
  std::chrono::milliseconds readyTimeout{30000};
  std::chrono::milliseconds replyTimeout{10000};
  // After the audio, captions settle once none came for `quiet`, but the wait never exceeds
  // `settleLimit`. A final caption is no sign that the host is done: on a busy machine its
  // recogniser may still be working through the last sentences, which a stop would drop.
  std::chrono::milliseconds quiet{4000};
  std::chrono::milliseconds settleLimit{20000};
  std::chrono::milliseconds exitTimeout{5000};
};

enum class SessionEnd {
  complete,     // all audio streamed, the host ended cleanly
  incomplete,   // it ran to the end, but audio or captions were lost on the way
  notStarted,   // the host answered "start" with an error
  failed,       // the host failed or vanished part-way
  interrupted,  // the user asked to stop
};

class CaptionSession {
 public:
  // `interrupt` becomes non-zero when the user asks to stop (Ctrl-C).
  CaptionSession(HostProcess& host, AudioStream& audio, Display& display, SegmentLog& log,
                 SessionSettings settings, const volatile std::sig_atomic_t& interrupt);

  SessionEnd run();

  // Whether the host answered "start" with "ready".
  bool started() const { return startAnswer_ == "ready"; }

  // How far into the audio the session has come, trailing silence included.
  std::int64_t positionMs() const { return positionFrames_ * 1000 / kWireFramesPerSecond; }

 private:
  enum class Wait { done, timeout, interrupted, hostGone };
  using Clock = std::chrono::steady_clock;

  bool start();
  bool stream();
  void settle();
  bool stop();

  bool sendChunk(const std::vector<std::int16_t>& samples);
  // Handles the host's messages until `until` says stop or the deadline passes.
  template <class Done>
  Wait pump(Clock::time_point deadline, Done until);
  void handle(const nlohmann::json& message);
  void hostGone(HostProcess::Received::Kind kind);

  static constexpr std::int64_t kWireFramesPerSecond = 16000;

  HostProcess& host_;
  AudioStream& audio_;
  Display& display_;
  SegmentLog& log_;
  SessionSettings settings_;
  const volatile std::sig_atomic_t& interrupt_;

  std::int64_t sequence_ = 0;
  std::int64_t positionFrames_ = 0;
  double speed_ = 1.0;
  // What the host said since the last message of this client: the replies of one "pcm".
  bool pong_ = false;
  bool overloaded_ = false;
  std::string refusal_;
  std::string startAnswer_;  // "ready" or the error code that answered "start"
  std::string startDetail_;
  bool lost_ = false;
  bool fatal_ = false;
  bool hostGone_ = false;
  bool vanished_ = false;  // gone before this client asked it to stop
  bool stopping_ = false;
  Clock::time_point lastCaption_;
};

}  // namespace quelvar::caption
