// The caption client end to end against a scriptable fake speech host, over real pipes.
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <regex>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "CaptionTestSupport.hpp"

namespace quelvar::caption::testing {
namespace {

// What the fake host saw, one entry per line of its log.
struct HostLog {
  std::vector<std::string> lines;
  std::vector<std::int64_t> sequences;
  std::vector<std::int64_t> sizes;

  explicit HostLog(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      lines.push_back(line);
      std::int64_t sequence = 0;
      std::int64_t size = 0;
      if (std::sscanf(line.c_str(), "pcm %ld %ld", &sequence, &size) == 2) {
        sequences.push_back(sequence);
        sizes.push_back(size);
      }
    }
  }
  bool has(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  std::int64_t totalBytes() const {
    return std::accumulate(sizes.begin(), sizes.end(), std::int64_t{0});
  }
};

class CaptionClient : public ::testing::Test {
 protected:
  void SetUp() override { writeTone(dir.file("tone.wav"), 44100, {0.5f, 0.5f}, 3.0); }

  std::vector<std::string> command(std::vector<std::string> extra) const {
    std::vector<std::string> args{QUELVAR_CAPTION_CLIENT, "--host", QUELVAR_CAPTION_FAKE_HOST};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
  std::vector<std::string> env(std::vector<std::string> extra = {}) const {
    extra.push_back("QUELVAR_FAKE_LOG=" + dir.file("host.log"));
    return extra;
  }
  RunResult run(std::vector<std::string> extra, std::vector<std::string> extraEnv = {},
                std::chrono::seconds timeout = std::chrono::seconds(60)) const {
    return runProgram(command(std::move(extra)), env(std::move(extraEnv)), dir.path(), timeout);
  }
  HostLog hostLog() const { return HostLog(readFile(dir.file("host.log"))); }
  std::vector<ParsedCue> srt(const std::string& name = "tone.es.srt") const {
    std::optional<std::vector<ParsedCue>> cues = parseSrt(readFile(dir.file(name)));
    EXPECT_TRUE(cues.has_value()) << readFile(dir.file(name));
    return cues.value_or(std::vector<ParsedCue>{});
  }

  TempDir dir;
};

// 3 s of tone and 1 s of trailing silence, 16-bit at 16000 Hz; the resampler may hold back a few
// milliseconds of it.
constexpr std::int64_t kStreamBytes = 4 * 32000;

TEST_F(CaptionClient, StreamsTheWholeFileAndWritesSubtitlesOfTheFinalCaptions) {
  const RunResult result = run({"--max-speed", "16", "tone.wav"});
  ASSERT_EQ(result.exitCode, 0) << result.err;

  const HostLog log = hostLog();
  EXPECT_TRUE(std::regex_match(log.lines.at(1), std::regex("args 1 chrome-extension://[a-p]{32}/")))
      << log.lines.at(1);
  EXPECT_TRUE(log.has("start en es"));
  ASSERT_FALSE(log.sequences.empty());
  for (std::size_t i = 0; i < log.sequences.size(); ++i) {
    EXPECT_EQ(log.sequences[i], static_cast<std::int64_t>(i));
    EXPECT_GT(log.sizes[i], 0);
    EXPECT_LE(log.sizes[i], 32000);
    EXPECT_EQ(log.sizes[i] % 2, 0);
  }
  EXPECT_GE(log.totalBytes(), kStreamBytes - 3200);
  EXPECT_LE(log.totalBytes(), kStreamBytes);
  EXPECT_EQ(log.lines.end()[-2], "stop");
  EXPECT_EQ(log.lines.back(), "eof");

  // Not a terminal: only the final captions, one per line, translation first.
  EXPECT_EQ(result.out,
            "frase 0\tword word word word 0\nfrase 1\tword word word word 1\n"
            "frase 2\tword word word word 2\n");
  const std::vector<ParsedCue> cues = srt();
  ASSERT_EQ(cues.size(), 3U);
  std::int64_t previousEnd = 0;
  for (std::size_t i = 0; i < cues.size(); ++i) {
    const std::string n = std::to_string(i);
    EXPECT_EQ(cues[i].lines, (std::vector<std::string>{"frase " + n, "word word word word " + n}));
    EXPECT_GE(cues[i].startMs, previousEnd);
    EXPECT_LT(cues[i].startMs, cues[i].endMs);
    previousEnd = cues[i].endMs;
  }
  EXPECT_LE(previousEnd, 3000);
  const std::string vtt = readFile(dir.file("tone.es.vtt"));
  EXPECT_EQ(vtt.rfind("WEBVTT\n\n", 0), 0U);
  EXPECT_NE(vtt.find("frase 2\nword word word word 2\n"), std::string::npos);
  EXPECT_NE(result.err.find("wrote 3 subtitles"), std::string::npos) << result.err;
}

TEST_F(CaptionClient, WritesWhereItIsToldAndShowsTheChosenText) {
  const std::vector<std::string> args{"-t",          "fr",     "--srt",  "out/a.srt",
                                      "--vtt=b.vtt", "--text", "source", "--max-speed=16",
                                      "tone.wav"};
  const RunResult unwritable = run(args);
  ASSERT_EQ(unwritable.exitCode, 1) << "the out/ folder does not exist";
  EXPECT_NE(unwritable.err.find("cannot write out/a.srt"), std::string::npos) << unwritable.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("host.log"))) << "found before streaming";
  std::filesystem::create_directory(dir.file("out"));
  const RunResult again = run(args);
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_TRUE(hostLog().has("start en fr"));
  const std::vector<ParsedCue> cues = srt("out/a.srt");
  ASSERT_EQ(cues.size(), 3U);
  EXPECT_EQ(cues[0].lines, std::vector<std::string>{"word word word word 0"});
  EXPECT_TRUE(std::filesystem::exists(dir.file("b.vtt")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("tone.fr.srt")));
}

// A host may send up to 1 MiB; what it says reaches the terminal without its control characters.
TEST_F(CaptionClient, TakesLongCaptionsAndPrintsNoControlCharacters) {
  const RunResult result = run({"--max-speed", "16", "tone.wav"}, {"QUELVAR_FAKE_LONG=1"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out.rfind("frase 0 \uFFFD[2J" + std::string(70000, 'x') + "\tword", 0), 0U);
  EXPECT_EQ(srt().size(), 3U);
}

// The advice for each code is tested in CaptionOptionsTest; this is the path to the user.
TEST_F(CaptionClient, ExplainsWhatToInstallWhenTheHostCannotStart) {
  const RunResult result = run({"tone.wav"}, {"QUELVAR_FAKE_START_ERROR=MODELS_NOT_INSTALLED"});
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_NE(result.err.find("MODELS_NOT_INSTALLED"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("sudo apt install apertium-eng-spa"), std::string::npos) << result.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("tone.es.srt")));
  EXPECT_EQ(hostLog().lines.back(), "eof");
}

// A chunk is offered four times more; the fifth refusal loses it.
TEST_F(CaptionClient, OffersADroppedChunkAgainAndSlowsDown) {
  const RunResult result = run({"--max-speed", "16", "tone.wav"}, {"QUELVAR_FAKE_OVERLOAD=3-6"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("slowing down to 8x"), std::string::npos) << result.err;
  const HostLog log = hostLog();
  for (std::size_t again = 4; again <= 7; ++again) {
    EXPECT_EQ(log.sizes.at(3), log.sizes.at(again)) << "the same chunk again";
  }
  EXPECT_GE(log.totalBytes() - 4 * log.sizes.at(3), kStreamBytes - 3200);
  EXPECT_EQ(srt().size(), 3U);
}

TEST_F(CaptionClient, SaysSoWhenAudioStaysLost) {
  const RunResult result = run({"tone.wav"}, {"QUELVAR_FAKE_OVERLOAD=3-7"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("dropped 250 ms of audio at 00:00"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("incomplete"), std::string::npos) << result.err;
  EXPECT_FALSE(srt().empty()) << "what was captioned is still written";
}

// Out of step, every later chunk would be refused too.
TEST_F(CaptionClient, StopsStreamingWhenTheNumberingIsOutOfStep) {
  const RunResult result = run({"--max-speed", "16", "tone.wav"}, {"QUELVAR_FAKE_REFUSE=4"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("AUDIO_SEQUENCE"), std::string::npos) << result.err;
  const HostLog log = hostLog();
  EXPECT_EQ(log.sequences.back(), 4);
  EXPECT_EQ(log.lines.back(), "eof");
}

TEST_F(CaptionClient, ReportsAHostThatDiesPartWay) {
  const RunResult result = run({"tone.wav"}, {"QUELVAR_FAKE_CRASH_AFTER=6"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("ended the session unexpectedly"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("exit status 1"), std::string::npos) << result.err;
  // The final caption before the crash, and the partial one of the segment it cut short.
  const std::vector<ParsedCue> cues = srt();
  ASSERT_EQ(cues.size(), 2U);
  EXPECT_EQ(cues[1].lines, (std::vector<std::string>{"frase 1", "word word 1"}));
}

// A host that does not end by itself is killed after a bounded wait, and reaped.
TEST_F(CaptionClient, ReportsAHostThatEndsBadly) {
  for (const auto& [setting, message] :
       {std::pair{"QUELVAR_FAKE_EXIT=1", "the speech host ended with exit status 1"},
        std::pair{"QUELVAR_FAKE_HANG=1", "killed after it did not end by itself"}}) {
    const RunResult result =
        run({"--max-speed", "16", "tone.wav"}, {setting}, std::chrono::seconds(30));
    EXPECT_EQ(result.exitCode, 1) << setting;
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
  }
}

TEST_F(CaptionClient, StopsInOrderOnCtrlC) {
  Spawned spawned = spawnProgram(command({"--realtime", "tone.wav"}), env(), dir.path());
  // Bounded wait for the session to be under way; the assertions below do not depend on timing.
  for (int i = 0; i < 500 && !hostLog().has("pcm 2 8000"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(spawned.child.pid(), SIGINT);
  const RunResult result = waitProgram(spawned, std::chrono::seconds(30));
  EXPECT_EQ(result.exitCode, 130) << result.err;
  EXPECT_NE(result.err.find("interrupted at"), std::string::npos) << result.err;
  const HostLog log = hostLog();
  EXPECT_TRUE(log.has("stop"));
  EXPECT_EQ(log.lines.back(), "eof");
  EXPECT_LT(log.totalBytes(), kStreamBytes);
  srt();
}

TEST_F(CaptionClient, RefusesWhatItCannotUse) {
  std::ofstream(dir.file("notes.txt")) << "not audio";
  const struct {
    std::vector<std::string> args;
    int exitCode;
    const char* message;
  } cases[] = {
      {{"notes.txt"}, 1, "cannot read notes.txt"},
      {{"missing.wav"}, 1, "cannot read missing.wav"},
      {{"--max-speed", "0.5", "tone.wav"}, 2, "--max-speed takes a number from 1 to 16"},
  };
  for (const auto& c : cases) {
    const RunResult result = run(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.message;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("host.log"))) << "no host was started";
  const RunResult missingHost = runProgram(
      {QUELVAR_CAPTION_CLIENT, "--host", dir.file("nothing"), "tone.wav"}, {}, dir.path());
  EXPECT_EQ(missingHost.exitCode, 1);
  EXPECT_NE(missingHost.err.find("cannot run the speech host"), std::string::npos)
      << missingHost.err;
}

}  // namespace
}  // namespace quelvar::caption::testing
