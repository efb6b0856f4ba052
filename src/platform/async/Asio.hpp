// Standalone Asio with the coroutine helpers the hosts use.
#pragma once

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>

namespace quelvar {

// Completion token for waits whose errors are expected outcomes, returned as values.
inline constexpr auto useTuple = asio::experimental::as_tuple(asio::use_awaitable);

// Whether the coroutine awaiting this has been asked to stop.
inline asio::awaitable<bool> isCancellationRequested() {
  asio::cancellation_state state = co_await asio::this_coro::cancellation_state;
  co_return state.cancelled() != asio::cancellation_type::none;
}

}  // namespace quelvar
