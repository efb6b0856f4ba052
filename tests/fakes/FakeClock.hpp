// A clock that stands still until the test moves it.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/async/Clock.hpp"
#include "platform/async/Event.hpp"

namespace quelvar::testing {

class FakeClock final : public Clock {
 public:
  explicit FakeClock(asio::any_io_executor executor) : executor_(std::move(executor)) {}

  TimePoint now() const override { return now_; }

  asio::awaitable<bool> sleepFor(std::chrono::nanoseconds duration) override {
    auto sleeper = std::make_shared<Sleeper>(executor_, now_ + duration);
    sleepers_.push_back(sleeper);
    sleepRequests_.push_back(duration);
    while (!sleeper->woken) {
      if (!co_await sleeper->due.waitUnlessCancelled() && !sleeper->woken) {
        std::erase(sleepers_, sleeper);
        co_return false;
      }
    }
    co_return true;
  }

  // Moves time on and wakes every sleeper whose deadline has come; run the executor afterwards.
  void advance(std::chrono::nanoseconds duration) {
    now_ += duration;
    auto due = std::partition(sleepers_.begin(), sleepers_.end(),
                              [&](const auto& s) { return s->deadline > now_; });
    for (auto it = due; it != sleepers_.end(); ++it) {
      (*it)->woken = true;
      (*it)->due.notify();
    }
    sleepers_.erase(due, sleepers_.end());
  }

  // Every duration asked for, in order.
  const std::vector<std::chrono::nanoseconds>& sleepRequests() const { return sleepRequests_; }

 private:
  struct Sleeper {
    Sleeper(const asio::any_io_executor& executor, TimePoint when)
        : due(executor), deadline(when) {}
    Event due;
    TimePoint deadline;
    bool woken = false;
  };

  asio::any_io_executor executor_;
  TimePoint now_{std::chrono::hours(1000)};
  std::vector<std::shared_ptr<Sleeper>> sleepers_;
  std::vector<std::chrono::nanoseconds> sleepRequests_;
};

}  // namespace quelvar::testing
