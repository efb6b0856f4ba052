// The flat object reader against the full parser, for the unit test and the fuzzer alike.
#pragma once

#include <optional>
#include <string_view>

#include "QuelvarSpeech/FlatObject.hpp"
#include "common/Json.hpp"

namespace quelvar::testing {

// Nothing when the flat reader leaves `body` to the full parser; otherwise whether the parser
// takes it too and the flat reader read every member as the parser does.
inline std::optional<bool> flatReadingAgrees(std::string_view body) {
  const std::optional<FlatObject> flat = FlatObject::read(body);
  if (!flat) {
    return std::nullopt;
  }
  const std::optional<nlohmann::json> full = parseObject(body);
  if (!full) {
    return false;
  }
  bool agrees = true;
  for (const auto& [key, value] : full->items()) {
    const FlatValue* mine = flat->find(key);
    if (const auto* text = mine ? std::get_if<std::string_view>(mine) : nullptr) {
      agrees &= value.is_string() && value.get<std::string>() == *text;
    } else {
      agrees &= mine && value.is_number_integer() &&
                value.get<std::int64_t>() == std::get<std::int64_t>(*mine);
    }
  }
  return agrees;
}

}  // namespace quelvar::testing
