// Runs a built program over real pipes: bytes or frames in, everything it wrote and its exit
// status out, for the end-to-end tests and the benchmarks.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
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

#include "common/Posix.hpp"

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
  // `extraEnv` ("NAME=value") is added to this process's environment; it starts in `directory`,
  // or here when that is empty.
  explicit HostProcess(const std::string& program, const std::vector<std::string>& arguments = {},
                       const std::vector<std::string>& extraEnv = {},
                       const std::string& directory = {}) {
    ::signal(SIGPIPE, SIG_IGN);  // a host that has gone is a failed write, not our death
    std::error_code error;
    Pipe in = makePipe(error);
    Pipe out = error ? Pipe() : makePipe(error);
    Pipe err = error ? Pipe() : makePipe(error);
    if (error) {
      throw std::runtime_error("pipe: " + error.message());
    }
    SpawnOptions options;
    options.argv = {program};
    options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
    options.descriptors = {in.read.get(), out.write.get(), err.write.get()};
    options.directory = directory;
    options.environment.emplace(extraEnv);
    for (char** entry = ::environ; *entry != nullptr; ++entry) {
      options.environment->emplace_back(*entry);
    }
    child_ = spawn(options, error);
    if (error) {
      throw std::runtime_error("cannot start " + program + ": " + error.message());
    }
    input_ = std::move(in.write);
    output_ = std::move(out.read);
    errors_ = std::move(err.read);
    ::fcntl(input_.get(), F_SETFL, O_NONBLOCK);
  }

  pid_t pid() const { return child_.pid(); }

  // Writes all bytes to the host's standard input; false when the host stopped reading.
  bool write(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t written = ::write(input_.get(), bytes.data(), bytes.size());
      if (written > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(written));
      } else if (written < 0 && errno == EAGAIN) {
        if (!waitFor(input_.get(), POLLOUT)) {
          return false;
        }
      } else if (!(written < 0 && errno == EINTR)) {
        return false;
      }
    }
    return true;
  }
  bool send(const nlohmann::json& message) { return write(frame(message.dump())); }

  void closeInput() { input_.reset(); }
  // The reader of the host's standard output goes away.
  void closeOutput() { output_.reset(); }

  // The next frame body from standard output, or nothing on end of output or time-out.
  std::optional<std::string> readBody() {
    std::string rest;
    for (;;) {
      std::vector<std::string> bodies = splitFrames(pending_, &rest);
      if (!bodies.empty()) {
        pending_ = pending_.substr(4 + bodies.front().size());
        return bodies.front();
      }
      if (!readSome(output_.get(), pending_)) {
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

  // Closes standard input (unless already closed) and collects everything until the program ends,
  // killing it when it is silent for longer than `patience`.
  HostExit finish(std::chrono::milliseconds patience = kPatience) {
    closeInput();
    HostExit result;
    result.output = std::move(pending_);
    bool outputOpen = static_cast<bool>(output_), errorsOpen = true;
    bool hung = false;
    while (outputOpen || errorsOpen) {
      pollfd fds[2] = {{outputOpen ? output_.get() : -1, POLLIN, 0},
                       {errorsOpen ? errors_.get() : -1, POLLIN, 0}};
      if (::poll(fds, 2, static_cast<int>(patience.count())) <= 0) {
        hung = true;  // fail rather than block
        break;
      }
      if (outputOpen && fds[0].revents != 0) {
        outputOpen = readSome(output_.get(), result.output, false);
      }
      if (errorsOpen && fds[1].revents != 0) {
        errorsOpen = readSome(errors_.get(), result.errors, false);
      }
    }
    const ChildEnd end = child_.finish(hung ? std::chrono::milliseconds(0) : patience);
    result.status = !end.failed && WIFEXITED(end.status) ? WEXITSTATUS(end.status) : -1;
    return result;
  }

 private:
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

  Child child_;
  FileDescriptor input_;
  FileDescriptor output_;
  FileDescriptor errors_;
  std::string pending_;  // output read but not yet returned
};

}  // namespace quelvar::e2e
