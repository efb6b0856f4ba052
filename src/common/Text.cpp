// Grapheme counting, trimming, pair rules and speech locale codes on top of ICU.
#include "common/Text.hpp"

#include <cstdint>
#include <memory>

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace quelvar {

namespace {

// Creating a break iterator loads rules; each thread keeps one, as ICU iterators are not shared.
icu::BreakIterator* characterIterator() {
  thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> created(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    return U_SUCCESS(status) ? std::move(created) : nullptr;
  }();
  return iterator.get();
}

std::size_t codePointCount(std::string_view utf8) {
  std::size_t count = 0;
  for (const char c : utf8) {
    count += (static_cast<unsigned char>(c) & 0xC0U) != 0x80U ? 1 : 0;
  }
  return count;
}

bool isWhiteSpace(UChar32 c) {
  return c >= 0 && u_hasBinaryProperty(c, UCHAR_WHITE_SPACE);
}

}  // namespace

std::size_t graphemeCount(std::string_view utf8) {
  icu::BreakIterator* iterator = characterIterator();
  if (utf8.empty() || iterator == nullptr) {
    return codePointCount(utf8);
  }
  UErrorCode status = U_ZERO_ERROR;
  UText* text = utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status);
  if (U_FAILURE(status)) {
    return codePointCount(utf8);
  }
  iterator->setText(text, status);
  std::size_t count = 0;
  if (U_SUCCESS(status)) {
    for (std::int32_t at = iterator->next(); at != icu::BreakIterator::DONE;
         at = iterator->next()) {
      ++count;
    }
  } else {
    count = codePointCount(utf8);
  }
  utext_close(text);
  return count;
}

std::string trimWhitespaceAndNewlines(std::string_view utf8) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data());
  const auto length = static_cast<std::int32_t>(utf8.size());
  std::int32_t begin = 0;
  while (begin < length) {
    std::int32_t next = begin;
    UChar32 c = 0;
    U8_NEXT(bytes, next, length, c);
    if (!isWhiteSpace(c)) {
      break;
    }
    begin = next;
  }
  std::int32_t end = length;
  while (end > begin) {
    std::int32_t previous = end;
    UChar32 c = 0;
    U8_PREV(bytes, begin, previous, c);
    if (!isWhiteSpace(c)) {
      break;
    }
    end = previous;
  }
  return std::string(
      utf8.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin)));
}

bool isValidPair(std::string_view source, std::string_view target) {
  return source != target && graphemeCount(source) <= kMaxLanguageCodeLength &&
         graphemeCount(target) <= kMaxLanguageCodeLength;
}

std::string speechLocaleCode(std::string_view code) {
  if (code == "zh-Hans") {
    return "zh-CN";
  }
  if (code == "zh-Hant") {
    return "zh-TW";
  }
  return std::string(code);
}

}  // namespace quelvar
