// The command line of quelvar-caption.
#include "caption/CaptionOptions.hpp"

#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

namespace quelvar::caption {
namespace {

constexpr double kFastestSpeed = 16.0;

std::optional<double> parseSpeed(std::string_view text) {
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
      value < 1.0 || value > kFastestSpeed) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::variant<Options, std::string> parseOptions(int argc, const char* const argv[]) {
  Options options;
  bool inputGiven = false;
  bool speedGiven = false;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--" && !optionsEnded) {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded) {
      if (inputGiven) {
        return "only one audio file at a time";
      }
      options.input = std::string(arg);
      inputGiven = true;
      continue;
    }
    std::optional<std::string> inlineValue;
    if (arg.starts_with("--") && arg.find('=') != std::string_view::npos) {
      inlineValue = std::string(arg.substr(arg.find('=') + 1));
      arg = arg.substr(0, arg.find('='));
    }
    // Reads the option's value, from "--name=value" or from the next argument.
    auto value = [&]() -> std::optional<std::string> {
      if (inlineValue) {
        return inlineValue;
      }
      if (i + 1 < argc) {
        return std::string(argv[++i]);
      }
      return std::nullopt;
    };
    auto needsValue = [&](std::string& field) -> std::optional<std::string> {
      std::optional<std::string> text = value();
      if (!text || text->empty()) {
        return std::string(arg) + " needs a value";
      }
      field = *text;
      return std::nullopt;
    };
    std::optional<std::string> problem;
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--demo") {
      options.demo = true;
    } else if (arg == "--realtime") {
      options.realtime = true;
    } else if (arg == "-s" || arg == "--source") {
      problem = needsValue(options.source);
    } else if (arg == "-t" || arg == "--target") {
      problem = needsValue(options.target);
    } else if (arg == "--srt") {
      problem = needsValue(options.srtPath);
    } else if (arg == "--vtt") {
      problem = needsValue(options.vttPath);
    } else if (arg == "--host") {
      problem = needsValue(options.hostPath);
    } else if (arg == "--text") {
      std::string name;
      problem = needsValue(name);
      if (!problem) {
        std::optional<CueText> text = parseCueText(name);
        if (!text) {
          return "--text takes both, source-first, translation or source, not \"" + name + "\"";
        }
        options.text = *text;
      }
    } else if (arg == "--max-speed") {
      std::string text;
      problem = needsValue(text);
      if (!problem) {
        std::optional<double> speed = parseSpeed(text);
        if (!speed) {
          return "--max-speed takes a number from 1 to 16, not \"" + text + "\"";
        }
        options.maxSpeed = *speed;
        speedGiven = true;
      }
    } else if (arg.starts_with("-") && arg != "-") {
      return "unknown option " + std::string(arg);
    } else if (inputGiven) {
      return "only one audio file at a time";
    } else {
      options.input = std::string(arg);
      inputGiven = true;
    }
    if (problem) {
      return *problem;
    }
  }
  if (options.help) {
    return options;
  }
  if (options.demo && inputGiven) {
    return "--demo uses its own sample clip; give either --demo or an audio file";
  }
  if (!options.demo && !inputGiven) {
    return "no audio file given";
  }
  if (options.realtime && speedGiven) {
    return "--realtime and --max-speed contradict each other";
  }
  return options;
}

std::string usageText() {
  return R"(Usage: quelvar-caption [OPTIONS] AUDIO_FILE
       quelvar-caption --demo

Turns the speech in an audio file into translated subtitles with the Quelvar speech host, the
way the browser extension does for a tab: captions appear as they are recognised, and the final
ones are written as SubRip and WebVTT subtitles timed by their position in the audio.

Options:
  -s, --source LANG    language spoken in the file (default: en)
  -t, --target LANG    language of the subtitles (default: es)
      --srt FILE       write SubRip subtitles to FILE
                       (default: NAME.TARGET.srt in the current directory)
      --vtt FILE       write WebVTT subtitles to FILE
                       (default: NAME.TARGET.vtt in the current directory)
      --text MODE      what each subtitle shows: both (the translation above the original;
                       default), source-first, translation or source
      --realtime       stream the audio at real time, as a playing tab does; subtitle times
                       are then the most accurate
      --max-speed N    stream at most N times faster than real time, 1 to 16 (default: 4);
                       slows down by itself when the host cannot keep up (times can then be
                       late by up to a few seconds, as the host works through its backlog)
      --host PATH      the speech host to run (default: QuelvarSpeech next to this program,
                       or PREFIX/libexec/quelvar/QuelvarSpeech when installed)
      --demo           subtitle an English sample clip in Spanish at real time and write
                       demo.srt and demo.vtt into the current directory
  -h, --help           show this help

Any format libsndfile reads works (WAV, FLAC, Ogg Vorbis, Opus, MP3, ...), at any rate and with
any number of channels. Translations need the Apertium pair installed (for example
apertium-eng-spa), speech recognition the PocketSphinx model (pocketsphinx-en-us).

Press Ctrl-C once to stop early and keep the subtitles so far.

Exit status: 0 subtitles written; 1 failure, or subtitles written but incomplete (audio or
captions lost; see the messages); 2 bad command line; 3 the host could not start a session (the
message says what to install); 130 stopped early by Ctrl-C.
)";
}

std::string defaultOutputPath(const std::string& input, const std::string& target,
                              const std::string& extension) {
  std::string name =
      input.substr(input.find_last_of('/') == std::string::npos ? 0 : input.find_last_of('/') + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) {
    name.resize(dot);
  }
  if (name.empty() || name == "." || name == "..") {
    name = "captions";
  }
  return name + "." + target + "." + extension;
}

}  // namespace quelvar::caption
