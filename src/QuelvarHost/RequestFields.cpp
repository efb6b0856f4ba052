// The whitespace test of translation requests and the tag pattern of speech downloads.
#include "QuelvarHost/RequestFields.hpp"

#include <cstdint>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace quelvar::host {

namespace {

bool isWhitespaceOrNewline(UChar32 c) {
  switch (c) {
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x85:
      return true;
    default: {
      if (c < 0) {
        return false;
      }
      const auto category = static_cast<UCharCategory>(u_charType(c));
      return category == U_SPACE_SEPARATOR || category == U_LINE_SEPARATOR ||
             category == U_PARAGRAPH_SEPARATOR;
    }
  }
}

bool isAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

bool isBlank(std::string_view utf8) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data());
  const auto length = static_cast<std::int32_t>(utf8.size());
  for (std::int32_t at = 0; at < length;) {
    UChar32 c = 0;
    U8_NEXT(bytes, at, length, c);
    if (!isWhitespaceOrNewline(c)) {
      return false;
    }
  }
  return true;
}

bool isSpeechLanguageTag(std::string_view tag) {
  std::size_t start = 0;
  bool primary = true;
  for (;;) {
    const std::size_t hyphen = tag.find('-', start);
    const std::string_view subtag = tag.substr(
        start, hyphen == std::string_view::npos ? std::string_view::npos : hyphen - start);
    const std::size_t shortest = 2;
    const std::size_t longest = primary ? 3 : 8;
    if (subtag.size() < shortest || subtag.size() > longest) {
      return false;
    }
    for (const char c : subtag) {
      if (!isAsciiLetter(c) && (primary || !isAsciiDigit(c))) {
        return false;
      }
    }
    if (hyphen == std::string_view::npos) {
      return true;
    }
    start = hyphen + 1;
    primary = false;
  }
}

}  // namespace quelvar::host
