// The bounded queue of frame bodies between the stdin reader thread and the main loop.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "platform/async/Asio.hpp"

namespace quelvar {

// The reader pushes from its own thread; the main loop takes bodies on the executor. When full
// it refuses instead of blocking the reader or growing: a client that runs this far ahead is
// broken, and the host ends rather than hold an unbounded backlog.
class FrameQueue {
 public:
  static constexpr std::size_t kCapacity = 16;

  explicit FrameQueue(asio::any_io_executor executor, std::size_t capacity = kCapacity)
      : executor_(std::move(executor)), capacity_(capacity), wakeup_(executor_) {}

  // Any thread. False when `capacity` bodies already wait.
  bool push(std::string body) {
    std::lock_guard lock(mutex_);
    if (bodies_.size() >= capacity_) {
      return false;
    }
    bodies_.push_back(std::move(body));
    wakeLocked();
    return true;
  }

  // Any thread. No more bodies will come; those waiting are still taken.
  void finish() {
    std::lock_guard lock(mutex_);
    finished_ = true;
    wakeLocked();
  }

  // Main executor only. The next body in arrival order; nothing once finished and drained.
  asio::awaitable<std::optional<std::string>> next() {
    for (;;) {
      {
        std::lock_guard lock(mutex_);
        if (!bodies_.empty()) {
          std::string body = std::move(bodies_.front());
          bodies_.pop_front();
          co_return body;
        }
        if (finished_) {
          co_return std::nullopt;
        }
      }
      // A push after the check above posts a wake-up that runs only after this wait has begun.
      wakeup_.expires_at(asio::steady_timer::time_point::max());
      co_await wakeup_.async_wait(useTuple);
    }
  }

 private:
  // The timer belongs to the executor's thread, so other threads post the wake-up there; one
  // posted wake-up at a time is enough.
  void wakeLocked() {
    if (wakePosted_) {
      return;
    }
    wakePosted_ = true;
    asio::post(executor_, [this] {
      {
        std::lock_guard lock(mutex_);
        wakePosted_ = false;
      }
      wakeup_.cancel();
    });
  }

  asio::any_io_executor executor_;
  const std::size_t capacity_;
  asio::steady_timer wakeup_;
  std::mutex mutex_;
  std::deque<std::string> bodies_;
  bool finished_ = false;
  bool wakePosted_ = false;
};

}  // namespace quelvar
