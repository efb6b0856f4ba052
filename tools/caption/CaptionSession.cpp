// One live session with the speech host for one audio file: start, stream, settle, stop.
#include "caption/CaptionSession.hpp"

#include <algorithm>

#include "caption/HostErrors.hpp"
#include "common/ErrorCodes.hpp"
#include "common/Text.hpp"

namespace quelvar::caption {
namespace {

using std::chrono::milliseconds;

// How often one chunk is offered again after the host dropped it for being behind.
constexpr int kOverloadRetries = 4;

std::string stringField(const nlohmann::json& message, const char* key) {
  const auto found = message.find(key);
  return found != message.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::string speedText(double speed) {
  char text[16];
  std::snprintf(text, sizeof text, "%gx", speed);
  return text;
}

}  // namespace

CaptionSession::CaptionSession(HostProcess& host, AudioStream& audio, Display& display,
                               SegmentLog& log, SessionSettings settings,
                               const volatile std::sig_atomic_t& interrupt)
    : host_(host),
      audio_(audio),
      display_(display),
      log_(log),
      settings_(std::move(settings)),
      interrupt_(interrupt),
      speed_(settings_.speed) {}

SessionEnd CaptionSession::run() {
  if (!start()) {
    stop();
    display_.close();
    if (interrupt_ != 0) {
      return SessionEnd::interrupted;
    }
    return startAnswer_.empty() || startAnswer_ == "ready" ? SessionEnd::failed
                                                           : SessionEnd::notStarted;
  }
  const bool streamed = stream();
  if (streamed && interrupt_ == 0) {
    settle();
  }
  const bool clean = stop();
  for (const SettledSegment& segment : log_.finish()) {
    display_.settled(segment);
  }
  display_.close();
  if (interrupt_ != 0) {
    return SessionEnd::interrupted;
  }
  if (!streamed || !clean || fatal_) {
    return SessionEnd::failed;
  }
  return lost_ ? SessionEnd::incomplete : SessionEnd::complete;
}

bool CaptionSession::start() {
  display_.status("starting the speech host (" + settings_.source + " -> " + settings_.target +
                  ")");
  if (!host_.send({{"version", 1},
                   {"type", "start"},
                   {"source", settings_.source},
                   {"target", settings_.target}})) {
    hostGone(HostProcess::Received::Kind::ended);
    return false;
  }
  const Wait wait =
      pump(Clock::now() + settings_.readyTimeout, [this] { return !startAnswer_.empty(); });
  if (wait == Wait::timeout) {
    display_.note("the speech host did not answer \"start\" in time");
  }
  if (wait != Wait::done) {
    return false;
  }
  if (startAnswer_ != "ready") {
    display_.note(
        explainStartError(startAnswer_, startDetail_, settings_.source, settings_.target));
    return false;
  }
  return true;
}

bool CaptionSession::stream() {
  const auto frames = static_cast<std::size_t>(settings_.chunkMs * kWireFramesPerSecond / 1000);
  const milliseconds chunkTime(settings_.chunkMs);
  auto sendAt = Clock::now();
  int retries = 0;
  std::vector<std::int16_t> chunk = audio_.next(frames);
  while (!chunk.empty()) {
    if (pump(sendAt, [] { return false; }) != Wait::timeout || fatal_) {
      return false;
    }
    if (!sendChunk(chunk)) {
      hostGone(HostProcess::Received::Kind::ended);  // it stopped reading: it is ending
      return false;
    }
    const Wait reply = pump(Clock::now() + settings_.replyTimeout, [this] { return pong_; });
    if (reply == Wait::timeout) {
      display_.note("the speech host stopped answering");
    }
    if (reply != Wait::done || fatal_) {
      return false;
    }
    const std::string at = clockTime(positionMs());
    if (overloaded_) {
      if (speed_ > 1.0) {
        speed_ = std::max(1.0, speed_ / 2.0);
        display_.note("the speech host fell behind at " + at + "; slowing down to " +
                      speedText(speed_) + " real time");
      }
      // The host dropped this chunk but counted its number: give the recogniser time to catch
      // up, twice as long each time (a busy machine can slow it far below real time), then
      // offer the same audio again under the next number, so nothing is lost.
      if (++retries <= kOverloadRetries) {
        sendAt = Clock::now() + chunkTime * (1 << (retries - 1));
        continue;
      }
      display_.note("the speech host was overloaded and dropped " +
                    std::to_string(settings_.chunkMs) + " ms of audio at " + at);
      lost_ = true;
    } else if (!refusal_.empty()) {
      display_.note(explainStreamError(refusal_) + " (at " + at + ")");
      lost_ = true;
      if (refusal_ == error_code::audioSequence) {
        return false;  // the numbering is out of step; every later chunk would be refused too
      }
    }
    retries = 0;
    positionFrames_ += static_cast<std::int64_t>(chunk.size());
    display_.progress(positionMs(), audio_.durationMs());
    const auto pace = std::chrono::duration_cast<Clock::duration>(chunkTime / speed_);
    sendAt = std::max(sendAt + pace, Clock::now() - pace);
    chunk = audio_.next(frames);
  }
  if (!audio_.error().empty()) {
    display_.note(audio_.error());
    lost_ = true;
  }
  return true;
}

void CaptionSession::settle() {
  display_.status("[" + clockTime(audio_.durationMs()) + "/" + clockTime(audio_.durationMs()) +
                  "] waiting for the last captions");
  const auto begin = Clock::now();
  for (;;) {
    const auto seen = lastCaption_;
    const auto deadline =
        std::min(std::max(seen, begin) + settings_.quiet, begin + settings_.settleLimit);
    if (pump(deadline, [&] { return lastCaption_ != seen || fatal_; }) != Wait::done || fatal_) {
      return;
    }
  }
}

bool CaptionSession::stop() {
  stopping_ = true;
  if (!hostGone_) {
    host_.send({{"version", 1}, {"type", "stop"}});
  }
  host_.closeInput();
  const auto deadline = Clock::now() + settings_.exitTimeout;
  pump(deadline, [] { return false; });
  const ExitStatus status = host_.finish(
      std::max(milliseconds(0), std::chrono::duration_cast<milliseconds>(deadline - Clock::now())));
  if (!status.clean()) {
    display_.note("the speech host ended with " + status.describe());
    return false;
  }
  return !vanished_;
}

bool CaptionSession::sendChunk(const std::vector<std::int16_t>& samples) {
  std::string bytes(samples.size() * 2, '\0');
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto sample = static_cast<std::uint16_t>(samples[i]);
    bytes[2 * i] = static_cast<char>(sample & 0xFFU);
    bytes[2 * i + 1] = static_cast<char>(sample >> 8);
  }
  pong_ = false;
  overloaded_ = false;
  refusal_.clear();
  // The "ping" right behind the audio marks where the host's replies to this chunk end.
  return host_.send({{"version", 1},
                     {"type", "pcm"},
                     {"data", encodeBase64(bytes)},
                     {"sequence", sequence_++}}) &&
         host_.send({{"version", 1}, {"type", "ping"}});
}

template <class Done>
CaptionSession::Wait CaptionSession::pump(Clock::time_point deadline, Done until) {
  while (!until()) {
    if (interrupt_ != 0) {
      return Wait::interrupted;
    }
    const auto now = Clock::now();
    if (now >= deadline) {
      return Wait::timeout;
    }
    const auto left = std::chrono::ceil<milliseconds>(deadline - now);
    HostProcess::Received received = host_.receive(left);
    switch (received.kind) {
      case HostProcess::Received::Kind::message:
        handle(received.message);
        break;
      case HostProcess::Received::Kind::timeout:
      case HostProcess::Received::Kind::interrupted:
        break;
      case HostProcess::Received::Kind::ended:
      case HostProcess::Received::Kind::broken:
        hostGone(received.kind);
        return Wait::hostGone;
    }
  }
  return Wait::done;
}

void CaptionSession::handle(const nlohmann::json& message) {
  const std::string type = stringField(message, "type");
  if (type == "pong") {
    pong_ = true;
  } else if (type == "ready") {
    if (startAnswer_.empty()) {
      startAnswer_ = type;
    }
  } else if (type == "caption") {
    const auto final = message.find("final");
    Caption caption{stringField(message, "source"), stringField(message, "translation"),
                    final != message.end() && final->is_boolean() && final->get<bool>(),
                    stringField(message, "segment")};
    lastCaption_ = Clock::now();
    for (const SettledSegment& segment : log_.record(caption, positionMs())) {
      display_.settled(segment);
    }
    if (!caption.final) {
      display_.partial(caption);
    }
  } else if (type == "error") {
    const std::string code = stringField(message, "error");
    if (startAnswer_.empty()) {
      startAnswer_ = code;
      startDetail_ = stringField(message, "detail");
    } else if (code == error_code::audioOverload) {
      overloaded_ = true;
    } else if (code == error_code::audioSequence || code == error_code::invalidAudio ||
               code == error_code::invalidRequest) {
      refusal_ = code;
    } else {
      display_.note(explainStreamError(code));
      lost_ = true;
      fatal_ = fatal_ || code == error_code::recognitionFailed;
    }
  }
}

void CaptionSession::hostGone(HostProcess::Received::Kind kind) {
  if (!hostGone_ && !stopping_) {
    vanished_ = true;
    display_.note(kind == HostProcess::Received::Kind::ended
                      ? "the speech host ended the session unexpectedly"
                      : "the speech host's output broke off or was not a message");
  }
  hostGone_ = true;
}

}  // namespace quelvar::caption
