// Safe handling of untrusted JSON: bounded nesting, exact integers, serialisation that never
// throws.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace quelvar {

// Deepest nesting of arrays and objects that parseObject accepts; the top-level object counts.
constexpr int kMaxJsonDepth = 512;

// nullopt unless body is exactly one valid JSON value, an object, with nothing after it but
// whitespace. Nesting deeper than
// kMaxJsonDepth is refused before any value is built, because copying, comparing and
// serialising a json value recurse once per level.
std::optional<nlohmann::json> parseObject(std::string_view body);

// Integer JSON numbers that fit in int64, and floats with no fractional part that fit in int64;
// nullopt for 1.5, strings, booleans and everything else.
std::optional<std::int64_t> wholeNumber(const nlohmann::json& value);

// Compact text of the message. Invalid UTF-8 in strings is replaced instead of throwing.
std::string serialize(const nlohmann::json& message);

// The string value of `key`, or nullptr when it is missing or not a string.
inline const std::string* stringField(const nlohmann::json& message, const char* key) {
  const auto found = message.find(key);
  return found != message.end() && found->is_string() ? found->get_ptr<const std::string*>()
                                                      : nullptr;
}

}  // namespace quelvar
