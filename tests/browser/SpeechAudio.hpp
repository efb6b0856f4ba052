// Real speech for the browser test, in the form the extension streams it to the speech host.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quelvar::browser {

// `text` spoken by espeak-ng as 16-bit little-endian mono PCM at 16000 Hz, with a short silence
// before and a longer one after, so that the recogniser can tell the utterance has ended.
// Scratch files go to `folder`. Throws std::runtime_error when espeak-ng or sox fail.
std::string synthesiseSpeech(const std::string& text, const std::filesystem::path& folder);

// The audio cut into chunks of at most `bytesPerChunk` bytes, each one base64 encoded.
std::vector<std::string> base64Chunks(std::string_view pcm, std::size_t bytesPerChunk);

}  // namespace quelvar::browser
