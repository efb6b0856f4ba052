// How platform language tags appear in replies: minimal identifiers, reply codes, display names.
#pragma once

#include <string>
#include <string_view>

namespace quelvar::host {

// The shortest tag that still names the same language once likely subtags are added, preferring
// a script to a region ("zh-TW" -> "zh-Hant", "en-US" -> "en"); variants are kept. A tag that is
// not well formed is returned unchanged.
std::string minimalIdentifier(std::string_view tag);

// The code a reply uses for a platform language: its minimal identifier, with plain "zh"
// (Simplified Chinese) written "zh-Hans".
std::string replyCode(std::string_view tag);

// The name of the language in the user's locale, or the code itself when there is none.
std::string displayName(const std::string& code);

}  // namespace quelvar::host
