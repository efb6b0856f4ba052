// Text rules shared by both hosts: character counting, trimming, language pairs, Chinese script,
// and the strict base64 that carries audio.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quelvar {

// Longest language code, in user-perceived characters, that a pair may use.
constexpr std::size_t kMaxLanguageCodeLength = 40;

// Number of user-perceived characters (extended grapheme clusters) in UTF-8 text.
std::size_t graphemeCount(std::string_view utf8);

// The text without leading and trailing Unicode White_Space (spaces, tabs, line breaks, NEL,
// U+2028, U+2029 and the other space separators).
std::string trimWhitespaceAndNewlines(std::string_view utf8);

// A usable language pair: two different strings, each at most kMaxLanguageCodeLength characters.
bool isValidPair(std::string_view source, std::string_view target);

// The locale a speech recogniser is asked for: "zh-Hans" -> "zh-CN", "zh-Hant" -> "zh-TW"
// (exact, case-sensitive), every other code unchanged.
std::string speechLocaleCode(std::string_view code);

// Traditional Chinese characters converted to Simplified ones; the input unchanged if the
// conversion is unavailable or yields nothing.
std::string toSimplifiedChinese(std::string_view text);

// A translation as it is sent on: converted to Simplified characters only for target "zh-Hans".
std::string cleanUpTranslation(std::string_view text, std::string_view targetCode);

// Strict base64: standard alphabet, padding required, length a multiple of 4, no whitespace;
// any other byte fails. Empty input decodes to an empty string.
std::optional<std::string> decodeBase64(std::string_view text);

// Standard base64 with padding.
std::string encodeBase64(std::string_view bytes);

}  // namespace quelvar
