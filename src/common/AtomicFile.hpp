// Whole files: read in one piece, and written so that readers and crashes see the old content or
// the new, never a part.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace quelvar {

// The whole content of a file, or nothing when it is missing, unreadable or over `maxBytes`.
std::optional<std::string> readWholeFile(
    const std::filesystem::path& path,
    std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

// Writes `bytes` to a new temporary file in the folder of `path`, gives it `mode` (as it is, not
// reduced by the umask), flushes it to disk and renames it over `path`. On any failure the old file
// is untouched and the temporary one removed.
std::error_code writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                    mode_t mode = 0644);

// Whether writeFileAtomically(path, ...) can succeed as far as can be known before: the folder
// takes a new file (one is made and removed again) and `path` is not a folder.
std::error_code checkCanWriteAtomically(const std::filesystem::path& path);

}  // namespace quelvar
