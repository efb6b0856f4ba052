// An audio file as the speech host wants it: decoded, mixed down to mono, 16-bit at 16000 Hz.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/Audio.hpp"

struct sf_private_tag;

namespace quelvar::caption {

constexpr double kWireRate = 16000.0;

class AudioStream {
 public:
  // Opens any format libsndfile reads. `trailingSilenceMs` of silence follow the audio, pushed
  // through the same converter so that the samples it holds back come out too.
  static std::variant<std::unique_ptr<AudioStream>, std::string> open(
      const std::string& path, std::int64_t trailingSilenceMs);
  ~AudioStream();
  AudioStream(const AudioStream&) = delete;
  AudioStream& operator=(const AudioStream&) = delete;

  // Length of the file's audio, without the trailing silence.
  std::int64_t durationMs() const;

  // The next `frames` samples; fewer only at the very end, none when everything has been read.
  // A decoding failure ends the stream early: see error().
  std::vector<std::int16_t> next(std::size_t frames);

  // Why the stream ended before the end of the file; empty when it did not.
  const std::string& error() const { return error_; }

 private:
  AudioStream(sf_private_tag* file, double rate, int channels, std::int64_t frames,
              std::int64_t silenceFrames, std::unique_ptr<AudioConverter> converter);
  // Decodes one block of the file (or of the trailing silence) into pending_; false at the end.
  bool decodeBlock();
  bool convert(const std::vector<float>& mono);

  sf_private_tag* file_;
  double rate_;
  int channels_;
  std::int64_t frames_;  // as the file's header says; the decoded count wins once it is known
  std::int64_t decodedFrames_ = 0;
  std::int64_t silenceLeft_;
  std::unique_ptr<AudioConverter> converter_;
  std::vector<float> interleaved_;
  std::vector<std::int16_t> pending_;
  std::size_t pendingStart_ = 0;
  bool fileDone_ = false;
  std::string error_;
};

}  // namespace quelvar::caption
