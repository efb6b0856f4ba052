// Per-sentence latency of Apertium: one `apertium` command per sentence against one persistent
// session, and the cold cost of a fresh session (what one "translate" request of the language
// host pays). Usage: bench_apertium [sentences] (default 200).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Posix.hpp"
#include "platform/linux/apertium/ApertiumTranslation.hpp"

namespace {

using namespace quelvar;
using Wall = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

std::vector<std::string> sentences(std::size_t count) {
  const char* subjects[] = {"The dog", "My sister", "The old man", "Our teacher", "The children"};
  const char* verbs[] = {"eats", "sees", "wants", "buys", "likes", "finds", "has", "needs"};
  const char* objects[] = {"the red apple.", "a new house.", "the big book.", "two black cats.",
                           "the cold water."};
  std::vector<std::string> list;
  for (std::size_t i = 0; list.size() < count; ++i) {
    list.push_back(std::string(subjects[i % 5]) + " " + verbs[(i / 5) % 8] + " " +
                   objects[(i / 40) % 5]);
  }
  return list;
}

// The command line way: one `apertium eng-spa` process per sentence.
std::optional<std::string> translateByCommand(const std::string& sentence) {
  std::error_code error;
  Pipe in = makePipe(error);
  Pipe out = error ? Pipe() : makePipe(error);
  if (error) {
    return std::nullopt;
  }
  SpawnOptions options;
  options.argv = {"apertium", "eng-spa"};
  options.descriptors = {in.read.get(), out.write.get(), STDERR_FILENO};
  Child child = spawn(options, error);
  in.read.reset();
  out.write.reset();
  if (error) {
    return std::nullopt;
  }
  writeAll(in.write.get(), sentence);
  in.write.reset();
  std::string answer;
  char buffer[4096];
  ssize_t got;
  while ((got = ::read(out.read.get(), buffer, sizeof buffer)) > 0) {
    answer.append(buffer, static_cast<std::size_t>(got));
  }
  const ChildEnd end = child.finish(std::chrono::minutes(1));
  if (end.failed || end.killed || end.status != 0) {
    return std::nullopt;
  }
  return answer;
}

template <class T>
T run(asio::io_context& io, asio::awaitable<T> work) {
  auto result = std::make_shared<std::optional<T>>();
  asio::co_spawn(
      io, [&]() -> asio::awaitable<void> { result->emplace(co_await std::move(work)); },
      asio::detached);
  io.restart();
  io.run();
  return std::move(**result);
}

struct Summary {
  double median, p90, mean;
};

Summary summarise(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  double sum = 0;
  for (double t : times) {
    sum += t;
  }
  return {times[times.size() / 2], times[times.size() * 9 / 10], sum / times.size()};
}

void report(const char* what, const std::vector<double>& times) {
  auto s = summarise(times);
  std::printf("%-44s n=%-4zu median %8.2f ms   p90 %8.2f ms   mean %8.2f ms\n", what, times.size(),
              s.median, s.p90, s.mean);
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
  auto list = sentences(std::max<std::size_t>(count, 1));
  asio::io_context io;
  apertium::ApertiumTranslation service(io.get_executor(), std::make_shared<SteadyClock>());
  if (run(io, service.status("en", "es")) != LanguageStatus::installed) {
    std::fprintf(stderr, "apertium-eng-spa is not installed\n");
    return 1;
  }

  std::vector<double> session;
  auto translator = service.makeSession("en", "es");
  auto began = Wall::now();
  if (!run(io, translator->prepareTranslation()).ok()) {
    std::fprintf(stderr, "the session did not start\n");
    return 1;
  }
  double startup = Millis(Wall::now() - began).count();
  for (const auto& sentence : list) {
    auto start = Wall::now();
    if (!run(io, translator->translate(sentence)).ok()) {
      std::fprintf(stderr, "a session translation failed\n");
      return 1;
    }
    session.push_back(Millis(Wall::now() - start).count());
  }

  std::vector<double> cold;
  for (int i = 0; i < 10; ++i) {
    auto start = Wall::now();
    auto fresh = service.makeSession("en", "es");
    if (!run(io, fresh->prepareTranslation()).ok() || !run(io, fresh->translate(list[0])).ok()) {
      std::fprintf(stderr, "a cold translation failed\n");
      return 1;
    }
    cold.push_back(Millis(Wall::now() - start).count());
  }

  std::vector<double> command;
  for (const auto& sentence : list) {
    auto start = Wall::now();
    if (!translateByCommand(sentence)) {
      std::fprintf(stderr, "the apertium command failed\n");
      return 1;
    }
    command.push_back(Millis(Wall::now() - start).count());
  }

  std::printf("Apertium eng-spa, %zu sentences\n", list.size());
  report("one `apertium` command per sentence", command);
  report("one session (persistent pipeline)", session);
  report("cold: new session, prepare and translate", cold);
  std::printf("session start-up (prepare) %.2f ms; median speed-up %.1fx\n", startup,
              summarise(command).median / summarise(session).median);
  return 0;
}
