// The speech host as a child process, started the way Chrome starts a native messaging host.
#include "caption/HostProcess.hpp"

#include <poll.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

#include "common/Framing.hpp"
#include "common/Json.hpp"

namespace quelvar::caption {
namespace {

ExitStatus statusOf(const ChildEnd& end) {
  if (end.failed) {
    return {false, 0, false};
  }
  if (WIFEXITED(end.status)) {
    return {true, WEXITSTATUS(end.status), end.killed};
  }
  return {false, WIFSIGNALED(end.status) ? WTERMSIG(end.status) : 0, end.killed};
}

}  // namespace

std::string ExitStatus::describe() const {
  std::string text = exited ? "exit status " + std::to_string(code)
                            : "signal " + std::to_string(code) + " (" + strsignal(code) + ")";
  return killed ? text + ", killed after it did not end by itself" : text;
}

std::variant<std::unique_ptr<HostProcess>, std::string> HostProcess::start(
    const std::string& path, const std::string& origin) {
  std::error_code error;
  Pipe toHost = makePipe(error);
  Pipe fromHost;
  if (!error) {
    fromHost = makePipe(error);
  }
  if (error) {
    return "cannot create a pipe: " + error.message();
  }
  SpawnOptions options;
  options.argv = {path, origin};
  options.descriptors = {toHost.read.get(), fromHost.write.get(), STDERR_FILENO};
  options.ownProcessGroup = true;
  Child child = spawn(options, error);
  if (error) {
    return "cannot run the speech host " + path + ": " + error.message();
  }
  return std::unique_ptr<HostProcess>(
      new HostProcess(std::move(child), std::move(toHost.write), std::move(fromHost.read)));
}

HostProcess::~HostProcess() {
  finish(std::chrono::seconds(2));
}

bool HostProcess::send(const nlohmann::json& message) {
  return input_ && writeFrame(input_.get(), message);
}

HostProcess::Received HostProcess::receive(std::chrono::milliseconds timeout) {
  using Kind = Received::Kind;
  if (!output_) {
    return {Kind::ended, {}};
  }
  pollfd ready{output_.get(), POLLIN, 0};
  const int polled = ::poll(&ready, 1, static_cast<int>(timeout.count()));
  if (polled < 0) {
    return {errno == EINTR ? Kind::interrupted : Kind::broken, {}};
  }
  if (polled == 0) {
    return {Kind::timeout, {}};
  }
  // The host writes each frame whole and unbuffered, so a readable pipe means a frame is coming.
  const FrameResult frame = readFrame(output_.get(), kMaxOutboundFrameLength);
  if (frame.kind == FrameResult::Kind::end) {
    output_.reset();
    return {Kind::ended, {}};
  }
  if (frame.kind == FrameResult::Kind::broken) {
    output_.reset();
    return {Kind::broken, {}};
  }
  std::optional<nlohmann::json> message = parseObject(frame.body);
  if (!message) {
    return {Kind::broken, {}};
  }
  return {Kind::message, std::move(*message)};
}

void HostProcess::closeInput() {
  input_.reset();
}

ExitStatus HostProcess::finish(std::chrono::milliseconds timeout) {
  closeInput();
  return statusOf(child_.finish(timeout));
}

}  // namespace quelvar::caption
