// The speech host as a child process, started the way Chrome starts a native messaging host.
#include "caption/HostProcess.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/Framing.hpp"
#include "common/Json.hpp"
#include "common/Posix.hpp"

extern char** environ;

namespace quelvar::caption {
namespace {

void closeFd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

ExitStatus statusOf(int raw) {
  if (WIFEXITED(raw)) {
    return {true, WEXITSTATUS(raw), false};
  }
  return {false, WIFSIGNALED(raw) ? WTERMSIG(raw) : 0, false};
}

}  // namespace

std::string ExitStatus::describe() const {
  std::string text = exited ? "exit status " + std::to_string(code)
                            : "signal " + std::to_string(code) + " (" + strsignal(code) + ")";
  return killed ? text + ", killed after it did not end by itself" : text;
}

std::variant<std::unique_ptr<HostProcess>, std::string> HostProcess::start(
    const std::string& path, const std::string& origin) {
  if (::access(path.c_str(), X_OK) != 0) {
    return "cannot run the speech host " + path + ": " + std::strerror(errno);
  }
  // Both ends close on exec; the child gets its ends through dup2, which clears that flag.
  int toHost[2];
  int fromHost[2];
  if (::pipe2(toHost, O_CLOEXEC) != 0) {
    return std::string("cannot create a pipe: ") + std::strerror(errno);
  }
  if (::pipe2(fromHost, O_CLOEXEC) != 0) {
    const int error = errno;
    ::close(toHost[0]);
    ::close(toHost[1]);
    return std::string("cannot create a pipe: ") + std::strerror(error);
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toHost[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fromHost[1], STDOUT_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);  // this client ignores it; the host decides for itself
  sigaddset(&defaults, SIGINT);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  std::string program = path;
  std::string argument = origin;
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(toHost[0]);
  ::close(fromHost[1]);
  if (error != 0) {
    ::close(toHost[1]);
    ::close(fromHost[0]);
    return "cannot start the speech host " + path + ": " + std::strerror(error);
  }
  return std::unique_ptr<HostProcess>(new HostProcess(pid, toHost[1], fromHost[0]));
}

HostProcess::~HostProcess() {
  if (!reaped_) {
    finish(std::chrono::seconds(2));
  }
  closeFd(output_);
}

bool HostProcess::send(const nlohmann::json& message) {
  return input_ >= 0 && writeFrame(input_, message);
}

HostProcess::Received HostProcess::receive(std::chrono::milliseconds timeout) {
  using Kind = Received::Kind;
  if (output_ < 0) {
    return {Kind::ended, {}};
  }
  pollfd ready{output_, POLLIN, 0};
  const int polled = ::poll(&ready, 1, static_cast<int>(timeout.count()));
  if (polled < 0) {
    return {errno == EINTR ? Kind::interrupted : Kind::broken, {}};
  }
  if (polled == 0) {
    return {Kind::timeout, {}};
  }
  // The host writes each frame whole and unbuffered, so a readable pipe means a frame is coming.
  const FrameResult frame = readFrame(output_, kMaxOutboundFrameLength);
  if (frame.kind == FrameResult::Kind::end) {
    closeFd(output_);
    return {Kind::ended, {}};
  }
  if (frame.kind == FrameResult::Kind::broken) {
    closeFd(output_);
    return {Kind::broken, {}};
  }
  std::optional<nlohmann::json> message = parseObject(frame.body);
  if (!message) {
    return {Kind::broken, {}};
  }
  return {Kind::message, std::move(*message)};
}

void HostProcess::closeInput() {
  closeFd(input_);
}

ExitStatus HostProcess::finish(std::chrono::milliseconds timeout) {
  closeInput();
  if (reaped_) {
    return status_;
  }
  const ChildEnd end = waitOrKill(pid_, timeout);
  if (end.failed) {
    status_ = {false, 0, false};
  } else {
    status_ = statusOf(end.status);
    status_.killed = end.killed;
  }
  reaped_ = true;
  return status_;
}

}  // namespace quelvar::caption
