// One coroutine waits on the main executor until another part of it wakes it.
#pragma once

#include <memory>

#include "platform/async/Asio.hpp"

namespace quelvar {

// A wake-up that costs one handler on the executor's queue and nothing else: no timer and no
// system call, unlike a timer set to the distant future. One waiter at a time; wait() and
// notify() run on the executor's thread. A notify() with nobody waiting is lost.
class Wakeup {
 public:
  asio::awaitable<void> wait() {
    return asio::async_initiate<decltype(asio::use_awaitable), void()>(
        [this](auto handler) {
          waiter_ = std::make_unique<Waiter<decltype(handler)>>(std::move(handler));
        },
        asio::use_awaitable);
  }

  bool isWaiting() const { return waiter_ != nullptr; }

  void notify() {
    if (std::unique_ptr<WaiterBase> waiter = std::move(waiter_)) {
      waiter->resume();
    }
  }

 private:
  struct WaiterBase {
    virtual ~WaiterBase() = default;
    virtual void resume() = 0;
  };
  template <class Handler>
  struct Waiter final : WaiterBase {
    explicit Waiter(Handler handler) : handler(std::move(handler)) {}
    void resume() override {
      const auto executor = asio::get_associated_executor(handler);
      asio::post(executor, std::move(handler));
    }
    Handler handler;
  };

  std::unique_ptr<WaiterBase> waiter_;
};

}  // namespace quelvar
