// Subtitle cues from settled segments, written as SubRip (.srt) and WebVTT (.vtt) text.
#include "caption/SubtitleFormat.hpp"

#include <algorithm>
#include <cstdio>

namespace quelvar::caption {
namespace {

// A blank line would end the cue early, so a caption keeps to one line.
std::string oneLine(std::string_view text) {
  std::string line(text);
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  const auto first = line.find_first_not_of(" \t");
  if (first == std::string::npos) {
    return {};
  }
  return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::vector<std::string> cueLines(const SettledSegment& segment, CueText text) {
  const std::string source = oneLine(segment.source);
  std::string translation = oneLine(segment.translation);
  if (translation == source) {
    translation.clear();
  }
  std::vector<std::string> lines;
  auto add = [&lines](const std::string& line) {
    if (!line.empty()) {
      lines.push_back(line);
    }
  };
  switch (text) {
    case CueText::both:
      add(translation);
      add(source);
      break;
    case CueText::sourceFirst:
      add(source);
      add(translation);
      break;
    case CueText::translation:
      add(translation.empty() ? source : translation);
      break;
    case CueText::source:
      add(source.empty() ? translation : source);
      break;
  }
  return lines;
}

namespace {

// Cue text is a small markup language in WebVTT; these three characters must be escaped.
std::string escapeVtt(std::string_view line) {
  std::string out;
  for (char c : line) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::optional<CueText> parseCueText(std::string_view name) {
  if (name == "both") {
    return CueText::both;
  }
  if (name == "source-first") {
    return CueText::sourceFirst;
  }
  if (name == "translation") {
    return CueText::translation;
  }
  if (name == "source") {
    return CueText::source;
  }
  return std::nullopt;
}

std::vector<Cue> makeCues(const std::vector<SettledSegment>& segments, std::int64_t durationMs,
                          CueText text, const TimingRules& rules) {
  std::vector<SettledSegment> shown;
  std::vector<std::vector<std::string>> texts;
  for (const SettledSegment& segment : segments) {
    std::vector<std::string> lines = cueLines(segment, text);
    if (!lines.empty()) {
      shown.push_back(segment);
      texts.push_back(std::move(lines));
    }
  }
  const std::vector<CueTimes> times = timeCues(shown, durationMs, rules);
  std::vector<Cue> cues;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    cues.push_back(Cue{times[i].startMs, times[i].endMs, std::move(texts[i])});
  }
  return cues;
}

std::string cueTimestamp(std::int64_t ms, char fractionSeparator) {
  ms = std::max<std::int64_t>(ms, 0);
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld%c%03lld",
                static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                static_cast<long long>(ms / 1000 % 60), fractionSeparator,
                static_cast<long long>(ms % 1000));
  return text;
}

std::string formatSrt(const std::vector<Cue>& cues) {
  std::string out;
  for (std::size_t i = 0; i < cues.size(); ++i) {
    out += std::to_string(i + 1) + "\n";
    out += cueTimestamp(cues[i].startMs, ',') + " --> " + cueTimestamp(cues[i].endMs, ',') + "\n";
    for (const std::string& line : cues[i].lines) {
      out += line + "\n";
    }
    out += "\n";
  }
  return out;
}

std::string formatVtt(const std::vector<Cue>& cues) {
  std::string out = "WEBVTT\n\n";
  for (const Cue& cue : cues) {
    out += cueTimestamp(cue.startMs, '.') + " --> " + cueTimestamp(cue.endMs, '.') + "\n";
    for (const std::string& line : cue.lines) {
      out += escapeVtt(line) + "\n";
    }
    out += "\n";
  }
  return out;
}

}  // namespace quelvar::caption
