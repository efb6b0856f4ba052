// Language tags (BCP 47) to Apertium's language codes and back.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quelvar::apertium {

// Apertium codes that may stand for a tag, most specific first, in both of Apertium's styles
// (ISO 639-3 and 639-1): "en-US" gives eng_US, en_US, eng, en. Empty for a tag that is not
// well-formed or names no language.
std::vector<std::string> apertiumCodes(const std::string& tag);

// The language tag of an Apertium code: "eng" gives "en", "eng_US" "en-US", "cat_valencia"
// "ca-valencia". None when the code does not make a well-formed tag.
std::optional<std::string> languageTag(const std::string& code);

}  // namespace quelvar::apertium
