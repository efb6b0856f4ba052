// A clock that stands still until the test moves it.
#pragma once

#include <vector>

#include "platform/async/Clock.hpp"
#include "platform/async/Event.hpp"

namespace quelvar::testing {

class FakeClock final : public Clock {
 public:
  explicit FakeClock(asio::any_io_executor executor) : moved_(executor) {}

  TimePoint now() const override { return now_; }

  asio::awaitable<bool> sleepFor(std::chrono::nanoseconds duration) override {
    sleepRequests_.push_back(duration);
    const TimePoint deadline = now_ + duration;
    while (now_ < deadline) {
      if (!co_await moved_.waitUnlessCancelled()) {
        co_return false;
      }
    }
    co_return true;
  }

  // Moves time on and wakes every sleeper, which sleeps on until its deadline has come; run the
  // executor afterwards.
  void advance(std::chrono::nanoseconds duration) {
    now_ += duration;
    moved_.notify();
  }

  // Every duration asked for, in order.
  const std::vector<std::chrono::nanoseconds>& sleepRequests() const { return sleepRequests_; }

 private:
  Event moved_;
  TimePoint now_{std::chrono::hours(1000)};
  std::vector<std::chrono::nanoseconds> sleepRequests_;
};

}  // namespace quelvar::testing
