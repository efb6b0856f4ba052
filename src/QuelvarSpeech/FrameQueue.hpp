// The bounded queue of frame bodies between the standard input reader and the main loop.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "platform/async/Asio.hpp"

namespace quelvar {

// Both ends run on the main executor. When full it refuses instead of growing: a client that
// runs this far ahead is broken, and the host ends rather than hold an unbounded backlog. A body
// that arrives while the loop waits for one is handed to the loop at once and does not count as
// waiting, so exactly `capacity` bodies may wait while the loop is busy.
//
// The loop a body is handed to resumes only once every body of that push is queued, so the bound
// counts a whole read, and then at once when pushed from the executor's own thread: no round
// through the scheduler, which would poll the reactor first.
class FrameQueue {
 public:
  static constexpr std::size_t kCapacity = 16;

  explicit FrameQueue(asio::any_io_executor executor, std::size_t capacity = kCapacity)
      : executor_(std::move(executor)), capacity_(capacity) {}

  // All of `bodies` in order, or none and false when more than `capacity` would wait.
  bool push(std::span<std::string> bodies) {
    const bool handOver = loop_ && !bodies.empty();
    if (waiting_.size() + bodies.size() - (handOver ? 1 : 0) > capacity_) {
      return false;
    }
    for (std::size_t i = handOver ? 1 : 0; i < bodies.size(); ++i) {
      waiting_.push_back(std::move(bodies[i]));
    }
    if (handOver) {
      std::exchange(loop_, nullptr)->resume(std::move(bodies.front()));
    }
    return true;
  }
  bool push(std::string body) { return push(std::span(&body, 1)); }

  // No more bodies will come; those waiting are still taken.
  void finish() {
    finished_ = true;
    if (loop_) {
      std::exchange(loop_, nullptr)->resume(std::nullopt);
    }
  }

  // The next body in arrival order; nothing once finished and drained.
  asio::awaitable<std::optional<std::string>> next() {
    if (!waiting_.empty()) {
      std::string body = std::move(waiting_.front());
      waiting_.pop_front();
      co_return body;
    }
    if (finished_) {
      co_return std::nullopt;
    }
    co_return co_await asio::async_initiate<decltype(asio::use_awaitable),
                                            void(std::optional<std::string>)>(
        [this](auto handler) {
          loop_ = std::make_unique<WaitingLoop<decltype(handler)>>(std::move(handler), executor_);
        },
        asio::use_awaitable);
  }

 private:
  struct Waiting {
    virtual ~Waiting() = default;
    virtual void resume(std::optional<std::string> body) = 0;
  };

  // The loop's suspended wait, kept as work so that the executor does not run dry under it.
  template <class Handler>
  struct WaitingLoop final : Waiting {
    WaitingLoop(Handler handler, const asio::any_io_executor& executor)
        : handler_(std::move(handler)), work_(executor) {}

    // Runs the loop now when on its executor's thread, else posts it there.
    void resume(std::optional<std::string> body) override {
      const auto executor = asio::get_associated_executor(handler_, work_.get_executor());
      asio::dispatch(executor, [handler = std::move(handler_), body = std::move(body)]() mutable {
        std::move(handler)(std::move(body));
      });
    }

    Handler handler_;
    asio::executor_work_guard<asio::any_io_executor> work_;
  };

  asio::any_io_executor executor_;
  std::size_t capacity_;
  std::deque<std::string> waiting_;
  std::unique_ptr<Waiting> loop_;  // set while the loop waits for a body
  bool finished_ = false;
};

}  // namespace quelvar
