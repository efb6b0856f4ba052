// A background coroutine on the main executor that can be cancelled and awaited.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include "platform/async/Asio.hpp"
#include "platform/async/Event.hpp"

namespace quelvar {

// Cancellation interrupts the task's current wait (a timer, a queue read) and sets a flag that the
// body checks after every wait. Joining waits until the body has returned.
class Task {
 public:
  using Body = std::function<asio::awaitable<void>(Task&)>;

  static std::shared_ptr<Task> spawn(const asio::any_io_executor& executor, Body body) {
    auto task = std::shared_ptr<Task>(new Task(executor));
    // The completion handler, not the body, marks the end: a task cancelled before it first ran
    // never enters its body but still completes. Once a task is cancelled, an exception is what
    // an interrupted wait made of the cancellation; otherwise it is a fault, never an outcome: it
    // leaves the executor's run() as it would from the main loop, so the program ends the way it
    // does for any fault.
    asio::co_spawn(
        executor, run(task, std::move(body)),
        asio::bind_cancellation_slot(task->signal_.slot(), [task](std::exception_ptr failure) {
          task->done_ = true;
          task->finished_.notify();
          if (failure && !task->cancelled_) {
            std::rethrow_exception(failure);
          }
        }));
    return task;
  }

  void cancel() {
    if (cancelled_) {
      return;
    }
    cancelled_ = true;
    if (!done_) {
      signal_.emit(asio::cancellation_type::terminal);
    }
  }

  bool isCancelled() const { return cancelled_; }
  bool isDone() const { return done_; }

  asio::awaitable<void> join() {
    while (!done_) {
      co_await finished_.wait();
    }
  }

 private:
  explicit Task(const asio::any_io_executor& executor) : finished_(executor) {}

  static asio::awaitable<void> run(std::shared_ptr<Task> self, Body body) {
    // Cancelled waits complete with an error value; the body decides what that means.
    co_await asio::this_coro::throw_if_cancelled(false);
    if (!self->cancelled_) {
      co_await body(*self);
    }
  }

  asio::cancellation_signal signal_;
  Event finished_;
  bool cancelled_ = false;
  bool done_ = false;
};

}  // namespace quelvar
