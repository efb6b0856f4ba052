// Field rules of the host's requests that no other program shares.
#pragma once

#include <string_view>

namespace quelvar::host {

// True when the text holds nothing but whitespace and newlines: space separators (Zs), line and
// paragraph separators (Zl, Zp), tab, line feed, vertical tab, form feed, carriage return and
// next line (U+0085). Also true for empty text.
bool isBlank(std::string_view utf8);

// A language tag of the form ^[a-z]{2,3}(-[a-z0-9]{2,8})*$, letters of either case. Only ASCII
// letters and digits qualify: no case folding of other characters, and no trailing line break.
bool isSpeechLanguageTag(std::string_view tag);

}  // namespace quelvar::host
