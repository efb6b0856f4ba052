// What the speech model's cache files share: the identity of the files they were made from, a
// checksum of their own content, and reading them whole.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/pocketsphinx/PocketSphinxCatalogue.hpp"

namespace quelvar::pocketsphinx {

// The model's cache file for `suffix`; empty when the model has no cache folder.
std::filesystem::path cacheFile(const RecogniserModel& model, std::string_view suffix);

// Hex digits that change when any of the files is replaced, rewritten or changes size (a package
// update or reinstall); nothing if one cannot be read.
std::optional<std::string> fingerprint(const std::vector<std::filesystem::path>& files);

// Hex digits of a 64-bit checksum of `bytes`, to tell a damaged cache file.
std::string checksum(std::string_view bytes);

}  // namespace quelvar::pocketsphinx
