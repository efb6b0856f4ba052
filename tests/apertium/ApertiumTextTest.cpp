// Apertium's text formats without a program running: language codes, mode command lines, the
// stream format and the probe that tells a direction that passes its words through.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "platform/linux/apertium/ApertiumError.hpp"
#include "platform/linux/apertium/LanguageCodes.hpp"
#include "platform/linux/apertium/ModeCommand.hpp"
#include "platform/linux/apertium/Probe.hpp"
#include "platform/linux/apertium/StreamText.hpp"

namespace quelvar::apertium {
namespace {

using Codes = std::vector<std::string>;

TEST(LanguageCodes, tagsGiveCodesInBothStylesMostSpecificFirst) {
  const std::pair<std::string, Codes> rows[] = {
      {"en", {"eng", "en"}},
      {"EN", {"eng", "en"}},
      {"en-US", {"eng_US", "en_US", "eng", "en"}},
      {"ca-ES-valencia", {"cat_valencia", "ca_valencia", "cat_ES", "ca_ES", "cat", "ca"}},
      {"oc-aranes", {"oci_aran", "oc_aran", "oci", "oc"}},
      {"no", {"nor", "no", "nob"}},
      {"ms", {"msa", "ms", "zlm"}},
      {"ast", {"ast"}},
      {"zh-Hans", {"zho", "zh"}},
  };
  for (const auto& [tag, codes] : rows) {
    EXPECT_EQ(apertiumCodes(tag), codes) << tag;
  }
  for (const char* tag : {"", "und", "x", "en us", "es_ES", "123", "toolongtagaaaaaa"}) {
    EXPECT_THAT(apertiumCodes(tag), ::testing::IsEmpty()) << tag;
  }
}

TEST(LanguageCodes, codesGiveTagsAndOnlyTwoOrThreeLetterLanguagesAreCodes) {
  const std::pair<std::string, std::optional<std::string>> rows[] = {
      {"en", "en"},
      {"srd", "sc"},
      {"zlm", "ms"},
      {"eng_US", "en-US"},
      {"cat_valencia", "ca-valencia"},
      {"hbs", "hbs"},
      {"oci_aran", "oc-aranes"},
      {"e", std::nullopt},
      {"engl", std::nullopt},
      {"eng_x", std::nullopt},
      {"eng_US_x", std::nullopt},
  };
  for (const auto& [code, tag] : rows) {
    EXPECT_EQ(languageTag(code), tag) << code;
  }
}

using Programs = std::vector<ProgramCommand>;

// Every program is put in NUL-flush mode; $1 is the generator's option, $2 the tagger's.
TEST(ModeCommand, splitsProgramsFillsInPlaceholdersAndUnderstandsQuotes) {
  const std::tuple<std::string, ModeOptions, Programs> rows[] = {
      {"lt-proc '/x/automorf.bin' | apertium-tagger -g $2 '/x/eng.prob' | apertium-pretransfer | "
       "lt-proc $1 '/x/autogen.bin'\n",
       {},
       {{"lt-proc", "-z", "/x/automorf.bin"},
        {"apertium-tagger", "-z", "-g", "/x/eng.prob"},
        {"apertium-pretransfer", "-z"},
        {"lt-proc", "-z", "-n", "/x/autogen.bin"}}},
      {"lt-proc $1 a | apertium-tagger -g $2 b",
       {"-g", "-m"},
       {{"lt-proc", "-z", "-g", "a"}, {"apertium-tagger", "-z", "-g", "-m", "b"}}},
      {"p 'it''s' \"a \\\"b\\\" $1\" c\\ d ''", {}, {{"p", "-z", "its", "a \"b\" -n", "c d", ""}}},
      {"cg-proc -z 'a|b'", {}, {{"cg-proc", "-z", "a|b"}}},
  };
  for (const auto& [line, options, programs] : rows) {
    auto parsed = parseModeCommand(line, options);
    ASSERT_TRUE(parsed.ok()) << line << ": " << parsed.error().description;
    EXPECT_EQ(parsed.value(), programs) << line;
  }
}

TEST(ModeCommand, refusesWhatOnlyAShellCouldRun) {
  for (const char* line :
       {"",      "   ",     "a |",      "| a",   "a || b",    "a > out",  "a < in",  "a; b",
        "a & b", "a && b",  "a $(b)",   "a `b`", "a $HOME",   "a ${1}",   "a *.bin", "LC_ALL=C a",
        "a\nb",  "a 'open", "a \"open", "a \\",  "# comment", "a ~/file", "a {x,y}"}) {
    auto programs = parseModeCommand(line);
    ASSERT_FALSE(programs.ok()) << line;
    EXPECT_TRUE(hasCode(programs.error(), ErrorCode::badMode)) << line;
  }
}

TEST(StreamText, splitsOffUnicodeWhitespaceAtBothEnds) {
  const std::tuple<std::string, std::string, std::string, std::string> rows[] = {
      {"  Hello \t world\n", "  ", "Hello \t world", "\n"},
      {"\xC2\xA0Hola\xE2\x80\x83", "\xC2\xA0", "Hola", "\xE2\x80\x83"},  // no-break and em space
      {" \n\t ", " \n\t ", "", ""},
      {"\xFF bad \xFE", "", "\xFF bad \xFE", ""},  // invalid UTF-8 counts as text
  };
  for (const auto& [text, leading, core, trailing] : rows) {
    auto parts = splitOuterWhitespace(text);
    EXPECT_EQ(std::tie(parts.leading, parts.core, parts.trailing),
              std::tie(leading, core, trailing))
        << text;
  }
}

TEST(StreamText, escapesReservedCharactersAndClosesTheSentence) {
  const std::pair<std::string, std::string> rows[] = {
      {"a^b$c[d]e{f}g/h\\i@j<k>l*m#n", "a\\^b\\$c\\[d\\]e\\{f\\}g\\/h\\\\i\\@j\\<k\\>l\\*m\\#n.[]"},
      {"x~y", "x[~]y.[]"},
      {std::string("a\0b", 3), "a b.[]"},
      {"di\xCC\x81"
       "as \xFF",
       "d\xC3\xAD"
       "as \xFF.[]"},  // NFC; invalid UTF-8 stays
  };
  for (const auto& [text, encoded] : rows) {
    EXPECT_EQ(encodeSegment(text), encoded);
  }
}

// Only an answer that carries the closing blank belongs to a segment; only the last one is ours.
TEST(StreamText, decodingResolvesEscapesOpensBlanksAndDropsTheSentenceEnd) {
  const std::tuple<std::string, std::string, bool> rows[] = {
      {"Hola Mundo..[]", "Hola Mundo.", true},
      {"a.[] b.[]", "a. b", true},
      {".[]", "", true},
      {"\\^b\\$ \\[c\\] \\\\", "^b$ [c] \\", false},
      {"uno[ \\]dos]tres", "uno ]dostres", false},
      {"", "", false},
  };
  for (const auto& [answer, decoded, belongs] : rows) {
    EXPECT_EQ(decodeSegment(answer), decoded);
    EXPECT_EQ(isAnswerToSegment(answer), belongs) << answer;
  }
}

TEST(Probe, anAnswerOfTheSameWordsInAnyOrderOrCaseIsUntranslated) {
  struct Row {
    const char* probe;
    const char* answer;
    bool untranslated;
  };
  const Row rows[] = {
      {"The red house", "The house red", true},  // reordered by the transfer rules only
      {"La casa roja", "LA CASA ROJA.", true},
      {"The red house", "La casa roja", false},
      {"La casa vermella", "A casa vermella", false},  // one word is enough
      {"La casa roja", "", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(isUntranslated(row.probe, row.answer), row.untranslated) << row.answer;
  }
  EXPECT_EQ(probeSentence("eng_US"), probeSentence("en"));
  EXPECT_EQ(probeSentence("deu"), std::nullopt);
}

}  // namespace
}  // namespace quelvar::apertium
