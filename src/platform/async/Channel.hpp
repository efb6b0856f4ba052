// Queues between coroutines on the main executor: Asio's channel with the reads the hosts need.
#pragma once

#include <asio/experimental/channel.hpp>
#include <optional>
#include <system_error>

#include "platform/async/Asio.hpp"

namespace quelvar {

// Bounded: trySend refuses once `capacity` values wait, but a value sent while the reader waits
// goes straight to it and takes no room. Asio 1.22's close() drops the values that wait, so a
// queue whose end must not lose them signals the end beside the channel.
template <class T>
class Channel : public asio::experimental::channel<void(std::error_code, T)> {
 public:
  using asio::experimental::channel<void(std::error_code, T)>::channel;

  bool trySend(T value) { return this->try_send(std::error_code(), std::move(value)); }

  // A value that already waits, taken without suspending.
  std::optional<T> tryReceive() {
    std::optional<T> value;
    this->try_receive([&](std::error_code, T received) { value = std::move(received); });
    return value;
  }

  // The next value in order; nothing once the channel is cancelled or closed, or when the
  // awaiting task is cancelled (also before the wait began) and nothing waits.
  asio::awaitable<std::optional<T>> receive() {
    if (std::optional<T> value = tryReceive()) {
      co_return value;
    }
    if (co_await isCancellationRequested()) {
      co_return std::nullopt;
    }
    auto [error, value] = co_await this->async_receive(useTuple);
    if (error) {
      co_return std::nullopt;
    }
    co_return std::move(value);
  }
};

}  // namespace quelvar
