// quelvar-caption: plays the browser extension's part for an audio file and writes subtitles.
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>

#include "caption/AudioStream.hpp"
#include "caption/CaptionOptions.hpp"
#include "caption/CaptionSession.hpp"
#include "caption/Locations.hpp"
#include "common/AtomicFile.hpp"
#include "common/Framing.hpp"

namespace quelvar::caption {
namespace {

// The host only checks the form of the origin: 32 letters from a to p, like a real extension ID.
constexpr char kOrigin[] = "chrome-extension://ahpdlmpkgfcgkmbebfajhagjpgpoidfn/";
// More silence than the speech host's audio queue holds (20 messages of 250 ms), and a second
// for the last sentence to end: once the host has taken all of it, its recogniser has worked
// through every word, however far behind a busy machine made it, and the wait for the last
// captions no longer races a backlog.
constexpr std::int64_t kTrailingSilenceMs = 6000;

volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int) {
  interrupted = 1;
}

// The first Ctrl-C ends the session in order and keeps what was captioned; a second one (the
// handler is reset) ends the program at once.
void catchInterrupt() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

std::size_t terminalWidth() {
  winsize size{};
  return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "quelvar-caption: %s\n", message.c_str());
  return 1;
}

std::string shownPath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

// Subtitle files get the permissions any new file of the user gets.
mode_t newFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

std::string cannotWrite(const std::string& path, const std::error_code& error) {
  return "cannot write " + path + ": " + error.message();
}

// Both files are tried, so that one bad path does not cost the other file.
int writeSubtitles(const Options& options, const SegmentLog& log, std::int64_t durationMs) {
  const std::vector<Cue> cues = makeCues(log.settled(), durationMs, options.text);
  int failed = 0;
  for (const auto& [path, text] :
       {std::pair{options.srtPath, formatSrt(cues)}, std::pair{options.vttPath, formatVtt(cues)}}) {
    if (const std::error_code error = writeFileAtomically(path, text, newFileMode())) {
      failed = fail(cannotWrite(path, error));
    }
  }
  if (failed != 0) {
    return failed;
  }
  std::fprintf(stderr, "quelvar-caption: wrote %zu subtitle%s to %s and %s\n", cues.size(),
               cues.size() == 1 ? "" : "s", shownPath(options.srtPath).c_str(),
               shownPath(options.vttPath).c_str());
  if (cues.empty()) {
    std::fprintf(stderr, "quelvar-caption: no speech was recognised, so they hold no cues\n");
  }
  return 0;
}

int run(Options options) {
  const std::string programDir = programDirectory();
  if (options.demo) {
    options.input = demoClipPath(programDir);
    if (::access(options.input.c_str(), R_OK) != 0) {
      return fail("the demo's sample clip " + options.input +
                  " is missing.\n  The build speaks it with espeak-ng: install that "
                  "(sudo apt install espeak-ng) and build again.");
    }
    options.srtPath = options.srtPath.empty() ? "demo.srt" : options.srtPath;
    options.vttPath = options.vttPath.empty() ? "demo.vtt" : options.vttPath;
    options.realtime = true;
  }
  if (options.srtPath.empty()) {
    options.srtPath = defaultOutputPath(options.input, options.target, "srt");
  }
  if (options.vttPath.empty()) {
    options.vttPath = defaultOutputPath(options.input, options.target, "vtt");
  }
  // Found now rather than after the whole file has streamed.
  for (const std::string& path : {options.srtPath, options.vttPath}) {
    if (const std::error_code error = checkCanWriteAtomically(path)) {
      return fail(cannotWrite(path, error));
    }
  }
  const HostSearch host = findSpeechHost(options.hostPath, programDir);
  if (host.path.empty()) {
    return fail(host.error);
  }
  auto opened = AudioStream::open(options.input, kTrailingSilenceMs);
  if (const auto* error = std::get_if<std::string>(&opened)) {
    return fail(*error);
  }
  std::unique_ptr<AudioStream> audio = std::move(std::get<0>(opened));
  auto spawned = HostProcess::start(host.path, kOrigin);
  if (const auto* error = std::get_if<std::string>(&spawned)) {
    return fail(*error);
  }
  std::unique_ptr<HostProcess> process = std::move(std::get<0>(spawned));

  catchInterrupt();
  Display display(stdout, stderr, ::isatty(STDOUT_FILENO) == 1, terminalWidth(), options.text);
  SegmentLog log;
  SessionSettings settings;
  settings.source = options.source;
  settings.target = options.target;
  settings.speed = options.realtime ? 1.0 : options.maxSpeed;
  CaptionSession session(*process, *audio, display, log, settings, interrupted);
  const SessionEnd end = session.run();
  process.reset();
  if (end == SessionEnd::notStarted) {
    return 3;
  }
  if (!session.started()) {
    return end == SessionEnd::interrupted ? 130 : 1;
  }
  if (writeSubtitles(options, log, audio->durationMs()) != 0) {
    return 1;
  }
  switch (end) {
    case SessionEnd::complete:
      return 0;
    case SessionEnd::interrupted:
      fail("interrupted at " + clockTime(session.positionMs()) +
           "; the subtitles cover the audio up to there");
      return 130;
    case SessionEnd::incomplete:
      return fail("the subtitles are incomplete: audio or captions were lost (see above)");
    default:
      return fail("the session failed part-way; the subtitles cover the audio up to " +
                  clockTime(session.positionMs()));
  }
}

}  // namespace
}  // namespace quelvar::caption

int main(int argc, char** argv) {
  using namespace quelvar::caption;
  quelvar::ignoreSigpipe();
  auto parsed = parseOptions(argc, argv);
  if (const auto* problem = std::get_if<std::string>(&parsed)) {
    std::fprintf(stderr, "quelvar-caption: %s\nTry 'quelvar-caption --help'.\n", problem->c_str());
    return 2;
  }
  const Options& options = std::get<Options>(parsed);
  if (options.help) {
    std::fputs(usageText().c_str(), stdout);
    return 0;
  }
  return run(options);
}
