// The bounded queue of frame bodies between the standard input reader and the main loop.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/async/Channel.hpp"

namespace quelvar {

// Both ends run on the main executor. When full it refuses instead of growing: a client that
// runs this far ahead is broken, and the host ends rather than hold an unbounded backlog. A body
// that arrives while the loop waits for one is handed to the loop at once and does not count as
// waiting, so exactly `capacity` bodies may wait while the loop is busy.
class FrameQueue {
 public:
  static constexpr std::size_t kCapacity = 16;

  explicit FrameQueue(const asio::any_io_executor& executor, std::size_t capacity = kCapacity)
      : bodies_(executor, capacity) {}

  // False when `capacity` bodies already wait.
  bool push(std::string body) { return bodies_.trySend(std::move(body)); }

  // No more bodies will come; those waiting are still taken. Cancelling the channel wakes a
  // waiting loop and keeps what waits, which closing it would drop.
  void finish() {
    finished_ = true;
    bodies_.cancel();
  }

  // The next body in arrival order; nothing once finished and drained.
  asio::awaitable<std::optional<std::string>> next() {
    for (;;) {
      if (std::optional<std::string> body = bodies_.tryReceive()) {
        co_return body;
      }
      if (finished_) {
        co_return std::nullopt;
      }
      auto [interrupted, body] = co_await bodies_.async_receive(useTuple);
      if (!interrupted) {
        co_return std::move(body);
      }
    }
  }

 private:
  Channel<std::string> bodies_;
  bool finished_ = false;
};

}  // namespace quelvar
