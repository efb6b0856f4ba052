// Bounded runs of an io_context for the tests of code that completes on it: wait on events, never
// sleep.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "platform/async/Asio.hpp"

namespace quelvar::caption::testing {

template <class T>
asio::awaitable<void> storeResult(asio::awaitable<T> work,
                                  std::shared_ptr<std::optional<T>> result) {
  result->emplace(co_await std::move(work));
}

// Runs the io_context until `done` or the limit has passed.
inline void runUntil(asio::io_context& io, const std::function<bool()>& done,
                     std::chrono::seconds limit = std::chrono::seconds(30)) {
  io.restart();
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    io.run_one_until(deadline);
  }
}

// The result of `work`, or nothing if it did not finish within the limit.
template <class T>
std::optional<T> runUntilDone(asio::io_context& io, asio::awaitable<T> work) {
  // Shared: a coroutine that outlives a failed test still writes its result somewhere.
  auto result = std::make_shared<std::optional<T>>();
  asio::co_spawn(io, storeResult(std::move(work), result), asio::detached);
  runUntil(io, [&] { return result->has_value(); });
  return std::move(*result);
}

}  // namespace quelvar::caption::testing
