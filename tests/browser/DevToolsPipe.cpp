// DevTools commands and events over two pipes, every wait bounded by a deadline.
#include "DevToolsPipe.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace quelvar::browser {
namespace {

using nlohmann::json;

void makeNonBlocking(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

}  // namespace

bool waitReady(int fd, short events, Clock::time_point deadline) {
  pollfd entry{fd, events, 0};
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const int ready = ::poll(&entry, 1, static_cast<int>(std::clamp<long long>(left, 0, 60'000)));
    if (ready > 0) {
      return true;
    }
    if (ready == 0 && Clock::now() >= deadline) {
      return false;
    }
    if (ready < 0 && errno != EINTR) {
      throw DevToolsError(std::string("poll failed: ") + std::strerror(errno));
    }
  }
}

DevToolsPipe::DevToolsPipe(int commands, int replies) : commands_(commands), replies_(replies) {
  // A browser that died must show up as a failed write, not end the test by signal.
  std::signal(SIGPIPE, SIG_IGN);
  makeNonBlocking(commands_);
  makeNonBlocking(replies_);
}

DevToolsPipe::~DevToolsPipe() {
  closeCommands();
  ::close(replies_);
}

void DevToolsPipe::closeCommands() {
  if (commands_ >= 0) {
    ::close(commands_);
    commands_ = -1;
  }
}

json DevToolsPipe::call(std::string_view method, const json& params, Clock::time_point deadline,
                        std::string_view session) {
  const long long id = nextId_++;
  json command = {{"id", id}, {"method", method}, {"params", params}};
  if (!session.empty()) {
    command["sessionId"] = session;
  }
  write(command.dump() + '\0', deadline);
  for (;;) {
    std::optional<json> message = read(deadline);
    if (!message) {
      throw DevToolsError(std::string(method) + ": no reply in time or the browser went away");
    }
    if (!message->contains("id")) {
      events_.push_back(std::move(*message));
      continue;
    }
    if ((*message)["id"] != id) {
      continue;  // the late reply of a command that timed out earlier
    }
    if (message->contains("error")) {
      throw DevToolsError(std::string(method) + ": " + (*message)["error"].dump());
    }
    return message->value("result", json::object());
  }
}

std::optional<json> DevToolsPipe::nextEvent(Clock::time_point deadline) {
  while (events_.empty()) {
    std::optional<json> message = read(deadline);
    if (!message) {
      return std::nullopt;
    }
    if (!message->contains("id")) {
      events_.push_back(std::move(*message));
    }
  }
  json event = std::move(events_.front());
  events_.pop_front();
  return event;
}

void DevToolsPipe::write(const std::string& bytes, Clock::time_point deadline) {
  if (commands_ < 0) {
    throw DevToolsError("the command pipe is closed");
  }
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t count = ::write(commands_, bytes.data() + written, bytes.size() - written);
    if (count > 0) {
      written += static_cast<std::size_t>(count);
    } else if (count < 0 && errno == EAGAIN) {
      if (!waitReady(commands_, POLLOUT, deadline)) {
        throw DevToolsError("the browser does not take commands");
      }
    } else if (count < 0 && errno != EINTR) {
      throw DevToolsError(std::string("writing a command failed: ") + std::strerror(errno));
    }
  }
}

std::optional<json> DevToolsPipe::read(Clock::time_point deadline) {
  for (;;) {
    if (const std::size_t end = pending_.find('\0'); end != std::string::npos) {
      json message = json::parse(pending_.substr(0, end), nullptr, /*allow_exceptions=*/false);
      pending_.erase(0, end + 1);
      if (message.is_object()) {
        return message;
      }
      throw DevToolsError("the browser sent a message that is not a JSON object");
    }
    char buffer[65536];
    const ssize_t count = ::read(replies_, buffer, sizeof buffer);
    if (count > 0) {
      pending_.append(buffer, static_cast<std::size_t>(count));
    } else if (count == 0) {
      return std::nullopt;
    } else if (errno == EAGAIN) {
      if (!waitReady(replies_, POLLIN, deadline)) {
        return std::nullopt;
      }
    } else if (errno != EINTR) {
      throw DevToolsError(std::string("reading from the browser failed: ") + std::strerror(errno));
    }
  }
}

}  // namespace quelvar::browser
