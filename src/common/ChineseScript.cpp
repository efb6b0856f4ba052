// Traditional-to-Simplified Chinese clean-up of translations with ICU's "Hant-Hans" transliterator.
#include <memory>

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include "common/Text.hpp"

namespace quelvar {

namespace {

// Building the transliterator compiles its rules and takes tens of milliseconds, so it is made
// once per process. A transliterator is not safe to use from two threads at once, so each thread
// works on its own clone of that prototype.
const icu::Transliterator* prototype() {
  static const std::unique_ptr<icu::Transliterator> instance = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> created(
        icu::Transliterator::createInstance("Hant-Hans", UTRANS_FORWARD, status));
    return U_SUCCESS(status) ? std::move(created) : nullptr;
  }();
  return instance.get();
}

const icu::Transliterator* hantToHans() {
  thread_local const std::unique_ptr<icu::Transliterator> clone = [] {
    const icu::Transliterator* shared = prototype();
    return std::unique_ptr<icu::Transliterator>(shared != nullptr ? shared->clone() : nullptr);
  }();
  return clone.get();
}

}  // namespace

std::string toSimplifiedChinese(std::string_view text) {
  const icu::Transliterator* transliterator = hantToHans();
  if (transliterator == nullptr || text.empty()) {
    return std::string(text);
  }
  icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
  transliterator->transliterate(unicode);
  std::string converted;
  unicode.toUTF8String(converted);
  return converted.empty() ? std::string(text) : converted;
}

std::string cleanUpTranslation(std::string_view text, std::string_view targetCode) {
  return targetCode == "zh-Hans" ? toSimplifiedChinese(text) : std::string(text);
}

}  // namespace quelvar
