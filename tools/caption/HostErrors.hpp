// What an error event of the speech host means to the person running the client, and what helps.
#pragma once

#include <string>
#include <string_view>

namespace quelvar::caption {

// Advice for an error that answered "start" (the session did not start): one or more lines, each
// ending in a line feed, naming the package to install where one is missing.
std::string explainStartError(std::string_view code, std::string_view detail,
                              std::string_view source, std::string_view target);

// A one-line explanation of an error that came while audio was streaming.
std::string explainStreamError(std::string_view code);

}  // namespace quelvar::caption
