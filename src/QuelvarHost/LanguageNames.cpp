// Minimal identifiers and display names of language tags, with ICU's locale data.
#include "QuelvarHost/LanguageNames.hpp"

#include <array>
#include <optional>

#include <unicode/localebuilder.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace quelvar::host {

namespace {

struct Subtags {
  std::string language;
  std::string script;
  std::string region;

  bool operator==(const Subtags&) const = default;
};

std::optional<icu::Locale> parseTag(std::string_view tag) {
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale locale =
      icu::Locale::forLanguageTag(icu::StringPiece(tag.data(), tag.size()), status);
  if (U_FAILURE(status) || locale.isBogus() || *locale.getLanguage() == '\0') {
    return std::nullopt;
  }
  return locale;
}

std::optional<icu::Locale> build(const Subtags& subtags, const char* variant) {
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale locale = icu::LocaleBuilder()
                           .setLanguage(subtags.language)
                           .setScript(subtags.script)
                           .setRegion(subtags.region)
                           .setVariant(variant)
                           .build(status);
  if (U_FAILURE(status) || locale.isBogus()) {
    return std::nullopt;
  }
  return locale;
}

std::optional<Subtags> maximized(icu::Locale locale) {
  UErrorCode status = U_ZERO_ERROR;
  locale.addLikelySubtags(status);
  if (U_FAILURE(status)) {
    return std::nullopt;
  }
  return Subtags{locale.getLanguage(), locale.getScript(), locale.getCountry()};
}

std::string languageTag(const icu::Locale& locale, std::string_view fallback) {
  UErrorCode status = U_ZERO_ERROR;
  std::string tag = locale.toLanguageTag<std::string>(status);
  return U_SUCCESS(status) ? tag : std::string(fallback);
}

}  // namespace

std::string minimalIdentifier(std::string_view tag) {
  const std::optional<icu::Locale> locale = parseTag(tag);
  if (!locale) {
    return std::string(tag);
  }
  const char* variant = locale->getVariant();
  const std::optional<Subtags> full = maximized(*locale);
  if (!full) {
    return std::string(tag);
  }
  // Shortest first, a script before a region: "zh-Hant" rather than "zh-TW".
  const std::array<Subtags, 3> candidates{{{full->language, "", ""},
                                           {full->language, full->script, ""},
                                           {full->language, "", full->region}}};
  for (const Subtags& candidate : candidates) {
    const std::optional<icu::Locale> shorter = build(candidate, variant);
    if (shorter && maximized(*shorter) == full) {
      return languageTag(*shorter, tag);
    }
  }
  const std::optional<icu::Locale> whole = build(*full, variant);
  return whole ? languageTag(*whole, tag) : std::string(tag);
}

std::string replyCode(std::string_view tag) {
  std::string code = minimalIdentifier(tag);
  return code == "zh" ? "zh-Hans" : code;
}

std::string displayName(const std::string& code) {
  const std::optional<icu::Locale> locale = parseTag(code);
  if (!locale) {
    return code;
  }
  // ICU falls back to the code letters when it has no name for the language.
  icu::UnicodeString language;
  locale->getDisplayLanguage(icu::Locale::getDefault(), language);
  if (language.isEmpty() || language == icu::UnicodeString::fromUTF8(locale->getLanguage())) {
    return code;
  }
  icu::UnicodeString name;
  locale->getDisplayName(icu::Locale::getDefault(), name);
  std::string utf8;
  name.toUTF8String(utf8);
  return utf8.empty() ? code : utf8;
}

}  // namespace quelvar::host
