// The bounded queue of frame bodies between the standard input reader and the main loop.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>

#include "platform/async/Asio.hpp"
#include "platform/async/Wakeup.hpp"

namespace quelvar {

// Both ends run on the main executor. When full it refuses instead of growing: a client that
// runs this far ahead is broken, and the host ends rather than hold an unbounded backlog. A body
// that arrives while the loop waits for one is handed to the loop at once and does not count as
// waiting, so exactly `capacity` bodies may wait while the loop is busy.
class FrameQueue {
 public:
  static constexpr std::size_t kCapacity = 16;

  explicit FrameQueue(std::size_t capacity = kCapacity) : capacity_(capacity) {}

  // False when `capacity` bodies already wait.
  bool push(std::string body) {
    if (wakeup_.isWaiting()) {
      handed_ = std::move(body);
      wakeup_.notify();
      return true;
    }
    if (bodies_.size() >= capacity_) {
      return false;
    }
    bodies_.push_back(std::move(body));
    return true;
  }

  // No more bodies will come; those waiting are still taken.
  void finish() {
    finished_ = true;
    wakeup_.notify();
  }

  // The next body in arrival order; nothing once finished and drained.
  asio::awaitable<std::optional<std::string>> next() {
    for (;;) {
      if (handed_) {
        std::optional<std::string> body = std::move(handed_);
        handed_.reset();
        co_return body;
      }
      if (!bodies_.empty()) {
        std::string body = std::move(bodies_.front());
        bodies_.pop_front();
        co_return body;
      }
      if (finished_) {
        co_return std::nullopt;
      }
      co_await wakeup_.wait();
    }
  }

 private:
  const std::size_t capacity_;
  Wakeup wakeup_;
  std::deque<std::string> bodies_;
  std::optional<std::string> handed_;
  bool finished_ = false;
};

}  // namespace quelvar
