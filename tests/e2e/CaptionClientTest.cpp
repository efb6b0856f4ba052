// The caption client end to end against a scriptable fake speech host, over real pipes.
#include <signal.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include <gmock/gmock.h>

#include "CaptionTestSupport.hpp"
#include "HostProcess.hpp"

namespace quelvar::caption::testing {
namespace {

using e2e::HostExit;
using e2e::HostProcess;
using ::testing::Contains;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// What the fake host saw: its log's lines, and the size of each chunk of audio.
struct HostLog {
  std::vector<std::string> lines;
  std::vector<std::int64_t> sizes;
  std::int64_t totalBytes = 0;
};

// 3 s of tone and 6 s of trailing silence, 16-bit at 16000 Hz; the resampler may hold back a few
// milliseconds of it.
constexpr std::int64_t kStreamBytes = 9 * 32000;
constexpr std::int64_t kResamplerSlack = 3200;

class CaptionClient : public ::testing::Test {
 protected:
  void SetUp() override { writeTone(dir.file("tone.wav"), 44100, {0.5f, 0.5f}, 3.0); }

  // The client with the fake host, its log in host.log.
  HostProcess start(std::vector<std::string> args, std::vector<std::string> env = {}) const {
    args.insert(args.begin(), {"--host", QUELVAR_CAPTION_FAKE_HOST});
    env.push_back("QUELVAR_FAKE_LOG=" + dir.file("host.log"));
    return HostProcess(QUELVAR_CAPTION_CLIENT, args, env, dir.path());
  }
  // One run from a clean slate: no host log or subtitles of an earlier run.
  HostExit run(std::vector<std::string> args, std::vector<std::string> env = {}) const {
    for (const char* name : {"host.log", "tone.es.srt", "tone.es.vtt"}) {
      std::filesystem::remove(dir.file(name));
    }
    return start(std::move(args), std::move(env)).finish(std::chrono::seconds(30));
  }
  HostLog hostLog() const {
    HostLog log;
    std::istringstream in(readFile(dir.file("host.log")));
    for (std::string line; std::getline(in, line); log.lines.push_back(line)) {
      long sequence = 0, size = 0;
      if (std::sscanf(line.c_str(), "pcm %ld %ld", &sequence, &size) == 2) {
        log.sizes.push_back(size);
        log.totalBytes += size;
      }
    }
    return log;
  }
  std::vector<CueLines> srt(const std::string& name = "tone.es.srt") const {
    std::optional<std::vector<CueLines>> cues = parseSrt(readFile(dir.file(name)));
    EXPECT_TRUE(cues.has_value()) << readFile(dir.file(name));
    return cues.value_or(std::vector<CueLines>{});
  }

  TempDir dir;
};

TEST_F(CaptionClient, checksItCanWriteBeforeStreamingAndUsesTheGivenLanguageFilesAndText) {
  const std::vector<std::string> args{"-t",          "fr",     "--srt",  "out/a.srt",
                                      "--vtt=b.vtt", "--text", "source", "--max-speed=16",
                                      "tone.wav"};
  const HostExit unwritable = run(args);
  EXPECT_EQ(unwritable.status, 1) << "the out/ folder does not exist";
  EXPECT_THAT(unwritable.errors, HasSubstr("cannot write out/a.srt"));
  EXPECT_FALSE(std::filesystem::exists(dir.file("host.log"))) << "found before streaming";

  std::filesystem::create_directory(dir.file("out"));
  const HostExit result = run(args);
  ASSERT_EQ(result.status, 0) << result.errors;
  EXPECT_THAT(hostLog().lines, Contains("start en fr"));
  const std::vector<CueLines> cues = srt("out/a.srt");
  ASSERT_EQ(cues.size(), 3U);
  EXPECT_THAT(cues[0], ElementsAre("word word word word 0"));
  EXPECT_TRUE(std::filesystem::exists(dir.file("b.vtt")));
}

// Each way a session with the host can go, as the user sees it: exit status, what stderr says,
// how many subtitles were still written, and what the host was sent.
TEST_F(CaptionClient, reportsEveryWayTheSessionEndsAndKeepsWhatWasCaptioned) {
  const struct {
    const char* setting;
    int status;
    const char* says;
    std::size_t cues;
    std::function<void(const HostExit&, const HostLog&)> check;
  } cases[] = {
      // A chunk is offered four times more; the fifth refusal loses it.
      {"QUELVAR_FAKE_OVERLOAD=3-6", 0, "slowing down to 8x", 3,
       [](const HostExit&, const HostLog& log) {
         EXPECT_THAT(std::vector(log.sizes.begin() + 3, log.sizes.begin() + 8),
                     Each(log.sizes.at(3)))
             << "the same chunk again";
         EXPECT_GE(log.totalBytes - 4 * log.sizes.at(3), kStreamBytes - kResamplerSlack);
       }},
      {"QUELVAR_FAKE_OVERLOAD=3-7", 1, "dropped 250 ms of audio at 00:00", 3, nullptr},
      // Out of step, every later chunk would be refused too: it stops streaming at once.
      {"QUELVAR_FAKE_REFUSE=4", 1, "AUDIO_SEQUENCE", 1,
       [](const HostExit&, const HostLog& log) {
         EXPECT_THAT(log.lines, Not(Contains(StartsWith("pcm 5 "))));
       }},
      // The final caption before the crash, and the partial one of the segment it cut short.
      {"QUELVAR_FAKE_CRASH_AFTER=6", 1, "ended the session unexpectedly", 2,
       [this](const HostExit&, const HostLog&) {
         EXPECT_THAT(srt().at(1), ElementsAre("frase 1", "word word 1"));
       }},
      {"QUELVAR_FAKE_EXIT=1", 1, "the speech host ended with exit status 1", 3, nullptr},
      // A host that does not end by itself is killed after a bounded wait, and reaped.
      {"QUELVAR_FAKE_HANG=1", 1, "killed after it did not end by itself", 3, nullptr},
      // A host may send up to 1 MiB; it reaches the terminal without its control characters.
      {"QUELVAR_FAKE_LONG=1", 0, "", 3,
       [](const HostExit& result, const HostLog&) {
         EXPECT_THAT(result.output,
                     StartsWith("frase 0 \uFFFD[2J" + std::string(70000, 'x') + "\tword"));
       }},
      {"QUELVAR_FAKE_START_ERROR=MODELS_NOT_INSTALLED", 3, "sudo apt install apertium-eng-spa", 0,
       [](const HostExit&, const HostLog& log) { EXPECT_EQ(log.lines.back(), "eof"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting);
    const HostExit result = run({"--max-speed", "16", "tone.wav"}, {c.setting});
    EXPECT_EQ(result.status, c.status) << result.errors;
    EXPECT_THAT(result.errors, HasSubstr(c.says));
    EXPECT_EQ(std::filesystem::exists(dir.file("tone.es.srt")) ? srt().size() : 0, c.cues);
    if (c.check) {
      c.check(result, hostLog());
    }
  }
}

TEST_F(CaptionClient, stopsInOrderOnCtrlC) {
  HostProcess client = start({"--realtime", "tone.wav"});
  // Bounded wait for the session to be under way; the assertions below do not depend on timing.
  for (int i = 0; i < 500 && readFile(dir.file("host.log")).find("pcm 2 8000") == std::string::npos;
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(client.pid(), SIGINT);
  const HostExit result = client.finish(std::chrono::seconds(30));
  EXPECT_EQ(result.status, 130) << result.errors;
  EXPECT_THAT(result.errors, HasSubstr("interrupted at"));
  const HostLog log = hostLog();
  EXPECT_THAT(std::vector(log.lines.end() - 2, log.lines.end()), ElementsAre("stop", "eof"));
  EXPECT_LT(log.totalBytes, kStreamBytes);
  srt();
}

}  // namespace
}  // namespace quelvar::caption::testing
