// Parsing without exceptions or deep recursion, and exact integer conversion.
#include "common/Json.hpp"

#include <cmath>
#include <limits>

namespace quelvar {

namespace {

// Brackets outside strings give the nesting depth of any valid document exactly; for invalid
// ones the parser fails anyway, so a rough answer there is harmless.
bool nestingWithinLimit(std::string_view body) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonDepth) {
        return false;
      }
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

}  // namespace

std::optional<nlohmann::json> parseObject(std::string_view body) {
  // The parser takes a NUL byte for the end of the input and would accept whatever follows it;
  // no valid document holds a raw NUL (inside strings it must be escaped), so refuse it here.
  if (body.find('\0') != std::string_view::npos || !nestingWithinLimit(body)) {
    return std::nullopt;
  }
  nlohmann::json value = nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
  if (!value.is_object()) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::int64_t> wholeNumber(const nlohmann::json& value) {
  if (value.is_number_unsigned()) {
    const auto number = value.get<std::uint64_t>();
    if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(number);
  }
  if (value.is_number_integer()) {
    return value.get<std::int64_t>();
  }
  if (value.is_number_float()) {
    const double number = value.get<double>();
    // 2^63 is exact as a double; every double below it (and >= -2^63) converts without overflow.
    constexpr double kLimit = 9223372036854775808.0;
    if (!std::isfinite(number) || std::trunc(number) != number || number >= kLimit ||
        number < -kLimit) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(number);
  }
  return std::nullopt;
}

std::string serialize(const nlohmann::json& message) {
  return message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace quelvar
