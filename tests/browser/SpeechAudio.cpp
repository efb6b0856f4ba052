// Speech synthesised with espeak-ng and resampled with sox, at test time.
#include "SpeechAudio.hpp"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "Processes.hpp"
#include "common/Text.hpp"

namespace quelvar::browser {

std::string synthesiseSpeech(const std::string& text, const std::filesystem::path& folder) {
  const std::string wave = (folder / "speech.wav").string();
  const std::string raw = (folder / "speech.raw").string();
  if (runProgram({"espeak-ng", "-v", "en-us", "-s", "150", "-w", wave, text}) != 0) {
    throw std::runtime_error("espeak-ng failed; install Debian's espeak-ng package");
  }
  if (runProgram({"sox", wave, "-t", "raw", "-r", "16000", "-c", "1", "-b", "16", "-e",
                  "signed-integer", "-L", raw, "pad", "0.3", "1.5"}) != 0) {
    throw std::runtime_error("sox failed; install Debian's sox package");
  }
  std::ifstream file(raw, std::ios::binary);
  std::string pcm{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (pcm.empty() || pcm.size() % 2 != 0) {
    throw std::runtime_error("sox wrote no usable audio to " + raw);
  }
  return pcm;
}

std::vector<std::string> base64Chunks(std::string_view pcm, std::size_t bytesPerChunk) {
  std::vector<std::string> chunks;
  for (std::size_t offset = 0; offset < pcm.size(); offset += bytesPerChunk) {
    chunks.push_back(encodeBase64(pcm.substr(offset, bytesPerChunk)));
  }
  return chunks;
}

}  // namespace quelvar::browser
