// The pronunciation dictionary cut down to the words its language model knows, kept on disk.
#pragma once

#include <filesystem>
#include <functional>
#include <string_view>
#include <system_error>

#include "platform/linux/pocketsphinx/PocketSphinxCatalogue.hpp"

namespace quelvar::pocketsphinx {

// The engine parses every dictionary entry at each load, but its search only ever uses the words
// its language model knows: for the Debian English model some 80,000 of 135,000 entries. A copy
// of just those entries loads the same decoder about a sixth faster. The copy records what it
// was made from and a checksum of itself, so that a changed model or a damaged copy is never
// used; it is written atomically, so that a reader sees a whole copy or none.

// Where the model's subset is kept; empty when the model has no cache folder.
std::filesystem::path subsetFile(const RecogniserModel& model);

// Whether the model's subset file is whole and made from the model's present files.
bool isCurrentSubset(const RecogniserModel& model);

// Writes the model's subset: the entries of its dictionary whose word (without the "(2)" of an
// alternative pronunciation) `known` accepts. Nothing is written if none is accepted.
std::error_code writeSubset(const RecogniserModel& model,
                            const std::function<bool(const std::string& word)>& known);

}  // namespace quelvar::pocketsphinx
