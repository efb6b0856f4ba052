// Helpers for the Apertium tests: mode folders, child processes, and the bounded runs of the
// io_context.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "CaptionTestSupport.hpp"
#include "RunUntil.hpp"

namespace quelvar::apertium::testing {

using caption::testing::runUntil;
using caption::testing::runUntilDone;
using caption::testing::storeResult;

// A folder of mode files that is removed again.
struct ModeFolder : caption::testing::TempDir {
  std::filesystem::path add(const std::string& name, const std::string& commandLine) const {
    std::filesystem::path mode = file(name + ".mode");
    std::ofstream(mode) << commandLine << "\n";
    return mode;
  }
  std::filesystem::path path() const { return TempDir::path(); }
};

inline bool processExists(pid_t pid) {
  return std::filesystem::exists("/proc/" + std::to_string(pid));
}

}  // namespace quelvar::apertium::testing
