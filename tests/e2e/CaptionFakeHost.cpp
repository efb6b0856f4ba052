// A scriptable stand-in for the speech host, for end-to-end tests of the caption client.
//
// It answers "start" with "ready" (or with the error in QUELVAR_FAKE_START_ERROR), answers "ping",
// and "recognises" loud audio: every 500 ms of loud chunks gives a partial caption, 1000 ms or a
// silent chunk after loud ones closes the segment with a final caption. QUELVAR_FAKE_OVERLOAD=a-b
// drops the pcm messages a to b (counted from 0) with AUDIO_OVERLOAD; QUELVAR_FAKE_CRASH_AFTER=n
// ends with status 1 on the n-th pcm message; QUELVAR_FAKE_REFUSE=n answers the n-th with
// AUDIO_SEQUENCE; QUELVAR_FAKE_EXIT is the status at end of input, QUELVAR_FAKE_HANG=1 never ends
// then; QUELVAR_FAKE_LONG=1 gives the first caption a translation of 70,000 bytes after an escape
// sequence.
// QUELVAR_FAKE_LOG names a file that gets one line per event it saw.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "common/Framing.hpp"
#include "common/Json.hpp"
#include "common/Text.hpp"

namespace {

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

bool isLoud(const std::string& bytes) {
  std::size_t loud = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto sample = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  (static_cast<unsigned char>(bytes[i + 1]) << 8));
    loud += (sample > 300 || sample < -300) ? 1 : 0;
  }
  return loud * 4 > bytes.size() / 2;  // a quarter of the samples
}

struct Recogniser {
  bool longFirst;
  int segment = 0;
  std::int64_t speechMs = 0;

  void caption(bool final) {
    std::string words;
    for (std::int64_t i = 0; i < speechMs / 250; ++i) {
      words += i == 0 ? "word" : " word";
    }
    std::string translation = "frase " + std::to_string(segment);
    if (longFirst && segment == 0) {
      translation += " \x1b[2J" + std::string(70000, 'x');
    }
    quelvar::writeFrame(STDOUT_FILENO, {{"type", "caption"},
                                        {"source", words + " " + std::to_string(segment)},
                                        {"translation", translation},
                                        {"final", final},
                                        {"segment", std::to_string(segment)}});
    if (final) {
      ++segment;
      speechMs = 0;
    }
  }

  void hear(const std::string& bytes) {
    const std::int64_t ms = static_cast<std::int64_t>(bytes.size()) / 32;
    if (!isLoud(bytes)) {
      if (speechMs > 0) {
        caption(true);
      }
      return;
    }
    const std::int64_t before = speechMs;
    speechMs += ms;
    if (speechMs >= 1000) {
      caption(true);
    } else if (speechMs / 500 > before / 500) {
      caption(false);
    }
  }
};

}  // namespace

int main() {
  std::ofstream log(env("QUELVAR_FAKE_LOG"), std::ios::app);
  log << std::unitbuf;  // all of it there even when it crashes
  const std::string startError = env("QUELVAR_FAKE_START_ERROR");
  long overloadFirst = -1, overloadLast = -1, crashAfter = -1, refuse = -1;
  std::sscanf(env("QUELVAR_FAKE_OVERLOAD").c_str(), "%ld-%ld", &overloadFirst, &overloadLast);
  std::sscanf(env("QUELVAR_FAKE_CRASH_AFTER").c_str(), "%ld", &crashAfter);
  std::sscanf(env("QUELVAR_FAKE_REFUSE").c_str(), "%ld", &refuse);
  Recogniser recogniser{!env("QUELVAR_FAKE_LONG").empty()};
  long pcmCount = 0;
  std::int64_t expected = 0;
  bool running = false;
  for (;;) {
    const quelvar::FrameResult frame = quelvar::readFrame(STDIN_FILENO);
    if (frame.kind != quelvar::FrameResult::Kind::body) {
      log << (frame.kind == quelvar::FrameResult::Kind::end ? "eof" : "broken") << "\n";
      break;
    }
    const auto message = quelvar::parseObject(frame.body);
    const std::string type = message ? message->value("type", "") : "";
    if (type == "start") {
      log << "start " << message->value("source", "") << " " << message->value("target", "")
          << "\n";
      running = startError.empty();
      quelvar::writeFrame(STDOUT_FILENO,
                          running ? nlohmann::json{{"type", "ready"}}
                                  : nlohmann::json{{"type", "error"}, {"error", startError}});
    } else if (type == "pcm") {
      const auto bytes = quelvar::decodeBase64(message->value("data", ""));
      const std::int64_t sequence = message->value("sequence", std::int64_t{-1});
      log << "pcm " << sequence << " " << (bytes ? bytes->size() : 0) << "\n";
      if (pcmCount == crashAfter) {
        return 1;
      }
      if (!running || sequence != expected || !bytes || pcmCount == refuse) {
        quelvar::writeFrame(STDOUT_FILENO, {{"type", "error"}, {"error", "AUDIO_SEQUENCE"}});
      } else {
        ++expected;
        if (pcmCount >= overloadFirst && pcmCount <= overloadLast) {
          quelvar::writeFrame(STDOUT_FILENO, {{"type", "error"}, {"error", "AUDIO_OVERLOAD"}});
        } else {
          recogniser.hear(*bytes);
        }
      }
      ++pcmCount;
    } else if (type == "ping") {
      quelvar::writeFrame(STDOUT_FILENO, {{"type", "pong"}});
    } else if (type == "stop") {
      log << "stop\n";
      running = false;
      expected = 0;
    }
  }
  while (!env("QUELVAR_FAKE_HANG").empty()) {
    ::pause();
  }
  return std::atoi(env("QUELVAR_FAKE_EXIT").c_str());
}
