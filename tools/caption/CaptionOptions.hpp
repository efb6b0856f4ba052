// The command line of quelvar-caption.
#pragma once

#include <string>
#include <variant>

#include "caption/SubtitleFormat.hpp"

namespace quelvar::caption {

struct Options {
  std::string input;
  std::string source = "en";
  std::string target = "es";
  std::string srtPath;  // empty: the default beside the current directory's other output
  std::string vttPath;
  CueText text = CueText::both;
  bool realtime = false;
  double maxSpeed = 4.0;
  std::string hostPath;  // empty: found next to this program
  bool demo = false;
  bool help = false;
};

// The options, or a one-line complaint about the command line.
std::variant<Options, std::string> parseOptions(int argc, const char* const argv[]);

std::string usageText();

// "NAME.TARGET.EXTENSION" in the current directory, NAME being the input's file name without its
// last extension.
std::string defaultOutputPath(const std::string& input, const std::string& target,
                              const std::string& extension);

}  // namespace quelvar::caption
