// A bounded queue read by one coroutine on the main executor.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include "platform/async/Asio.hpp"

namespace quelvar {

// Producers push from the main executor (other threads post there first). The reader's wait is
// cancellable: a cancelled reader gets nothing back, as it does once the queue is closed and empty.
template <class T>
class AsyncQueue {
 public:
  AsyncQueue(const asio::any_io_executor& executor, std::size_t capacity)
      : capacity_(capacity), wakeup_(executor) {}

  // Refuses the item when the queue is full or closed.
  bool push(T item) {
    if (closed_ || items_.size() >= capacity_) {
      return false;
    }
    items_.push_back(std::move(item));
    wakeup_.cancel();
    return true;
  }

  void close() {
    closed_ = true;
    wakeup_.cancel();
  }

  asio::awaitable<std::optional<T>> next() {
    while (items_.empty() && !closed_) {
      if (co_await isCancellationRequested()) {
        co_return std::nullopt;
      }
      wakeup_.expires_at(asio::steady_timer::time_point::max());
      co_await wakeup_.async_wait(useTuple);
    }
    if (items_.empty()) {
      co_return std::nullopt;
    }
    T item = std::move(items_.front());
    items_.pop_front();
    co_return item;
  }

  std::size_t size() const { return items_.size(); }
  bool isClosed() const { return closed_; }

 private:
  const std::size_t capacity_;
  asio::steady_timer wakeup_;
  std::deque<T> items_;
  bool closed_ = false;
};

}  // namespace quelvar
