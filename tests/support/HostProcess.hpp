// Runs a built program over real pipes: bytes or frames in, everything it wrote and its exit
// status out, for the end-to-end tests and the benchmarks.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

// One native messaging frame: 4-byte little-endian length, then the body. Written here, not with
// the hosts' own framing, so that a fault in theirs shows.
inline std::string frame(std::string_view body) {
  std::string bytes(4, '\0');
  for (std::size_t i = 0; i < 4; ++i) {
    bytes[i] = static_cast<char>(body.size() >> (8 * i));
  }
  return bytes.append(body);
}

// Takes the first frame's body off the front of `bytes`, or nothing while it is not whole.
inline std::optional<std::string> takeFrame(std::string& bytes) {
  if (bytes.size() < 4) {
    return std::nullopt;
  }
  std::uint32_t length = 0;
  for (std::size_t i = 4; i-- > 0;) {
    length = length << 8 | static_cast<unsigned char>(bytes[i]);
  }
  if (bytes.size() - 4 < length) {
    return std::nullopt;
  }
  std::string body = bytes.substr(4, length);
  bytes.erase(0, 4 + length);
  return body;
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
                       std::vector<std::string> extraEnv = {}, const std::string& directory = {}) {
    ::signal(SIGPIPE, SIG_IGN);  // a host that has gone is a failed write, not our death
    std::error_code error;
    Pipe in = makePipe(error);
    Pipe out = error ? Pipe() : makePipe(error);
    Pipe err = error ? Pipe() : makePipe(error);
    for (char** entry = ::environ; *entry != nullptr; ++entry) {
      extraEnv.emplace_back(*entry);
    }
    SpawnOptions options{.argv = {program},
                         .environment = std::move(extraEnv),
                         .descriptors = {in.read.get(), out.write.get(), err.write.get()},
                         .directory = directory};
    options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
    child_ = error ? Child() : spawn(options, error);
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
      } else if (!(written < 0 &&
                   (errno == EINTR || (errno == EAGAIN && waitFor(input_, POLLOUT))))) {
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
    std::optional<std::string> body;
    while (!(body = takeFrame(pending_)) && waitFor(output_, POLLIN) &&
           readSome(output_.get(), pending_)) {
    }
    return body;
  }
  std::optional<nlohmann::json> readMessage() {
    const auto body = readBody();
    return body ? std::optional(nlohmann::json::parse(*body, nullptr, false)) : std::nullopt;
  }

  // Collects everything until the program ends, killing it when it is silent for longer than
  // `patience`; standard input is closed first unless the program is to end with it open.
  HostExit finish(std::chrono::milliseconds patience = kPatience, bool closingInput = true) {
    if (closingInput) {
      closeInput();
    }
    HostExit result{std::move(pending_), {}, -1};
    pollfd open[2] = {{output_.get(), POLLIN, 0}, {errors_.get(), POLLIN, 0}};
    std::string* into[2] = {&result.output, &result.errors};
    bool hung = false;  // fail rather than block
    while ((open[0].fd >= 0 || open[1].fd >= 0) && !hung) {
      hung = ::poll(open, 2, static_cast<int>(patience.count())) <= 0;
      for (int i = 0; i < 2 && !hung; ++i) {
        if (open[i].revents != 0 && !readSome(open[i].fd, *into[i])) {
          open[i].fd = -1;  // poll skips it from now on
        }
      }
    }
    const ChildEnd end = child_.finish(hung ? std::chrono::milliseconds(0) : patience);
    result.status = !end.failed && WIFEXITED(end.status) ? WEXITSTATUS(end.status) : -1;
    return result;
  }

 private:
  static bool waitFor(const FileDescriptor& fd, short events) {
    pollfd descriptor{fd.get(), events, 0};
    int ready;
    do {
      ready = fd ? ::poll(&descriptor, 1, static_cast<int>(kPatience.count())) : 0;
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
  }

  // Appends what one read gets; false at end of output or on error.
  static bool readSome(int fd, std::string& into) {
    char buffer[65536];
    ssize_t got;
    do {
      got = ::read(fd, buffer, sizeof buffer);
    } while (got < 0 && errno == EINTR);
    into.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    return got > 0;
  }

  Child child_;
  FileDescriptor input_;
  FileDescriptor output_;
  FileDescriptor errors_;
  std::string pending_;  // output read but not yet returned
};

}  // namespace quelvar::e2e
