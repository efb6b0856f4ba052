// Sentences that show whether a translation direction translates at all.
#include "platform/linux/apertium/Probe.hpp"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <array>
#include <set>
#include <utility>

namespace quelvar::apertium {
namespace {

// A damaged bilingual dictionary loads and passes every word through untranslated, though the
// transfer rules may still reorder them; so the probes are noun phrases without verbs (whose
// lemmas would come out), and an answer made of the same words means the direction is broken.
// Only languages whose pairs change at least one of these words are listed: a false alarm would
// hide a working direction.
constexpr std::array<std::pair<std::string_view, std::string_view>, 12> probes{{
    {"eng", "The red house"},
    {"en", "The red house"},
    {"spa", "La casa roja"},
    {"es", "La casa roja"},
    {"fra", "La maison rouge"},
    {"fr", "La maison rouge"},
    {"cat", "La casa vermella"},
    {"ca", "La casa vermella"},
    {"por", "A casa vermelha"},
    {"pt", "A casa vermelha"},
    {"ita", "La casa rossa"},
    {"it", "La casa rossa"},
}};

// The words of a text, case folded, each once, in order.
std::set<std::u32string> wordsOf(std::string_view text) {
  icu::UnicodeString folded =
      icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())))
          .foldCase();
  std::set<std::u32string> words;
  std::u32string word;
  for (int32_t i = 0; i < folded.length(); i = folded.moveIndex32(i, 1)) {
    const UChar32 c = folded.char32At(i);
    if (u_isalpha(c)) {
      word += static_cast<char32_t>(c);
    } else if (!word.empty()) {
      words.insert(std::move(word));
      word.clear();
    }
  }
  if (!word.empty()) {
    words.insert(std::move(word));
  }
  return words;
}

}  // namespace

std::optional<std::string> probeSentence(std::string_view code) {
  const std::string_view language = code.substr(0, code.find('_'));
  for (const auto& [known, sentence] : probes) {
    if (known == language) {
      return std::string(sentence);
    }
  }
  return std::nullopt;
}

bool isUntranslated(std::string_view probe, std::string_view answer) {
  return wordsOf(probe) == wordsOf(answer);
}

}  // namespace quelvar::apertium
