// The few file operations the registration needs: bounded reads, atomic writes, executable checks.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "common/AtomicFile.hpp"

namespace quelvar {

// Manifests are a few hundred bytes; anything far larger is not one of ours.
inline constexpr std::size_t maxManifestBytes = 1 << 20;

// The whole content of a regular file, or nothing when it is missing, unreadable or too large.
std::optional<std::string> readWholeFile(const std::filesystem::path& path,
                                         std::size_t maxBytes = maxManifestBytes);

// True for a regular file (after following links) that the current user may execute.
bool isExecutableFile(const std::filesystem::path& path);

}  // namespace quelvar
