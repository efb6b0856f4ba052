// The caption client's command line and the names of its output.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "caption/CaptionOptions.hpp"

namespace quelvar::caption {
namespace {

using ::testing::HasSubstr;

std::variant<Options, std::string> parse(std::vector<const char*> args) {
  args.insert(args.begin(), "quelvar-caption");
  return parseOptions(static_cast<int>(args.size()), args.data());
}

TEST(CaptionOptions, refusesWhatMakesNoSense) {
  const struct {
    std::vector<const char*> args;
    const char* complaint;
  } cases[] = {
      {{}, "no audio file given"},
      {{"a.wav", "b.wav"}, "only one audio file at a time"},
      {{"--frobnicate", "a.wav"}, "unknown option --frobnicate"},
      {{"--srt=", "a.wav"}, "--srt needs a value"},
      {{"--text", "bilingual", "a.wav"}, "--text takes both, source-first, translation or source"},
      {{"--max-speed", "0.5", "a.wav"}, "--max-speed takes a number from 1 to 16"},
      {{"--max-speed", "17", "a.wav"}, "--max-speed takes a number from 1 to 16"},
      {{"--max-speed", "2", "--realtime", "a.wav"}, "contradict"},
  };
  for (const auto& c : cases) {
    const auto parsed = parse(c.args);
    ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << c.complaint;
    EXPECT_THAT(std::get<std::string>(parsed), HasSubstr(c.complaint));
  }
}

TEST(CaptionOptions, namesOutputAfterTheInputInTheCurrentDirectory) {
  const struct {
    const char* input;
    const char* srt;
  } cases[] = {
      {"/home/me/Music/talk.v2.flac", "talk.v2.es.srt"},
      {".hidden", ".hidden.es.srt"},
      {"dir/", "captions.es.srt"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(defaultOutputPath(c.input, "es", "srt"), c.srt) << c.input;
  }
}

}  // namespace
}  // namespace quelvar::caption
