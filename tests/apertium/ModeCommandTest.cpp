// Reading a mode's programs from its shell command line, without a shell.
#include <gtest/gtest.h>

#include "platform/linux/apertium/ApertiumError.hpp"
#include "platform/linux/apertium/ModeCommand.hpp"

namespace quelvar::apertium {
namespace {

using Programs = std::vector<ProgramCommand>;

Programs parsed(std::string_view line, const ModeOptions& options = {}) {
  auto programs = parseModeCommand(line, options);
  EXPECT_TRUE(programs.ok()) << line << ": " << (programs.ok() ? "" : programs.error().description);
  return programs.ok() ? programs.value() : Programs{};
}

TEST(ModeCommand, splitsProgramsAndPutsEveryOneInNulFlushMode) {
  const char* line =
      "lt-proc '/usr/share/apertium/apertium-eng-spa/eng-spa.automorf.bin' | "
      "apertium-tagger -g $2 '/usr/share/apertium/apertium-eng-spa/eng-spa.prob' | "
      "apertium-pretransfer | lt-proc $1 '/x/eng-spa.autogen.bin' | lt-proc -p '/x/pgen.bin'\n";
  Programs expected = {
      {"lt-proc", "-z", "/usr/share/apertium/apertium-eng-spa/eng-spa.automorf.bin"},
      {"apertium-tagger", "-z", "-g", "/usr/share/apertium/apertium-eng-spa/eng-spa.prob"},
      {"apertium-pretransfer", "-z"},
      {"lt-proc", "-z", "-n", "/x/eng-spa.autogen.bin"},
      {"lt-proc", "-z", "-p", "/x/pgen.bin"},
  };
  EXPECT_EQ(parsed(line), expected);
}

TEST(ModeCommand, fillsInPlaceholdersAndUnderstandsQuotes) {
  ModeOptions options{"-g", "-m"};
  EXPECT_EQ(parsed("lt-proc $1 a | apertium-tagger -g $2 b", options),
            (Programs{{"lt-proc", "-z", "-g", "a"}, {"apertium-tagger", "-z", "-g", "-m", "b"}}));
  EXPECT_EQ(parsed("p 'it''s' \"a \\\"b\\\" $1\" c\\ d ''"),
            (Programs{{"p", "-z", "its", "a \"b\" -n", "c d", ""}}));
  EXPECT_EQ(parsed("cg-proc -z 'a|b'"), (Programs{{"cg-proc", "-z", "a|b"}}));
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

}  // namespace
}  // namespace quelvar::apertium
