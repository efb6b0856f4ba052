// The flat object reader: a strict subset of JSON, scanned once.
#include "QuelvarSpeech/FlatObject.hpp"

namespace quelvar {

namespace {

constexpr int kMaxDigits = 18;  // any such integer fits in 64 bits

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool atEnd() const { return at_ == text_.size(); }

  void skipSpace() {
    while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) {
      ++at_;
    }
  }

  bool take(char c) {
    skipSpace();
    if (atEnd() || peek() != c) {
      return false;
    }
    ++at_;
    return true;
  }

  // Printable ASCII up to the closing quote; an escape or any other byte is not ours to read.
  std::optional<std::string_view> string() {
    if (!take('"')) {
      return std::nullopt;
    }
    const std::size_t start = at_;
    while (!atEnd() && peek() != '"') {
      if (peek() < 0x20 || peek() > 0x7e || peek() == '\\') {
        return std::nullopt;
      }
      ++at_;
    }
    if (atEnd()) {
      return std::nullopt;
    }
    return text_.substr(start, at_++ - start);
  }

  // JSON's integer form only: a fraction or an exponent is left to the full parser.
  std::optional<std::int64_t> integer() {
    const bool negative = !atEnd() && peek() == '-';
    at_ += negative ? 1 : 0;
    const std::size_t start = at_;
    std::int64_t value = 0;
    while (!atEnd() && peek() >= '0' && peek() <= '9') {
      value = value * 10 + (peek() - '0');
      if (++at_ - start > kMaxDigits) {
        return std::nullopt;
      }
    }
    const std::size_t digits = at_ - start;
    if (digits == 0 || (digits > 1 && text_[start] == '0') ||
        (!atEnd() && (peek() == '.' || peek() == 'e' || peek() == 'E'))) {
      return std::nullopt;
    }
    return negative ? -value : value;
  }

  std::optional<FlatValue> value() {
    skipSpace();
    if (atEnd()) {
      return std::nullopt;
    }
    if (peek() == '"') {
      return string();
    }
    return integer();
  }

 private:
  unsigned char peek() const { return static_cast<unsigned char>(text_[at_]); }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

std::optional<FlatObject> FlatObject::read(std::string_view body) {
  Scanner in(body);
  FlatObject object;
  if (!in.take('{')) {
    return std::nullopt;
  }
  if (!in.take('}')) {
    do {
      const std::optional<std::string_view> key = in.string();
      if (!key || !in.take(':')) {
        return std::nullopt;
      }
      std::optional<FlatValue> value = in.value();
      if (!value) {
        return std::nullopt;
      }
      object.members_.emplace_back(*key, *value);
    } while (in.take(','));
    if (!in.take('}')) {
      return std::nullopt;
    }
  }
  in.skipSpace();
  if (!in.atEnd()) {
    return std::nullopt;
  }
  return object;
}

const FlatValue* FlatObject::find(std::string_view key) const {
  for (auto member = members_.rbegin(); member != members_.rend(); ++member) {
    if (member->first == key) {
      return &member->second;
    }
  }
  return nullptr;
}

}  // namespace quelvar
