// Time for pacing and time-outs, injected so that tests drive it instead of sleeping.
#pragma once

#include <chrono>
#include "platform/async/Asio.hpp"

namespace quelvar {

class Clock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~Clock() = default;
  virtual TimePoint now() const = 0;
  // True after the full duration; false when the awaiting task is cancelled, before or during it.
  virtual asio::awaitable<bool> sleepFor(std::chrono::nanoseconds duration) = 0;
};

class SteadyClock final : public Clock {
 public:
  TimePoint now() const override { return std::chrono::steady_clock::now(); }

  asio::awaitable<bool> sleepFor(std::chrono::nanoseconds duration) override {
    if (co_await isCancellationRequested()) {
      co_return false;
    }
    asio::steady_timer timer(co_await asio::this_coro::executor, duration);
    auto [error] = co_await timer.async_wait(useTuple);
    co_return !error;
  }
};

}  // namespace quelvar
