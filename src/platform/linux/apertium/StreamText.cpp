// Plain text in and out of Apertium's stream format.
#include "platform/linux/apertium/StreamText.hpp"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace quelvar::apertium {
namespace {

// Characters that the stream format gives a meaning; a backslash makes them literal.
constexpr std::string_view reserved = "\\^$[]{}/@<>*#";

// Appended to every segment and removed from its answer: a full stop followed by an empty blank,
// the way Apertium's own text deformatter closes a text.
constexpr std::string_view sentenceEnd = ".[]";

bool isSpaceAt(std::string_view text, std::size_t offset, std::size_t& next) {
  auto i = static_cast<int32_t>(offset);
  UChar32 c = 0;
  U8_NEXT(reinterpret_cast<const uint8_t*>(text.data()), i, static_cast<int32_t>(text.size()), c);
  next = static_cast<std::size_t>(i);
  return c >= 0 && u_isUWhiteSpace(c);
}

// Apertium's dictionaries hold composed letters: a decomposed "di\u0301as" is not "días" to it.
// Invalid UTF-8 passes through unchanged.
std::string composed(std::string_view text) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  const icu::StringPiece piece(text.data(), static_cast<int32_t>(text.size()));
  if (U_FAILURE(status) || nfc->isNormalizedUTF8(piece, status) || U_FAILURE(status)) {
    return std::string(text);
  }
  std::string result;
  icu::StringByteSink<std::string> sink(&result, static_cast<int32_t>(text.size()));
  nfc->normalizeUTF8(0, piece, sink, nullptr, status);
  return U_SUCCESS(status) ? result : std::string(text);
}

}  // namespace

OuterWhitespace splitOuterWhitespace(std::string_view text) {
  std::size_t begin = 0;
  std::size_t next = 0;
  while (begin < text.size() && isSpaceAt(text, begin, next)) {
    begin = next;
  }
  // Walk forwards to find where the last run of whitespace starts: UTF-8 is not read backwards.
  std::size_t end = begin;
  std::size_t offset = begin;
  while (offset < text.size()) {
    bool space = isSpaceAt(text, offset, next);
    offset = next;
    if (!space) {
      end = offset;
    }
  }
  return {text.substr(0, begin), text.substr(begin, end - begin), text.substr(end)};
}

std::string encodeSegment(std::string_view raw) {
  const std::string text = composed(raw);
  std::string segment;
  segment.reserve(text.size() + text.size() / 8 + sentenceEnd.size());
  for (char c : text) {
    if (c == '\0') {
      segment += ' ';  // a NUL would end the segment early; dropped, it would join two words
      continue;
    }
    if (c == '~') {
      // The post-generator reads a tilde as its own mark, even escaped; inside a blank it passes.
      segment += "[~]";
      continue;
    }
    if (reserved.find(c) != std::string_view::npos) {
      segment += '\\';
    }
    segment += c;
  }
  segment += sentenceEnd;
  return segment;
}

bool isAnswerToSegment(std::string_view answer) {
  return answer.find(sentenceEnd.substr(1)) != std::string_view::npos;
}

std::string decodeSegment(std::string_view answer) {
  std::string text;
  text.reserve(answer.size());
  std::size_t markAt = std::string::npos;  // where the last full stop followed by "[]" landed
  std::size_t i = 0;
  while (i < answer.size()) {
    char c = answer[i];
    if (c == '\\' && i + 1 < answer.size()) {
      text += answer[i + 1];
      i += 2;
    } else if (c == '[') {
      bool afterStop = i > 0 && answer[i - 1] == '.' && !text.empty() && text.back() == '.';
      std::size_t start = text.size();
      for (++i; i < answer.size() && answer[i] != ']'; ++i) {
        if (answer[i] == '\\' && i + 1 < answer.size()) {
          ++i;
        }
        text += answer[i];
      }
      ++i;  // the closing bracket
      if (afterStop && text.size() == start) {
        markAt = start - 1;
      }
    } else {
      text += c;
      ++i;
    }
  }
  if (markAt != std::string::npos) {
    text.erase(markAt, 1);
  }
  return text;
}

}  // namespace quelvar::apertium
