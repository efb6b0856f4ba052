// The transcriber's result stream: coalescing of unread results and the reader's wait.
#include "platform/linux/pocketsphinx/ResultStream.hpp"

#include "platform/linux/pocketsphinx/PocketSphinxError.hpp"

namespace quelvar::pocketsphinx {

void ResultStream::publish(SpeechResult result) {
  if (terminal_) {
    return;
  }
  // Unread partials are out of date once anything newer about the same utterance arrives.
  while (!results_.empty() && !results_.back().isFinal) {
    results_.pop_back();
  }
  if (results_.size() >= capacity_) {
    if (!result.isFinal) {
      return;  // its utterance's final result will follow
    }
    fail(makeError(ErrorCode::resultsOverflowed,
                   "Recognition results were not read in time and had to be given up."));
    return;
  }
  results_.push_back(std::move(result));
  changed_.notify();
}

void ResultStream::terminate(SpeechResultEvent event) {
  if (terminal_) {
    return;
  }
  terminal_ = std::move(event);
  changed_.notify();
}

asio::awaitable<SpeechResultEvent> ResultStream::next() {
  while (results_.empty() && !terminal_) {
    if (!co_await changed_.waitUnlessCancelled()) {
      co_return cancelledError();
    }
  }
  if (results_.empty()) {
    co_return *terminal_;
  }
  SpeechResult result = std::move(results_.front());
  results_.pop_front();
  co_return result;
}

}  // namespace quelvar::pocketsphinx
