// The caption client end to end against a scriptable fake speech host, over real pipes.
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <sstream>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CaptionTestSupport.hpp"

namespace quelvar::caption::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::StartsWith;

// What the fake host saw, one entry per line of its log.
struct HostLog {
  std::vector<std::string> lines;
  std::vector<std::int64_t> sequences;
  std::vector<std::int64_t> sizes;

  explicit HostLog(const std::string& text) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      lines.push_back(line);
      std::int64_t sequence = 0;
      std::int64_t size = 0;
      if (std::sscanf(line.c_str(), "pcm %ld %ld", &sequence, &size) == 2) {
        sequences.push_back(sequence);
        sizes.push_back(size);
      }
    }
  }
  std::int64_t totalBytes() const {
    return std::accumulate(sizes.begin(), sizes.end(), std::int64_t{0});
  }
};

// 3 s of tone and 6 s of trailing silence, 16-bit at 16000 Hz; the resampler may hold back a few
// milliseconds of it.
constexpr std::int64_t kStreamBytes = 9 * 32000;
constexpr std::int64_t kResamplerSlack = 3200;
const char* const kThreeFinals =
    "frase 0\tword word word word 0\nfrase 1\tword word word word 1\n"
    "frase 2\tword word word word 2\n";

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
  // One run from a clean slate: no host log or subtitles of an earlier run.
  RunResult run(std::vector<std::string> extra, std::vector<std::string> extraEnv = {}) const {
    for (const char* name : {"host.log", "tone.es.srt", "tone.es.vtt"}) {
      std::filesystem::remove(dir.file(name));
    }
    return runProgram(command(std::move(extra)), env(std::move(extraEnv)), dir.path(),
                      std::chrono::seconds(30));
  }
  HostLog hostLog() const { return HostLog(readFile(dir.file("host.log"))); }
  std::vector<ParsedCue> srt(const std::string& name = "tone.es.srt") const {
    std::optional<std::vector<ParsedCue>> cues = parseSrt(readFile(dir.file(name)));
    EXPECT_TRUE(cues.has_value()) << readFile(dir.file(name));
    return cues.value_or(std::vector<ParsedCue>{});
  }

  TempDir dir;
};

TEST_F(CaptionClient, streamsTheWholeFileInOrderAndWritesSubtitlesOfTheFinalCaptions) {
  const RunResult result = run({"--max-speed", "16", "tone.wav"});
  ASSERT_EQ(result.exitCode, 0) << result.err;

  const HostLog log = hostLog();
  EXPECT_THAT(log.lines.at(1), MatchesRegex("args 1 chrome-extension://[a-p]{32}/"));
  EXPECT_THAT(log.lines, Contains("start en es"));
  for (std::size_t i = 0; i < log.sequences.size(); ++i) {
    EXPECT_EQ(log.sequences[i], static_cast<std::int64_t>(i));
    EXPECT_TRUE(log.sizes[i] > 0 && log.sizes[i] <= 32000 && log.sizes[i] % 2 == 0) << log.sizes[i];
  }
  EXPECT_GE(log.totalBytes(), kStreamBytes - kResamplerSlack);
  EXPECT_LE(log.totalBytes(), kStreamBytes);
  EXPECT_THAT(std::vector(log.lines.end() - 2, log.lines.end()), ElementsAre("stop", "eof"));

  // Not a terminal: only the final captions, one per line, translation first.
  EXPECT_EQ(result.out, kThreeFinals);
  const std::vector<ParsedCue> cues = srt();
  ASSERT_EQ(cues.size(), 3U);
  EXPECT_THAT(cues[2].lines, ElementsAre("frase 2", "word word word word 2"));
  EXPECT_THAT(readFile(dir.file("tone.es.vtt")),
              AllOf(StartsWith("WEBVTT\n\n"), HasSubstr("frase 2\nword word word word 2\n")));
}

TEST_F(CaptionClient, checksItCanWriteBeforeStreamingAndUsesTheGivenLanguageFilesAndText) {
  const std::vector<std::string> args{"-t",          "fr",     "--srt",  "out/a.srt",
                                      "--vtt=b.vtt", "--text", "source", "--max-speed=16",
                                      "tone.wav"};
  const RunResult unwritable = run(args);
  EXPECT_EQ(unwritable.exitCode, 1) << "the out/ folder does not exist";
  EXPECT_THAT(unwritable.err, HasSubstr("cannot write out/a.srt"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("host.log"))) << "found before streaming";

  std::filesystem::create_directory(dir.file("out"));
  const RunResult result = run(args);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_THAT(hostLog().lines, Contains("start en fr"));
  const std::vector<ParsedCue> cues = srt("out/a.srt");
  ASSERT_EQ(cues.size(), 3U);
  EXPECT_THAT(cues[0].lines, ElementsAre("word word word word 0"));
  EXPECT_TRUE(std::filesystem::exists(dir.file("b.vtt")));
}

// Each way a session with the host can go, as the user sees it: exit status, what stderr says,
// how many subtitles were still written, and what the host was sent.
TEST_F(CaptionClient, reportsEveryWayTheSessionEndsAndKeepsWhatWasCaptioned) {
  const struct {
    const char* setting;
    int exitCode;
    const char* says;
    std::size_t cues;
    std::function<void(const RunResult&, const HostLog&)> check;
  } cases[] = {
      // A chunk is offered four times more; the fifth refusal loses it.
      {"QUELVAR_FAKE_OVERLOAD=3-6", 0, "slowing down to 8x", 3,
       [](const RunResult& result, const HostLog& log) {
         EXPECT_EQ(result.out, kThreeFinals);
         EXPECT_THAT(std::vector(log.sizes.begin() + 3, log.sizes.begin() + 8),
                     Each(log.sizes.at(3)))
             << "the same chunk again";
         EXPECT_GE(log.totalBytes() - 4 * log.sizes.at(3), kStreamBytes - kResamplerSlack);
       }},
      {"QUELVAR_FAKE_OVERLOAD=3-7", 1, "dropped 250 ms of audio at 00:00", 3, nullptr},
      // Out of step, every later chunk would be refused too: it stops streaming at once.
      {"QUELVAR_FAKE_REFUSE=4", 1, "AUDIO_SEQUENCE", 1,
       [](const RunResult&, const HostLog& log) {
         EXPECT_EQ(log.sequences.back(), 4);
         EXPECT_EQ(log.lines.back(), "eof");
       }},
      // The final caption before the crash, and the partial one of the segment it cut short.
      {"QUELVAR_FAKE_CRASH_AFTER=6", 1, "ended the session unexpectedly", 2,
       [this](const RunResult&, const HostLog&) {
         EXPECT_THAT(srt().at(1).lines, ElementsAre("frase 1", "word word 1"));
       }},
      {"QUELVAR_FAKE_EXIT=1", 1, "the speech host ended with exit status 1", 3, nullptr},
      // A host that does not end by itself is killed after a bounded wait, and reaped.
      {"QUELVAR_FAKE_HANG=1", 1, "killed after it did not end by itself", 3, nullptr},
      // A host may send up to 1 MiB; it reaches the terminal without its control characters.
      {"QUELVAR_FAKE_LONG=1", 0, "", 3,
       [](const RunResult& result, const HostLog&) {
         EXPECT_THAT(result.out,
                     StartsWith("frase 0 \uFFFD[2J" + std::string(70000, 'x') + "\tword"));
       }},
      {"QUELVAR_FAKE_START_ERROR=MODELS_NOT_INSTALLED", 3, "sudo apt install apertium-eng-spa", 0,
       [this](const RunResult&, const HostLog& log) {
         EXPECT_FALSE(std::filesystem::exists(dir.file("tone.es.srt")));
         EXPECT_EQ(log.lines.back(), "eof");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting);
    const RunResult result = run({"--max-speed", "16", "tone.wav"}, {c.setting});
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_THAT(result.err, HasSubstr(c.says));
    if (c.cues > 0) {
      EXPECT_EQ(srt().size(), c.cues);
    }
    if (c.check) {
      c.check(result, hostLog());
    }
  }
}

TEST_F(CaptionClient, stopsInOrderOnCtrlC) {
  Spawned spawned = spawnProgram(command({"--realtime", "tone.wav"}), env(), dir.path());
  // Bounded wait for the session to be under way; the assertions below do not depend on timing.
  for (int i = 0; i < 500 && readFile(dir.file("host.log")).find("pcm 2 8000") == std::string::npos;
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(spawned.child.pid(), SIGINT);
  const RunResult result = waitProgram(spawned, std::chrono::seconds(30));
  EXPECT_EQ(result.exitCode, 130) << result.err;
  EXPECT_THAT(result.err, HasSubstr("interrupted at"));
  const HostLog log = hostLog();
  EXPECT_THAT(std::vector(log.lines.end() - 2, log.lines.end()), ElementsAre("stop", "eof"));
  EXPECT_LT(log.totalBytes(), kStreamBytes);
  srt();
}

TEST_F(CaptionClient, startsNoHostForAFileItCannotReadAndSaysSoWhenTheHostCannotRun) {
  std::ofstream(dir.file("notes.txt")) << "not audio";
  for (const char* input : {"notes.txt", "missing.wav"}) {
    const RunResult result = run({input});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr(std::string("cannot read ") + input));
    EXPECT_FALSE(std::filesystem::exists(dir.file("host.log"))) << "no host was started";
  }
  const RunResult missingHost = runProgram(
      {QUELVAR_CAPTION_CLIENT, "--host", dir.file("nothing"), "tone.wav"}, {}, dir.path());
  EXPECT_EQ(missingHost.exitCode, 1);
  EXPECT_THAT(missingHost.err, HasSubstr("cannot run the speech host"));
}

}  // namespace
}  // namespace quelvar::caption::testing
