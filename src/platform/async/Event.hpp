// Wakes coroutines on the main executor when another part of it has changed what they wait for.
#pragma once

#include <asio/experimental/channel.hpp>
#include <system_error>

#include "platform/async/Asio.hpp"

namespace quelvar {

// A notify() with nobody waiting is lost: a waiter checks its condition, then waits, in a loop.
// Nothing runs between the check and the wait on the executor's one thread, so no notification
// falls in between. Other threads post to the executor and notify from there.
class Event {
 public:
  explicit Event(const asio::any_io_executor& executor) : waiters_(executor) {}

  // Until the next notify(); cancelling the awaiting task does not end it (for waits that must
  // see their condition through, such as a thread's exit before it is joined).
  asio::awaitable<void> wait() {
    co_await waiters_.async_receive(
        asio::bind_cancellation_slot(asio::cancellation_slot(), useTuple));
  }

  // True after the next notify(); false as soon as the awaiting task is cancelled, also when that
  // happened before this wait began.
  asio::awaitable<bool> waitUnlessCancelled() {
    if (co_await isCancellationRequested()) {
      co_return false;
    }
    auto [error, notified] = co_await waiters_.async_receive(useTuple);
    co_return !error;
  }

  // Wakes every coroutine waiting now.
  void notify() {
    while (waiters_.try_send(std::error_code(), true)) {
    }
  }

 private:
  // A bare void(error_code) channel does not compile in Asio 1.22; the flag carries nothing.
  asio::experimental::channel<void(std::error_code, bool)> waiters_;
};

}  // namespace quelvar
