// Sentences that show whether a translation direction translates at all.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quelvar::apertium {

// A short phrase in the language of an Apertium code (either style, variants ignored) that every
// direction out of that language changes: not all of its common words are spelled the same in
// any language Apertium pairs it with. None for languages without one.
std::optional<std::string> probeSentence(std::string_view code);

// Whether an answer holds the very words of the probe, in any order and case.
bool isUntranslated(std::string_view probe, std::string_view answer);

}  // namespace quelvar::apertium
