// The result stream of one transcriber: filled on the main executor, read by one coroutine there.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>

#include "platform/SpeechRecognition.hpp"
#include "platform/async/Event.hpp"

namespace quelvar::pocketsphinx {

// Bounded without losing what matters: a newer partial result replaces a partial the reader has
// not taken yet, and a final result replaces the partials of its utterance. Only final results
// accumulate; if the reader leaves more than the capacity of them waiting, the stream fails
// rather than drop one silently.
class ResultStream {
 public:
  static constexpr std::size_t kCapacity = 64;

  ResultStream(const asio::any_io_executor& executor, std::size_t capacity = kCapacity)
      : capacity_(capacity), changed_(executor) {}

  void publish(SpeechResult result);
  // Ends the stream after what waits; later calls change nothing.
  void end() { terminate(SpeechResultsEnd{}); }
  void fail(PlatformError error) { terminate(std::move(error)); }

  // The next result, then the end or the failure (repeated to any later call). A reader whose
  // task is cancelled gets cancelledError().
  asio::awaitable<SpeechResultEvent> next();

  std::size_t waiting() const { return results_.size(); }
  bool isTerminated() const { return terminal_.has_value(); }

 private:
  void terminate(SpeechResultEvent event);

  const std::size_t capacity_;
  Event changed_;
  std::deque<SpeechResult> results_;
  std::optional<SpeechResultEvent> terminal_;
};

}  // namespace quelvar::pocketsphinx
