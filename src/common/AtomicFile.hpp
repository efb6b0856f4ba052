// Writing a whole file so that readers and crashes see the old content or the new, never a part.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string_view>
#include <system_error>

namespace quelvar {

// Writes `bytes` to a new temporary file in the folder of `path`, gives it `mode` (as it is, not
// reduced by the umask), flushes it to disk and renames it over `path`. On any failure the old file
// is untouched and the temporary one removed.
std::error_code writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                    mode_t mode = 0644);

// Whether writeFileAtomically(path, ...) can succeed as far as can be known before: the folder
// takes a new file (one is made and removed again) and `path` is not a folder.
std::error_code checkCanWriteAtomically(const std::filesystem::path& path);

}  // namespace quelvar
