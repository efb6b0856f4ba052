// The programs of an Apertium mode, read from the mode file's shell command line.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/PlatformError.hpp"

namespace quelvar::apertium {

// One program of a pipeline: its name (looked up in PATH unless it has a slash) and arguments.
using ProgramCommand = std::vector<std::string>;

// Options that the mode's placeholders stand for: $1 is the generator's, $2 the tagger's.
// "-n" makes the generator leave out the marks of unknown words.
struct ModeOptions {
  std::string generator = "-n";
  std::string tagger;
};

// Splits a command line of programs joined by "|" into the programs, without a shell: words,
// single and double quotes, backslash escapes, $1 and $2 are understood; anything else a shell
// would interpret (redirections, other expansions, several commands) is refused. Every program
// is given -z (NUL-flush mode) unless it already has it.
Expected<std::vector<ProgramCommand>> parseModeCommand(std::string_view line,
                                                       const ModeOptions& options = {});

// Reads and parses a mode file.
Expected<std::vector<ProgramCommand>> readModeFile(const std::filesystem::path& file,
                                                   const ModeOptions& options = {});

}  // namespace quelvar::apertium
