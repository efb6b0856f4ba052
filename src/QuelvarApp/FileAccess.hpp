// The few file operations the registration needs: bounded reads, atomic writes, executable checks.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace quelvar {

// Manifests are a few hundred bytes; anything far larger is not one of ours.
inline constexpr std::size_t maxManifestBytes = 1 << 20;

// The whole content of a regular file, or nothing when it is missing, unreadable or too large.
std::optional<std::string> readWholeFile(const std::filesystem::path& path,
                                         std::size_t maxBytes = maxManifestBytes);

// Writes through a temporary file in the same folder and renames it over `path`, so that a reader
// sees the old file or the new one, never a partial one. The old file is untouched on failure.
std::error_code writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// True for a regular file (after following links) that the current user may execute.
bool isExecutableFile(const std::filesystem::path& path);

}  // namespace quelvar
