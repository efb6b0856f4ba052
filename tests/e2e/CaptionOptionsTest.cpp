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

TEST(CaptionOptions, putsEachValueWhereItBelongs) {
  const auto full =
      parse({"-s", "es", "--target=en", "--srt", "a.srt", "--vtt=b.vtt", "--text", "source-first",
             "--max-speed", "2.5", "--host", "/x/QuelvarSpeech", "talk.flac"});
  ASSERT_TRUE(std::holds_alternative<Options>(full)) << std::get<std::string>(full);
  const Options& options = std::get<Options>(full);
  EXPECT_EQ(options.input, "talk.flac");
  EXPECT_EQ(options.source, "es");
  EXPECT_EQ(options.target, "en");
  EXPECT_EQ(options.srtPath, "a.srt");
  EXPECT_EQ(options.vttPath, "b.vtt");
  EXPECT_EQ(options.text, CueText::sourceFirst);
  EXPECT_EQ(options.maxSpeed, 2.5);
  EXPECT_EQ(options.hostPath, "/x/QuelvarSpeech");
  EXPECT_TRUE(std::get<Options>(parse({"--demo"})).demo);
  EXPECT_TRUE(std::get<Options>(parse({"--realtime", "a.wav"})).realtime);
  EXPECT_EQ(std::get<Options>(parse({"--", "-odd.wav"})).input, "-odd.wav");
}

TEST(CaptionOptions, refusesWhatMakesNoSense) {
  const struct {
    std::vector<const char*> args;
    const char* complaint;
  } cases[] = {
      {{}, "no audio file given"},
      {{"a.wav", "b.wav"}, "only one audio file at a time"},
      {{"--demo", "a.wav"}, "give either --demo or an audio file"},
      {{"--frobnicate", "a.wav"}, "unknown option --frobnicate"},
      {{"a.wav", "--target"}, "--target needs a value"},
      {{"--srt=", "a.wav"}, "--srt needs a value"},
      {{"--text", "bilingual", "a.wav"}, "--text takes both, source-first, translation or source"},
      {{"--max-speed", "0.5", "a.wav"}, "--max-speed takes a number from 1 to 16"},
      {{"--max-speed", "17", "a.wav"}, "--max-speed takes a number from 1 to 16"},
      {{"--max-speed", "fast", "a.wav"}, "--max-speed takes a number from 1 to 16"},
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
      {"talk.mp3", "talk.es.srt"},           {"/home/me/Music/talk.v2.flac", "talk.v2.es.srt"},
      {"noextension", "noextension.es.srt"}, {".hidden", ".hidden.es.srt"},
      {"dir/", "captions.es.srt"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(defaultOutputPath(c.input, "es", "srt"), c.srt) << c.input;
  }
}

}  // namespace
}  // namespace quelvar::caption
