// Long known speech, recordings, word errors and the in-process decode loop.
#include "ContinuousSpeech.hpp"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>

#include "platform/linux/pocketsphinx/DecodeLoop.hpp"

namespace quelvar::bench {

namespace {

constexpr const char* kRecordings = "/usr/share/pocketsphinx/test/data/librivox/";

// espeak-ng reads the file itself, so no text passes through a shell.
Samples speakFile(const std::string& path) {
  return commandOutput("espeak-ng -v en-us+klatt4 -s 160 -f '" + path +
                       "' --stdout 2>/dev/null | sox -D -q -t wav - -r 16000 -c 1 -b 16 "
                       "-e signed-integer -t raw - vol 0.8 2>/dev/null");
}

// Runs of near silence longer than `longest` samples are cut down to it.
Samples shortenPauses(const Samples& audio, std::size_t longest) {
  Samples out;
  out.reserve(audio.size());
  std::size_t quiet = 0;
  for (const std::int16_t sample : audio) {
    quiet = std::abs(sample) < 300 ? quiet + 1 : 0;
    if (quiet <= longest) {
      out.push_back(sample);
    }
  }
  return out;
}

double threadCpuMillis() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

}  // namespace

double wordErrorRate(const std::vector<std::string>& reference, const std::string& hypothesis) {
  const std::vector<std::string> found = normalisedWords(hypothesis);
  std::vector<std::size_t> row(found.size() + 1), next(found.size() + 1);
  for (std::size_t j = 0; j <= found.size(); ++j) {
    row[j] = j;
  }
  for (std::size_t i = 1; i <= reference.size(); ++i) {
    next[0] = i;
    for (std::size_t j = 1; j <= found.size(); ++j) {
      next[j] = std::min(
          {row[j] + 1, next[j - 1] + 1, row[j - 1] + (reference[i - 1] == found[j - 1] ? 0 : 1)});
    }
    std::swap(row, next);
  }
  return reference.empty() ? 0
                           : 100.0 * static_cast<double>(row[found.size()]) /
                                 static_cast<double>(reference.size());
}

Passage readAloud(const std::string& textFile, double minutes, double longestPause) {
  std::ifstream in(textFile);
  require(in.good(), "cannot read " + textFile);
  std::stringstream whole;
  whole << in.rdbuf();
  std::vector<std::string> paragraphs;
  const auto plain = [](const std::string& paragraph) {
    return std::all_of(paragraph.begin(), paragraph.end(), [](char c) {
      return std::isalpha(static_cast<unsigned char>(c)) ||
             std::string_view(" ,.;:'\"()-").find(c) != std::string_view::npos;
    });
  };
  std::string text = whole.str();
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t end = text.find("\n\n", from);
    end = end == std::string::npos ? text.size() : end;
    std::string paragraph = text.substr(from, end - from);
    std::replace(paragraph.begin(), paragraph.end(), '\n', ' ');
    from = end + 2;
    if (plain(paragraph) && normalisedWords(paragraph).size() >= 8) {
      paragraphs.push_back(paragraph);
    }
  }
  require(!paragraphs.empty(), "no plain paragraphs in " + textFile);

  Passage passage;
  passage.audio = hush(0.5);
  char path[] = "/tmp/quelvar-bench-XXXXXX";
  const int fd = ::mkstemp(path);
  require(fd >= 0, "cannot create a temporary file");
  ::close(fd);
  const auto wanted = static_cast<std::size_t>(minutes * 60 * kSampleRate);
  for (std::size_t next = 0; passage.audio.size() < wanted; next = (next + 1) % paragraphs.size()) {
    std::ofstream(path) << paragraphs[next] << "\n";
    const Samples spoken = speakFile(path);
    require(!spoken.empty(), "espeak-ng and sox are needed to synthesise the speech");
    append(passage.audio,
           shortenPauses(spoken, static_cast<std::size_t>(longestPause * kSampleRate)));
    append(passage.audio, hush(longestPause));
    for (std::string& word : normalisedWords(paragraphs[next])) {
      passage.words.push_back(std::move(word));
    }
  }
  ::unlink(path);
  return passage;
}

Passage recordings() {
  Passage passage;
  std::ifstream transcription(std::string(kRecordings) + "transcription");
  std::string line;
  while (std::getline(transcription, line)) {
    const std::size_t open = line.rfind('(');
    if (open == std::string::npos) {
      continue;
    }
    const std::string id = line.substr(open + 1, line.find(')', open) - open - 1);
    const Samples clip = commandOutput("sox -D -q '" + std::string(kRecordings) + id +
                                       ".wav' -r 16000 -c 1 -b 16 -e signed-integer -t raw - "
                                       "2>/dev/null");
    if (clip.empty()) {
      return {};
    }
    append(passage.audio, hush(0.3));
    append(passage.audio, clip);
    std::string text = line.substr(0, open);
    for (const char* marker : {"<s>", "</s>"}) {
      for (std::size_t at; (at = text.find(marker)) != std::string::npos;) {
        text.erase(at, std::string(marker).size());
      }
    }
    for (std::string& word : normalisedWords(text)) {
      passage.words.push_back(std::move(word));
    }
  }
  append(passage.audio, hush(0.5));
  return passage;
}

std::string LoopRun::text() const {
  std::string all;
  for (const std::string& final : finals) {
    all += final + " ";
  }
  return all;
}

LoopRun decodeInProcess(const Samples& audio, const pocketsphinx::EngineOptions& options) {
  using namespace quelvar::pocketsphinx;
  silenceEngineLogging();
  const PocketSphinxCatalogue catalogue = PocketSphinxCatalogue::debian();
  const RecogniserModel* model = catalogue.find("en-US");
  require(model != nullptr, "no PocketSphinx model for en-US");
  auto loaded = PocketSphinxDecoder::load(*model, options);
  require(loaded.ok(), "the PocketSphinx model did not load");
  PocketSphinxDecoder& decoder = *loaded.value();

  LoopRun run;
  std::size_t position = 0;
  const std::atomic<bool> stop{false};
  DecodeLoop loop(decoder, stop, [&](SpeechResult result) {
    if (result.isFinal && !result.text.empty()) {
      run.finals.push_back(std::move(result.text));
      run.cuts.push_back(position);
    }
  });
  const double began = threadCpuMillis();
  require(decoder.startStream().ok() && loop.begin().ok(), "the decoder did not start");
  // Fed a piece at a time, so that each cut is known to the piece.
  for (std::size_t at = 0; at < audio.size(); at += DecodeLoop::kChunkSamples) {
    const std::size_t count = std::min(DecodeLoop::kChunkSamples, audio.size() - at);
    position = at + count;
    require(loop.feed(std::span(audio.data() + at, count)).ok(), "the decoder failed");
  }
  position = audio.size();
  require(loop.finish().ok(), "the decoder failed");
  run.cpu = threadCpuMillis() - began;
  return run;
}

}  // namespace quelvar::bench
