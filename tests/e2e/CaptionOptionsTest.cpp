// The caption client's command line, output names and advice on host errors.
#include <gtest/gtest.h>

#include "caption/CaptionOptions.hpp"
#include "caption/HostErrors.hpp"

namespace quelvar::caption {
namespace {

std::variant<Options, std::string> parse(std::vector<const char*> args) {
  args.insert(args.begin(), "quelvar-caption");
  return parseOptions(static_cast<int>(args.size()), args.data());
}

TEST(CaptionOptions, ReadsWhatIsGiven) {
  const auto plain = parse({"talk.flac"});
  ASSERT_TRUE(std::holds_alternative<Options>(plain));
  const Options& defaults = std::get<Options>(plain);
  EXPECT_EQ(defaults.input, "talk.flac");
  EXPECT_EQ(defaults.source, "en");
  EXPECT_EQ(defaults.target, "es");
  EXPECT_EQ(defaults.maxSpeed, 4.0);
  EXPECT_FALSE(defaults.realtime);
  EXPECT_EQ(defaults.text, CueText::both);

  const auto full =
      parse({"-s", "es", "--target=en", "--srt", "a.srt", "--vtt=b.vtt", "--text", "source-first",
             "--max-speed", "2.5", "--host", "/x/QuelvarSpeech", "talk.flac"});
  ASSERT_TRUE(std::holds_alternative<Options>(full)) << std::get<std::string>(full);
  const Options& options = std::get<Options>(full);
  EXPECT_EQ(options.source, "es");
  EXPECT_EQ(options.target, "en");
  EXPECT_EQ(options.srtPath, "a.srt");
  EXPECT_EQ(options.vttPath, "b.vtt");
  EXPECT_EQ(options.text, CueText::sourceFirst);
  EXPECT_EQ(options.maxSpeed, 2.5);
  EXPECT_EQ(options.hostPath, "/x/QuelvarSpeech");

  EXPECT_TRUE(std::get<Options>(parse({"--demo"})).demo);
  EXPECT_TRUE(std::get<Options>(parse({"--realtime", "a.wav"})).realtime);
  EXPECT_TRUE(std::get<Options>(parse({"--help"})).help);
  EXPECT_EQ(std::get<Options>(parse({"--", "-odd.wav"})).input, "-odd.wav");
}

TEST(CaptionOptions, RefusesWhatMakesNoSense) {
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
      {{"--max-speed", "17", "a.wav"}, "--max-speed takes a number from 1 to 16"},
      {{"--max-speed", "fast", "a.wav"}, "--max-speed takes a number from 1 to 16"},
      {{"--max-speed", "2", "--realtime", "a.wav"}, "contradict"},
  };
  for (const auto& c : cases) {
    const auto parsed = parse(c.args);
    ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << c.complaint;
    EXPECT_NE(std::get<std::string>(parsed).find(c.complaint), std::string::npos)
        << std::get<std::string>(parsed);
  }
}

TEST(CaptionOptions, NamesOutputAfterTheInputInTheCurrentDirectory) {
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

TEST(HostErrors, NameThePackageToInstall) {
  const struct {
    const char* code;
    const char* advice;
  } cases[] = {
      {"SPEECH_UNSUPPORTED", "sudo apt install pocketsphinx-en-us"},
      {"SPEECH_MODELS_MISSING", "sudo apt install pocketsphinx-en-us"},
      {"MODELS_NOT_INSTALLED", "sudo apt install apertium-eng-spa"},
      {"SPEECH_UNAVAILABLE", "pocketsphinx-en-us and apertium"},
      {"UNSUPPORTED_PAIR", "two different language codes"},
  };
  for (const auto& c : cases) {
    const std::string advice = explainStartError(c.code, "", "en", "es");
    EXPECT_NE(advice.find(c.code), std::string::npos) << advice;
    EXPECT_NE(advice.find(c.advice), std::string::npos) << advice;
    EXPECT_EQ(advice.back(), '\n');
  }
  EXPECT_NE(explainStartError("SPEECH_UNAVAILABLE", "Speech 3", "en", "es").find("(Speech 3)"),
            std::string::npos);
}

}  // namespace
}  // namespace quelvar::caption
