// An audio file as the speech host wants it: decoded, mixed down to mono, 16-bit at 16000 Hz.
#include "caption/AudioStream.hpp"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

#include "platform/linux/LinuxPlatform.hpp"

namespace quelvar::caption {
namespace {

constexpr sf_count_t kBlockFrames = 4096;

}  // namespace

std::variant<std::unique_ptr<AudioStream>, std::string> AudioStream::open(
    const std::string& path, std::int64_t trailingSilenceMs) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    return "cannot read " + path + ": " + sf_strerror(nullptr);
  }
  if (info.samplerate <= 0 || info.channels <= 0) {
    sf_close(file);
    return "cannot read " + path + ": no audio in it";
  }
  const double rate = info.samplerate;
  std::unique_ptr<AudioConverter> converter = makeAudioConverter(
      AudioFormat{rate, SampleType::float32, 1}, AudioFormat{kWireRate, SampleType::int16, 1});
  if (!converter) {
    sf_close(file);
    return "cannot convert " + path + " from " + std::to_string(info.samplerate) + " Hz";
  }
  const auto silenceFrames = static_cast<std::int64_t>(
      rate * static_cast<double>(std::max<std::int64_t>(trailingSilenceMs, 0)) / 1000.0);
  return std::unique_ptr<AudioStream>(
      new AudioStream(file, rate, info.channels, info.frames, silenceFrames, std::move(converter)));
}

AudioStream::AudioStream(sf_private_tag* file, double rate, int channels, std::int64_t frames,
                         std::int64_t silenceFrames, std::unique_ptr<AudioConverter> converter)
    : file_(file),
      rate_(rate),
      channels_(channels),
      frames_(frames),
      silenceLeft_(silenceFrames),
      converter_(std::move(converter)) {}

AudioStream::~AudioStream() {
  sf_close(file_);
}

std::int64_t AudioStream::durationMs() const {
  const std::int64_t frames = fileDone_ ? decodedFrames_ : std::max(frames_, decodedFrames_);
  return static_cast<std::int64_t>(std::llround(static_cast<double>(frames) * 1000.0 / rate_));
}

std::vector<std::int16_t> AudioStream::next(std::size_t frames) {
  while (pending_.size() - pendingStart_ < frames && decodeBlock()) {
  }
  const std::size_t count = std::min(frames, pending_.size() - pendingStart_);
  const auto first = pending_.begin() + static_cast<std::ptrdiff_t>(pendingStart_);
  std::vector<std::int16_t> chunk(first, first + static_cast<std::ptrdiff_t>(count));
  pendingStart_ += count;
  if (pendingStart_ == pending_.size()) {
    pending_.clear();
    pendingStart_ = 0;
  }
  return chunk;
}

bool AudioStream::decodeBlock() {
  std::vector<float> mono;
  if (!fileDone_) {
    interleaved_.resize(static_cast<std::size_t>(kBlockFrames) *
                        static_cast<std::size_t>(channels_));
    const sf_count_t read = sf_readf_float(file_, interleaved_.data(), kBlockFrames);
    if (read > 0) {
      decodedFrames_ += read;
      mono.resize(static_cast<std::size_t>(read));
      // Averaging keeps the mix within full scale whatever the number of channels.
      for (std::size_t frame = 0; frame < mono.size(); ++frame) {
        float sum = 0.0f;
        for (int channel = 0; channel < channels_; ++channel) {
          sum += interleaved_[frame * static_cast<std::size_t>(channels_) +
                              static_cast<std::size_t>(channel)];
        }
        mono[frame] = sum / static_cast<float>(channels_);
      }
      return convert(mono);
    }
    fileDone_ = true;
    if (sf_error(file_) != SF_ERR_NO_ERROR) {
      error_ = std::string("decoding stopped early: ") + sf_strerror(file_);
    }
  }
  if (silenceLeft_ <= 0) {
    return false;
  }
  const std::int64_t frames = std::min<std::int64_t>(silenceLeft_, kBlockFrames);
  silenceLeft_ -= frames;
  mono.assign(static_cast<std::size_t>(frames), 0.0f);
  return convert(mono);
}

bool AudioStream::convert(const std::vector<float>& mono) {
  const auto frames = static_cast<std::uint32_t>(mono.size());
  AudioBuffer input(AudioFormat{rate_, SampleType::float32, 1}, frames);
  std::copy(mono.begin(), mono.end(), input.floatSamples().begin());
  input.setFrameLength(frames);
  const auto capacity = static_cast<std::uint32_t>(kWireRate * frames / rate_ + 64.0);
  AudioBuffer output(AudioFormat{kWireRate, SampleType::int16, 1}, capacity);
  if (const Status failure = converter_->convert(input, output); !failure.ok()) {
    error_ = "converting the audio failed: " + failure.error().description;
    silenceLeft_ = 0;
    fileDone_ = true;
    return false;
  }
  const auto converted = output.int16Samples().first(output.frameLength());
  pending_.insert(pending_.end(), converted.begin(), converted.end());
  return true;
}

}  // namespace quelvar::caption
