// Language tags (BCP 47) to Apertium's language codes and back, through ICU's locale data.
#include "platform/linux/apertium/LanguageCodes.hpp"

#include <unicode/locid.h>

#include <algorithm>
#include <cctype>
#include <string_view>

namespace quelvar::apertium {
namespace {

struct Alias {
  std::string_view from;
  std::string_view to;
};

// Languages that Apertium files under another code than ICU's ISO 639-3 answer: macrolanguages
// and the pairs built on one member of them.
constexpr Alias languageAliases[] = {
    {"no", "nob"}, {"ms", "zlm"}, {"sh", "hbs"}, {"sr", "hbs"}, {"hr", "hbs"}, {"bs", "hbs"},
};

// Apertium's names for variants that are not BCP 47 subtags.
constexpr Alias variantAliases[] = {{"aranes", "aran"}};

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::optional<icu::Locale> parseTag(const std::string& tag) {
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale locale = icu::Locale::forLanguageTag(tag, status);
  if (U_FAILURE(status) || locale.isBogus() || *locale.getLanguage() == '\0') {
    return std::nullopt;
  }
  return locale;
}

void addUnique(std::vector<std::string>& list, std::string item) {
  if (!item.empty() && std::find(list.begin(), list.end(), item) == list.end()) {
    list.push_back(std::move(item));
  }
}

}  // namespace

std::vector<std::string> apertiumCodes(const std::string& tag) {
  auto locale = parseTag(tag);
  if (!locale) {
    return {};
  }
  std::string language = locale->getLanguage();
  std::vector<std::string> languages;
  const char* iso3 = locale->getISO3Language();
  addUnique(languages, iso3 ? iso3 : "");
  addUnique(languages, language);
  for (const auto& alias : languageAliases) {
    if (alias.from == language) {
      addUnique(languages, std::string(alias.to));
    }
  }

  std::vector<std::string> qualifiers;
  std::string variant = lower(locale->getVariant());
  for (const auto& alias : variantAliases) {
    if (alias.from == variant) {
      variant = alias.to;
    }
  }
  addUnique(qualifiers, variant);
  addUnique(qualifiers, locale->getCountry());

  std::vector<std::string> codes;
  for (const auto& qualifier : qualifiers) {
    for (const auto& code : languages) {
      codes.push_back(code + "_" + qualifier);
    }
  }
  codes.insert(codes.end(), languages.begin(), languages.end());
  return codes;
}

std::optional<std::string> languageTag(const std::string& code) {
  std::string language = code.substr(0, code.find('_'));
  std::string qualifier = language.size() < code.size() ? code.substr(language.size() + 1) : "";
  if (language.size() < 2 || language.size() > 3 || qualifier.find('_') != std::string::npos) {
    return std::nullopt;
  }
  if (language == "zlm") {
    language = "ms";  // the one alias whose tag is plainly better than the code itself
  }
  for (const auto& alias : variantAliases) {
    if (alias.to == qualifier) {
      qualifier = alias.from;
    }
  }
  // A region is two letters or three digits; anything else is a variant, which BCP 47 wants
  // five to eight characters long.
  bool region = (qualifier.size() == 2 && std::isalpha(static_cast<unsigned char>(qualifier[0]))) ||
                (qualifier.size() == 3 && std::isdigit(static_cast<unsigned char>(qualifier[0])));
  if (!qualifier.empty() && !region && (qualifier.size() < 5 || qualifier.size() > 8)) {
    return std::nullopt;
  }
  auto locale = parseTag(qualifier.empty() ? language : language + "-" + qualifier);
  if (!locale) {
    return std::nullopt;
  }
  UErrorCode status = U_ZERO_ERROR;
  std::string tag = locale->toLanguageTag<std::string>(status);
  if (U_FAILURE(status)) {
    return std::nullopt;
  }
  return tag;
}

}  // namespace quelvar::apertium
