// Runs a built host program over real pipes: frames in, frames out, exit status, for e2e tests.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

extern char** environ;

namespace quelvar::e2e {

// Long enough for a loaded machine; a hang fails the test instead of blocking it.
inline constexpr std::chrono::milliseconds kPatience{10000};

// One native messaging frame: 4-byte little-endian length, then the body.
inline std::string frame(std::string_view body) {
  const auto length = static_cast<std::uint32_t>(body.size());
  std::string bytes{static_cast<char>(length & 0xFF), static_cast<char>((length >> 8) & 0xFF),
                    static_cast<char>((length >> 16) & 0xFF),
                    static_cast<char>((length >> 24) & 0xFF)};
  return bytes.append(body);
}
inline std::string messageFrame(const nlohmann::json& message) {
  return frame(message.dump());
}

// Splits output bytes into frame bodies; a trailing partial frame is returned in `rest`.
inline std::vector<std::string> splitFrames(std::string_view bytes, std::string* rest = nullptr) {
  std::vector<std::string> bodies;
  while (bytes.size() >= 4) {
    const std::uint32_t length =
        static_cast<unsigned char>(bytes[0]) | static_cast<unsigned char>(bytes[1]) << 8 |
        static_cast<unsigned char>(bytes[2]) << 16 |
        static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[3])) << 24;
    if (bytes.size() - 4 < length) {
      break;
    }
    bodies.emplace_back(bytes.substr(4, length));
    bytes.remove_prefix(4 + length);
  }
  if (rest) {
    *rest = std::string(bytes);
  }
  return bodies;
}

// What a finished host left behind.
struct HostExit {
  std::string output;  // every byte written to standard output
  std::string errors;  // every byte written to standard error
  int status = -1;     // exit status, or -1 when killed by a signal or timed out
};

class HostProcess {
 public:
  explicit HostProcess(const std::string& program, const std::vector<std::string>& arguments = {}) {
    ::signal(SIGPIPE, SIG_IGN);  // a host that has gone is a failed write, not our death
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
        ::pipe2(err, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<std::string> args{program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& arg : args) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const int spawned =
        ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    input_ = in[1];
    output_ = out[0];
    errors_ = err[0];
    if (spawned != 0) {
      pid_ = -1;
      throw std::runtime_error("cannot start " + program);
    }
    ::fcntl(input_, F_SETFL, O_NONBLOCK);
  }

  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  ~HostProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    closeFd(input_);
    closeFd(output_);
    closeFd(errors_);
  }

  pid_t pid() const { return pid_; }

  // Writes all bytes to the host's standard input; false when the host stopped reading.
  bool write(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t written = ::write(input_, bytes.data(), bytes.size());
      if (written > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(written));
      } else if (written < 0 && errno == EAGAIN) {
        if (!waitFor(input_, POLLOUT)) {
          return false;
        }
      } else if (!(written < 0 && errno == EINTR)) {
        return false;
      }
    }
    return true;
  }
  bool send(const nlohmann::json& message) { return write(messageFrame(message)); }

  void closeInput() { closeFd(input_); }
  // The reader of the host's standard output goes away.
  void closeOutput() { closeFd(output_); }

  // The next frame body from standard output, or nothing on end of output or time-out.
  std::optional<std::string> readBody() {
    std::string rest;
    for (;;) {
      std::vector<std::string> bodies = splitFrames(pending_, &rest);
      if (!bodies.empty()) {
        pending_ = pending_.substr(4 + bodies.front().size());
        return bodies.front();
      }
      if (!readSome(output_, pending_)) {
        return std::nullopt;
      }
    }
  }
  std::optional<nlohmann::json> readMessage() {
    auto body = readBody();
    if (!body) {
      return std::nullopt;
    }
    return nlohmann::json::parse(*body, nullptr, false);
  }

  // Closes standard input (unless already closed) and collects everything until the host ends.
  HostExit finish() {
    closeInput();
    HostExit result;
    result.output = std::move(pending_);
    bool outputOpen = output_ >= 0, errorsOpen = true;
    while (outputOpen || errorsOpen) {
      pollfd fds[2] = {{outputOpen ? output_ : -1, POLLIN, 0},
                       {errorsOpen ? errors_ : -1, POLLIN, 0}};
      const int ready = ::poll(fds, 2, static_cast<int>(kPatience.count()));
      if (ready <= 0) {
        ::kill(pid_, SIGKILL);  // hung: fail rather than block
        break;
      }
      if (outputOpen && fds[0].revents != 0) {
        outputOpen = readSome(output_, result.output, false);
      }
      if (errorsOpen && fds[1].revents != 0) {
        errorsOpen = readSome(errors_, result.errors, false);
      }
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
  }

 private:
  static void closeFd(int& fd) {
    if (fd >= 0) {
      ::close(fd);
      fd = -1;
    }
  }

  static bool waitFor(int fd, short events) {
    pollfd descriptor{fd, events, 0};
    int ready;
    do {
      ready = ::poll(&descriptor, 1, static_cast<int>(kPatience.count()));
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
  }

  // Appends what can be read now (waiting up to the patience if `wait`); false at end or error.
  static bool readSome(int fd, std::string& into, bool wait = true) {
    if (fd < 0 || (wait && !waitFor(fd, POLLIN))) {
      return false;
    }
    char buffer[65536];
    ssize_t got;
    do {
      got = ::read(fd, buffer, sizeof buffer);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
      return false;
    }
    into.append(buffer, static_cast<std::size_t>(got));
    return true;
  }

  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  int errors_ = -1;
  std::string pending_;  // output read but not yet returned
};

}  // namespace quelvar::e2e
