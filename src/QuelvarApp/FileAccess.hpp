// The few file operations the registration needs beside whole-file reads and atomic writes.
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

// True for a regular file (after following links) that the current user may execute.
bool isExecutableFile(const std::filesystem::path& path);

}  // namespace quelvar
