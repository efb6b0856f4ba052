// Inbound messages of the usual shape, read without building a JSON document.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace quelvar {

// A string of printable ASCII without escapes, or an integer.
using FlatValue = std::variant<std::string_view, std::int64_t>;

// A JSON object whose keys and values are all such strings, or integers of at most 18 digits:
// the shape of nearly every message, read here in a fraction of a full parse (a "pcm" message's
// audio is one long plain string). A body of any other shape, valid or not, is left to the full
// parser, which alone decides what is invalid.
class FlatObject {
 public:
  // Nothing unless the whole body is such an object; its strings point into `body`.
  static std::optional<FlatObject> read(std::string_view body);

  // A repeated key has its last value, as in the full parser.
  const FlatValue* find(std::string_view key) const;

 private:
  std::vector<std::pair<std::string_view, FlatValue>> members_;
};

}  // namespace quelvar
