// Fuzz target: arbitrary bytes as a host's standard input, through the frame reader and the
// JSON and text helpers, checking that nothing crashes and that the invariants hold.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzInput.hpp"
#include "common/Framing.hpp"
#include "common/Json.hpp"
#include "common/Text.hpp"

namespace {

using namespace quelvar::fuzz;
using quelvar::FrameResult;

bool validLength(const std::uint8_t* header) {
  const std::uint32_t length = frameLength(header);
  return length >= 1 && length <= quelvar::kMaxInboundFrameLength;
}

int depth(const nlohmann::json& value) {
  int deepest = 0;
  if (value.is_structured()) {
    for (const auto& element : value) {
      deepest = std::max(deepest, depth(element));
    }
    return deepest + 1;
  }
  return 0;
}

void checkText(const std::string& text) {
  if (const auto decoded = quelvar::decodeBase64(text)) {
    const std::size_t padding = text.ends_with("==") ? 2 : text.ends_with("=") ? 1 : 0;
    require(decoded->size() == text.size() / 4 * 3 - padding);
    require(quelvar::decodeBase64(quelvar::encodeBase64(*decoded)) == decoded);
  }
  const std::string trimmed = quelvar::trimWhitespaceAndNewlines(text);
  require(text.find(trimmed) != std::string::npos);
  require(quelvar::trimWhitespaceAndNewlines(trimmed) == trimmed);
  require(quelvar::graphemeCount(text) <= text.size());
  require(!quelvar::isValidPair(text, text));
  quelvar::speechLocaleCode(text);
  if (text.size() <= 256) {
    quelvar::cleanUpTranslation(text, "zh-Hans");
  }
}

// What a host does with a body: parse, read the fields it knows, and answer.
void handleBody(const std::string& body) {
  const auto message = quelvar::parseObject(body);
  if (!message) {
    return;
  }
  require(message->is_object());
  require(depth(*message) <= quelvar::kMaxJsonDepth);
  for (const auto& [key, value] : message->items()) {
    checkText(key);
    if (value.is_string()) {
      checkText(value.get<std::string>());
    }
    if (const auto number = quelvar::wholeNumber(value)) {
      require(value.is_number());
      require(!value.is_number_float() || value.get<double>() == static_cast<double>(*number));
    }
  }
  // Whatever was accepted can be written back and reads as the same message.
  const std::string text = quelvar::serialize(*message);
  require(quelvar::parseObject(text) == message);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int fd = memoryFile("fuzz-input");
  replaceContents(fd, data, size);
  std::size_t consumed = 0;
  for (;;) {
    const FrameResult frame = quelvar::readFrame(fd);
    const auto offset = static_cast<std::size_t>(::lseek(fd, 0, SEEK_CUR));
    if (frame.kind == FrameResult::Kind::end) {
      require(consumed == size && offset == size);
      break;
    }
    if (frame.kind == FrameResult::Kind::broken) {
      // A bad length is refused before a single body byte is read; anything else broken is a
      // stream that ended part-way.
      require(offset ==
              (size - consumed >= 4 && !validLength(data + consumed) ? consumed + 4 : size));
      break;
    }
    require(!frame.body.empty() && frame.body.size() <= quelvar::kMaxInboundFrameLength);
    consumed += 4 + frame.body.size();
    require(offset == consumed);
    handleBody(frame.body);
  }
  return 0;
}
