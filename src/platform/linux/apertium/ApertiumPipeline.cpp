// One running pipeline of an Apertium mode's programs, joined by pipes, in NUL-flush mode.
#include "platform/linux/apertium/ApertiumPipeline.hpp"

#include <fcntl.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <optional>

#include "platform/linux/apertium/ApertiumError.hpp"

namespace quelvar::apertium {
namespace {

// An answer this much longer than its segment means the stream has gone wrong.
constexpr std::size_t answerAllowance = 1 << 20;
constexpr std::size_t answerGrowth = 16;

// Writing into a pipeline whose first program has died must fail the write, not kill the host.
void ignoreBrokenPipes() {
  struct sigaction current {};
  if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, nullptr);
  }
}

PlatformError startError(const std::string& what, const std::error_code& error) {
  return makeError(ErrorCode::startFailed, "Cannot start " + what + ": " + error.message() + ".");
}

PlatformError readError(const asio::error_code& error) {
  if (error == asio::error::operation_aborted) {
    return cancelledError();
  }
  if (error == asio::error::eof) {
    return makeError(ErrorCode::broken, "The translation pipeline ended.");
  }
  return makeError(ErrorCode::broken, "Reading the translation failed: " + error.message() + ".");
}

}  // namespace

Expected<std::shared_ptr<ApertiumPipeline>> ApertiumPipeline::start(
    const asio::any_io_executor& executor, const std::vector<ProgramCommand>& programs) {
  ignoreBrokenPipes();
  // The programs' diagnostics must not reach the host's standard error.
  FileDescriptor nowhere(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  if (!nowhere) {
    return makeError(ErrorCode::startFailed,
                     "Cannot open /dev/null: " + lastError().message() + ".");
  }
  std::error_code error;
  Pipe first = makePipe(error);
  if (error) {
    return startError("a pipe", error);
  }
  FileDescriptor toFirst = std::move(first.write);
  FileDescriptor upstream = std::move(first.read);
  // Returning early ends the programs already started: `started` kills and reaps them.
  std::vector<Child> started;
  for (const auto& program : programs) {
    Pipe next = makePipe(error);
    if (error) {
      return startError("a pipe", error);
    }
    SpawnOptions options;
    options.argv = program;
    options.descriptors = {upstream.get(), next.write.get(), nowhere.get()};
    options.dieWithParent = true;
    Child child = spawn(options, error);
    if (error) {
      return startError(program.empty() ? "an empty command" : program.front(), error);
    }
    started.push_back(std::move(child));
    upstream = std::move(next.read);
  }
  return std::shared_ptr<ApertiumPipeline>(
      new ApertiumPipeline(executor, std::move(toFirst), std::move(upstream), std::move(started)));
}

ApertiumPipeline::ApertiumPipeline(const asio::any_io_executor& executor, FileDescriptor toFirst,
                                   FileDescriptor fromLast, std::vector<Child> children)
    : input_(executor, toFirst.release()),
      output_(executor, fromLast.release()),
      children_(std::move(children)) {}

ApertiumPipeline::~ApertiumPipeline() {
  stop();
}

asio::awaitable<Expected<std::string>> ApertiumPipeline::exchange(std::string segment) {
  if (stopped_) {
    co_return makeError(ErrorCode::broken, "The translation pipeline has stopped.");
  }
  // Output waiting before the segment is written belongs to no segment: a program has ended.
  asio::posix::stream_descriptor::bytes_readable waiting(true);
  asio::error_code unreadable;
  output_.io_control(waiting, unreadable);
  if (unreadable || waiting.get() > 0) {
    stop();
    co_return makeError(ErrorCode::broken, "The translation pipeline is out of step.");
  }
  segment.push_back('\0');
  const std::size_t limit = answerAllowance + answerGrowth * segment.size();
  // Writing runs beside reading, so that a long answer cannot fill the pipes while the segment
  // is still being written. A failed write shows up on the reading side as the end of the stream.
  startWriting(std::move(segment));
  std::string answer;
  std::array<char, 8192> chunk;
  std::optional<PlatformError> failure;
  while (!failure) {
    auto [error, count] = co_await output_.async_read_some(asio::buffer(chunk), useTuple);
    if (error) {
      failure = readError(error);
      break;
    }
    auto end = chunk.begin() + static_cast<std::ptrdiff_t>(count);
    auto nul = std::find(chunk.begin(), end, '\0');
    answer.append(chunk.begin(), nul);
    if (nul != end) {
      if (nul + 1 != end) {
        stop();  // more than one answer for one segment: the stream is out of step
      }
      break;
    }
    if (answer.size() > limit) {
      failure = makeError(ErrorCode::oversized, "The translation pipeline answered too much.");
    }
  }
  if (failure) {
    stop();
    co_return std::move(*failure);
  }
  co_return answer;
}

void ApertiumPipeline::startWriting(std::string segment) {
  auto self = shared_from_this();
  auto data = std::make_shared<std::string>(std::move(segment));
  asio::async_write(input_, asio::buffer(*data),
                    [self, data](const asio::error_code&, std::size_t) {});
}

bool ApertiumPipeline::isRunning() {
  if (stopped_) {
    return false;
  }
  bool running = true;
  for (Child& child : children_) {
    running = !child.hasEnded() && running;  // every ended program is reaped, not just the first
  }
  return running;
}

void ApertiumPipeline::stop() {
  if (stopped_) {
    return;
  }
  stopped_ = true;
  asio::error_code ignored;
  input_.close(ignored);
  output_.close(ignored);
  for (Child& child : children_) {
    child.finish(std::chrono::milliseconds(0));
  }
}

std::vector<pid_t> ApertiumPipeline::processIds() const {
  std::vector<pid_t> ids;
  for (const Child& child : children_) {
    ids.push_back(child.pid());
  }
  return ids;
}

}  // namespace quelvar::apertium
