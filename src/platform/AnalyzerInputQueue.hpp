// The bounded queue of converted audio between the pipeline and the speech analyzer.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/Audio.hpp"

namespace quelvar {

// One buffer of converted audio and where it starts on the pipeline's timeline.
struct AnalyzerInput {
  std::shared_ptr<const AudioBuffer> buffer;
  std::int64_t startFrame = 0;  // frames at the buffer's sample rate since the pipeline started
  std::int32_t timescale = 0;   // the sample rate, as a whole number
};

// Single producer (the pipeline, on the main thread), single consumer (the analyzer, usually on
// its own thread). When full it refuses the newest item rather than blocking the producer or
// growing: live audio that cannot be analysed in time is dropped and reported.
class AnalyzerInputQueue {
 public:
  static constexpr std::size_t kCapacity = 20;

  explicit AnalyzerInputQueue(std::size_t capacity = kCapacity) : capacity_(capacity) {}

  enum class YieldResult { enqueued, dropped, finished };

  YieldResult yield(AnalyzerInput item) {
    {
      std::lock_guard lock(mutex_);
      if (finished_) {
        return YieldResult::finished;
      }
      if (items_.size() >= capacity_) {
        return YieldResult::dropped;
      }
      items_.push_back(std::move(item));
    }
    changed_.notify_one();
    return YieldResult::enqueued;
  }

  // No more audio will come; the consumer drains what waits, then sees the end.
  void finish() {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    changed_.notify_all();
  }

  // Wakes a blocked consumer at once and drops what waits (the analyzer is being cancelled).
  void cancel() {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
      cancelled_ = true;
      items_.clear();
    }
    changed_.notify_all();
  }

  // Blocks until an item arrives; nothing once the queue is finished and drained, or cancelled.
  std::optional<AnalyzerInput> next() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !items_.empty() || finished_; });
    return popLocked();
  }

  // Never blocks: an item if one waits.
  std::optional<AnalyzerInput> tryNext() {
    std::lock_guard lock(mutex_);
    return popLocked();
  }

  bool isFinished() const {
    std::lock_guard lock(mutex_);
    return finished_ && items_.empty();
  }
  bool isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
  }
  std::size_t size() const {
    std::lock_guard lock(mutex_);
    return items_.size();
  }

 private:
  std::optional<AnalyzerInput> popLocked() {
    if (items_.empty()) {
      return std::nullopt;
    }
    AnalyzerInput item = std::move(items_.front());
    items_.pop_front();
    return item;
  }

  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<AnalyzerInput> items_;
  bool finished_ = false;
  bool cancelled_ = false;
};

}  // namespace quelvar
