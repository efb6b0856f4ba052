// The measured runs of the speech host benchmark.
#include "SpeechRuns.hpp"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "platform/linux/pocketsphinx/PocketSphinxDecoder.hpp"

namespace quelvar::bench {

namespace {

constexpr std::size_t kRealTimeChunk = kSampleRate / 10;
constexpr std::size_t kSecond = kSampleRate;

bool isCaption(const nlohmann::json& message, bool final) {
  return message.value("type", "") == "caption" && message.value("final", !final) == final;
}

double ownThreadCpuMillis() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Waits until the host has written nothing for `quiet`; the time of its last event.
Clock::time_point waitForQuiet(EventReader& reader, std::chrono::milliseconds quiet) {
  const auto deadline = Clock::now() + std::chrono::minutes(2);
  for (std::size_t seen = reader.size(); Clock::now() < deadline;) {
    std::this_thread::sleep_for(quiet);
    if (reader.size() == seen) {
      break;
    }
    seen = reader.size();
  }
  const std::vector<Event> events = reader.events();
  return events.empty() ? Clock::now() : events.back().at;
}

}  // namespace

Samples passage(const std::vector<Samples>& sentences, double gap, int rounds) {
  Samples audio = hush(0.5);
  for (int round = 0; round < rounds; ++round) {
    for (const Samples& sentence : sentences) {
      append(audio, sentence);
      append(audio, hush(gap));
    }
  }
  return audio;
}

LatencyFigures captionLatency(SpeechHostClient& host, const std::vector<Samples>& sentences) {
  struct Span {
    std::size_t begin, end;
    Clock::time_point started, sent;
  };
  Samples audio = hush(0.5);
  std::vector<Span> spans;
  for (const Samples& sentence : sentences) {
    const std::size_t begin = audio.size();
    append(audio, sentence);
    spans.push_back({begin, speechEnd(audio, begin, audio.size()), {}, {}});
    append(audio, hush(2.5));
  }
  const std::size_t from = host.cursor();
  host.stream(audio, kRealTimeChunk, 1.0, [&](std::size_t at, Clock::time_point when) {
    for (Span& span : spans) {
      if (at <= span.begin && span.begin < at + kRealTimeChunk) {
        span.started = when;
      }
      if (at < span.end && span.end <= at + kRealTimeChunk) {
        span.sent = when;
      }
    }
  });
  waitForQuiet(host.reader(), std::chrono::milliseconds(2000));

  LatencyFigures figures;
  const std::vector<Event> events = host.reader().events();
  for (std::size_t i = 0; i < spans.size(); ++i) {
    const Clock::time_point windowEnd =
        i + 1 < spans.size() ? spans[i + 1].started : Clock::time_point::max();
    std::optional<Event> last;
    std::optional<Clock::time_point> previousPartial, beforeLast;
    for (std::size_t e = from; e < events.size(); ++e) {
      const Event& event = events[e];
      if (isCaption(event.message, true) && event.at >= spans[i].sent && event.at < windowEnd) {
        last = event;
        beforeLast = e > from ? std::optional(events[e - 1].at) : std::nullopt;
      }
      if (isCaption(event.message, false) && event.at >= spans[i].started &&
          event.at <= spans[i].sent) {
        ++figures.partials;
        if (previousPartial) {
          figures.partialGaps.push_back(millisBetween(*previousPartial, event.at));
        }
        previousPartial = event.at;
      }
    }
    if (!last) {
      ++figures.missed;
      continue;
    }
    figures.finalDelays.push_back(millisBetween(spans[i].sent, last->at));
    if (beforeLast) {
      figures.finalAfterPrevious.push_back(millisBetween(*beforeLast, last->at));
    }
    if (figures.sampleSource.empty()) {
      figures.sampleSource = last->message.value("source", "");
      figures.sampleTranslation = last->message.value("translation", "");
    }
  }
  host.cursor() = events.size();
  return figures;
}

void keepLeast(std::optional<RunCost>& best, const RunCost& run) {
  if (!best) {
    best = run;
    return;
  }
  best->wall = std::min(best->wall, run.wall);
  best->cpu = std::min(best->cpu, run.cpu);
  best->decoding = std::min(best->decoding, run.decoding);
  best->finals = run.finals;
  best->errors += run.errors;
  if (best->firstError.empty()) {
    best->firstError = run.firstError;
  }
}

BareDecoder::BareDecoder() {
  using namespace quelvar::pocketsphinx;
  silenceEngineLogging();
  const PocketSphinxCatalogue catalogue = PocketSphinxCatalogue::debian();
  const RecogniserModel* model = catalogue.find("en-US");
  require(model != nullptr, "no PocketSphinx model for en-US");
  const auto loading = Clock::now();
  auto loaded = PocketSphinxDecoder::load(*model);
  require(loaded.ok(), "the PocketSphinx model did not load");
  modelLoad_ = millisSince(loading);
  decoder_ = std::move(loaded.value());
}

BareDecoder::~BareDecoder() = default;

RunCost BareDecoder::run(const Samples& audio, double speed) {
  RunCost cost;
  const auto began = Clock::now();
  const double cpuBegan = ownThreadCpuMillis();
  bool speech = false;
  decoder_->startStream();
  decoder_->startUtterance();
  for (std::size_t at = 0; at < audio.size(); at += 400) {
    if (speed > 0 && at % kSecond == 0) {
      std::this_thread::sleep_until(began +
                                    std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(at / speed / kSecond)));
    }
    const std::size_t count = std::min<std::size_t>(400, audio.size() - at);
    decoder_->process(std::span(audio.data() + at, count));
    if (decoder_->inSpeech()) {
      speech = true;
    } else if (speech) {
      decoder_->endUtterance();
      cost.finals += decoder_->hypothesis().empty() ? 0 : 1;
      decoder_->startUtterance();
      speech = false;
    }
  }
  decoder_->endUtterance();
  cost.wall = millisSince(began);
  cost.cpu = cost.decoding = ownThreadCpuMillis() - cpuBegan;
  return cost;
}

RunCost wholeHost(SpeechHostClient& host, const Samples& audio, double speed) {
  EventReader& reader = host.reader();
  host.stop();
  host.start("en", "es");
  const std::size_t from = host.cursor();
  const std::size_t errorsBefore = reader.errors().size();
  const std::map<pid_t, double> threadsBefore = threadCpuMillis(host.pid());
  const double cpuBegan = cpuMillis(host.pid());
  const auto began = Clock::now();
  host.stream(audio, kSecond, speed);
  const Clock::time_point last = waitForQuiet(reader, std::chrono::milliseconds(2000));

  RunCost cost;
  cost.cpu = cpuMillis(host.pid()) - cpuBegan;
  cost.wall = millisBetween(began, last);
  for (const auto& [thread, millis] : threadCpuMillis(host.pid())) {
    const auto before = threadsBefore.find(thread);
    cost.decoding =
        std::max(cost.decoding, millis - (before == threadsBefore.end() ? 0.0 : before->second));
  }
  const std::vector<Event> events = reader.events();
  for (std::size_t e = from; e < events.size(); ++e) {
    cost.finals += isCaption(events[e].message, true) ? 1 : 0;
  }
  const std::vector<std::string> errors = reader.errors();
  cost.errors = errors.size() - errorsBefore;
  cost.firstError = cost.errors > 0 ? errors[errorsBefore] : "";
  host.cursor() = events.size();
  return cost;
}

void longRun(const std::string& program, const std::vector<Samples>& sentences, double minutes,
             double speed) {
  const Samples audio = passage(sentences, 1.0, 1);
  SpeechHostClient host(program);
  host.start("en", "es");
  std::printf("long run: %.0f minutes of audio at %.1fx real time\n", minutes, speed);
  std::printf("%8s %10s %8s %12s %9s %12s\n", "minute", "VmRSS MB", "threads", "descriptors",
              "children", "children MB");
  struct Sample {
    long resident, threads;
    int descriptors;
    std::size_t children;
    long childResident;
  };
  std::vector<Sample> samples;
  auto sample = [&](double minute) {
    const pid_t pid = host.pid();
    samples.push_back({procStatus(pid, "VmRSS"), procStatus(pid, "Threads"), openDescriptors(pid),
                       childProcesses(pid).size(), childrenResident(pid)});
    const Sample& s = samples.back();
    std::printf("%8.0f %10.1f %8ld %12d %9zu %12.1f\n", minute, s.resident / 1024.0, s.threads,
                s.descriptors, s.children, s.childResident / 1024.0);
    std::fflush(stdout);
  };
  sample(0);
  const auto total = static_cast<std::size_t>(minutes * 60 * kSampleRate);
  const std::size_t minute = 60 * kSampleRate;
  std::size_t nextMinute = 1;
  for (std::size_t done = 0; done < total; done += audio.size()) {
    host.stream(audio, kSecond, speed, [&](std::size_t at, Clock::time_point) {
      const std::size_t position = done + std::min(at + kSecond, audio.size());
      if (position >= nextMinute * minute) {
        sample(static_cast<double>(nextMinute++));
      }
    });
  }
  waitForQuiet(host.reader(), std::chrono::milliseconds(2000));
  const std::vector<std::string> errors = host.reader().errors();
  const Sample& first = samples.at(samples.size() > 1 ? 1 : 0);
  const Sample& last = samples.back();
  std::printf("resident memory, first minute %.1f MB, last %.1f MB (%+.1f %%); peak %.1f MB\n",
              first.resident / 1024.0, last.resident / 1024.0,
              100.0 * (last.resident - first.resident) / first.resident,
              procStatus(host.pid(), "VmHWM") / 1024.0);
  std::printf("error events: %zu%s\n", errors.size(),
              errors.empty() ? "" : (" (the first: " + errors.front() + ")").c_str());
  require(host.finish() == 0, "the speech host did not end cleanly");
}

}  // namespace quelvar::bench
