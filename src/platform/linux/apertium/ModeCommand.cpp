// The programs of an Apertium mode, read from the mode file's shell command line.
#include "platform/linux/apertium/ModeCommand.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>

#include "platform/linux/apertium/ApertiumError.hpp"

namespace quelvar::apertium {
namespace {

PlatformError refused(std::string_view why) {
  return makeError(ErrorCode::badMode, "Unsupported mode command line: " + std::string(why));
}

class Parser {
 public:
  Parser(std::string_view line, const ModeOptions& options) : line_(line), options_(options) {}

  Expected<std::vector<ProgramCommand>> run() {
    while (pos_ < line_.size()) {
      char c = line_[pos_];
      if (c == ' ' || c == '\t') {
        endWord();
        ++pos_;
      } else if (c == '\n') {
        if (line_.find_first_not_of(" \t\n", pos_) != std::string_view::npos) {
          return refused("several lines");
        }
        endWord();
        pos_ = line_.size();
      } else if (c == '|') {
        endWord();
        if (!endProgram()) {
          return refused("empty program or variable assignment");
        }
        ++pos_;
      } else if (c == '\'') {
        if (!singleQuoted()) {
          return refused("unterminated quote");
        }
      } else if (c == '"') {
        if (!doubleQuoted()) {
          return refused("unterminated or unsupported double quote");
        }
      } else if (c == '\\') {
        if (pos_ + 1 >= line_.size() || line_[pos_ + 1] == '\n') {
          return refused("dangling backslash");
        }
        append(line_[pos_ + 1]);
        pos_ += 2;
      } else if (c == '$') {
        if (!placeholder()) {
          return refused("expansion other than $1 and $2");
        }
      } else if ((c == '#' || c == '~' || c == '!') && !inWord_) {
        return refused(std::string("shell character ") + c);
      } else if (std::string_view(";&<>()`*?{").find(c) != std::string_view::npos) {
        return refused(std::string("shell character ") + c);
      } else {
        append(c);
        ++pos_;
      }
    }
    endWord();
    if (!endProgram()) {
      return refused("empty program or variable assignment");
    }
    return std::move(programs_);
  }

 private:
  void append(char c) {
    word_ += c;
    inWord_ = true;
  }

  void endWord() {
    if (inWord_) {
      current_.push_back(std::move(word_));
    }
    word_.clear();
    inWord_ = false;
  }

  bool endProgram() {
    if (current_.empty() || current_.front().find('=') != std::string::npos) {
      return false;  // no program, or a variable assignment in its place
    }
    if (std::find(current_.begin() + 1, current_.end(), "-z") == current_.end()) {
      current_.insert(current_.begin() + 1, "-z");
    }
    programs_.push_back(std::move(current_));
    current_.clear();
    return true;
  }

  bool singleQuoted() {
    auto close = line_.find('\'', pos_ + 1);
    if (close == std::string_view::npos) {
      return false;
    }
    word_.append(line_.substr(pos_ + 1, close - pos_ - 1));
    inWord_ = true;
    pos_ = close + 1;
    return true;
  }

  bool doubleQuoted() {
    inWord_ = true;
    for (++pos_; pos_ < line_.size(); ++pos_) {
      char c = line_[pos_];
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c == '\\' && pos_ + 1 < line_.size() &&
          std::string_view("\"\\$`").find(line_[pos_ + 1]) != std::string_view::npos) {
        word_ += line_[++pos_];
      } else if (c == '$') {
        auto value = placeholderValue();
        if (!value) {
          return false;
        }
        word_ += *value;  // the loop steps over the digit
      } else if (c == '`') {
        return false;
      } else {
        word_ += c;
      }
    }
    return false;
  }

  // At a '$': the value of $1 or $2, leaving pos_ on the digit.
  std::optional<std::string> placeholderValue() {
    if (pos_ + 1 >= line_.size()) {
      return std::nullopt;
    }
    char digit = line_[pos_ + 1];
    if (digit != '1' && digit != '2') {
      return std::nullopt;
    }
    ++pos_;
    return digit == '1' ? options_.generator : options_.tagger;
  }

  // An unquoted placeholder; like the shell, an empty value adds no word of its own.
  bool placeholder() {
    auto value = placeholderValue();
    if (!value) {
      return false;
    }
    ++pos_;
    word_ += *value;
    inWord_ = inWord_ || !value->empty();
    return true;
  }

  std::string_view line_;
  const ModeOptions& options_;
  std::size_t pos_ = 0;
  std::string word_;
  bool inWord_ = false;
  ProgramCommand current_;
  std::vector<ProgramCommand> programs_;
};

}  // namespace

Expected<std::vector<ProgramCommand>> parseModeCommand(std::string_view line,
                                                       const ModeOptions& options) {
  return Parser(line, options).run();
}

Expected<std::vector<ProgramCommand>> readModeFile(const std::filesystem::path& file,
                                                   const ModeOptions& options) {
  std::ifstream in(file, std::ios::binary);
  std::string line(std::istreambuf_iterator<char>(in), {});
  if (!in.is_open() || in.bad()) {
    return makeError(ErrorCode::badMode, "Cannot read the mode file " + file.string() + ".");
  }
  return parseModeCommand(line, options);
}

}  // namespace quelvar::apertium
