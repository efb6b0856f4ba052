// Loaded decoders kept for reuse, so that a later pipeline of the same language skips the load.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/PlatformError.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxCatalogue.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxDecoder.hpp"

namespace quelvar::pocketsphinx {

// A decoder serves one pipeline at a time (PocketSphinx is not thread-safe), so pipelines that
// overlap get decoders of their own; a finished pipeline's decoder waits here for the next one.
// A model is never loaded while a decoder of its locale is on its way here (loading, or held by
// a pipeline that has been told to stop): whoever needs one waits for it instead, since a second
// copy costs a whole load and the memory of a model. Thread-safe: pipelines acquire and give
// back from their own threads. A template only so that tests can use a decoder without a model.
template <class Decoder>
class DecoderCache : public std::enable_shared_from_this<DecoderCache<Decoder>> {
 public:
  using Loader = std::function<Expected<std::unique_ptr<Decoder>>(const RecogniserModel&)>;

  // Idle decoders kept per locale; more are freed, since each holds the whole model in memory.
  static constexpr std::size_t kIdlePerLocale = 1;

  // Exclusive use of one decoder; gives it back when destroyed.
  class Lease {
   public:
    Lease(std::shared_ptr<DecoderCache> cache, std::string locale, std::unique_ptr<Decoder> decoder,
          const std::atomic<bool>* stopping)
        : cache_(std::move(cache)),
          locale_(std::move(locale)),
          decoder_(std::move(decoder)),
          stopping_(stopping) {}
    Lease(Lease&& other) noexcept
        : cache_(std::move(other.cache_)),
          locale_(std::move(other.locale_)),
          decoder_(std::move(other.decoder_)),
          stopping_(other.stopping_) {}
    Lease& operator=(Lease&&) = delete;
    ~Lease() {
      if (cache_) {
        cache_->giveBack(locale_, std::move(decoder_), stopping_);
      }
    }

    Decoder& decoder() { return *decoder_; }
    // The decoder failed: free it instead of keeping it for the next pipeline.
    void discard() { decoder_.reset(); }

   private:
    std::shared_ptr<DecoderCache> cache_;
    std::string locale_;
    std::unique_ptr<Decoder> decoder_;
    const std::atomic<bool>* stopping_;
  };

  static std::shared_ptr<DecoderCache> create(Loader loader) {
    return std::shared_ptr<DecoderCache>(new DecoderCache(std::move(loader)));
  }
  ~DecoderCache() {
    if (prefetch_.joinable()) {
      prefetch_.join();
    }
  }
  DecoderCache(const DecoderCache&) = delete;
  DecoderCache& operator=(const DecoderCache&) = delete;

  // Starts loading a decoder on a thread of its own, unless one is idle or on its way, so that
  // the load overlaps a pipeline's other start-up work; acquire() then waits for it.
  void prefetch(const RecogniserModel& model) {
    std::thread finished;
    {
      std::lock_guard lock(mutex_);
      if (prefetching_ || !idle_[model.locale].empty() || onItsWay(model.locale)) {
        return;
      }
      finished = std::move(prefetch_);  // its load has ended: prefetching_ is false
      prefetching_ = true;
      ++loading_[model.locale];
      prefetch_ = std::thread([this, model] {
        Expected<std::unique_ptr<Decoder>> loaded = load(model);
        // Counted as loading until it is idle, in one step, so no waiter sees neither.
        std::lock_guard lock(mutex_);
        loadEnded(model.locale, loaded);
        if (loaded.ok()) {
          idle_[model.locale].push_back(std::move(loaded.value()));
        }
        prefetching_ = false;
      });
    }
    if (finished.joinable()) {
      finished.join();
    }
  }

  // An idle decoder of the model, or one on its way, or a newly loaded one; its stream starts
  // afresh. `stopping` is the holder's stop flag: once it is set, the decoder counts as on its
  // way back. Blocks for the length of a load: call it off the main thread.
  Expected<Lease> acquire(const RecogniserModel& model,
                          const std::atomic<bool>* stopping = nullptr) {
    std::unique_ptr<Decoder> decoder;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return !idle_[model.locale].empty() || !onItsWay(model.locale); });
      auto& idle = idle_[model.locale];
      if (!idle.empty()) {
        decoder = std::move(idle.back());
        idle.pop_back();
      } else {
        ++loading_[model.locale];
      }
    }
    joinFinishedPrefetch();
    if (!decoder) {
      Expected<std::unique_ptr<Decoder>> loaded = load(model);
      {
        std::lock_guard lock(mutex_);
        loadEnded(model.locale, loaded);
      }
      if (!loaded.ok()) {
        return loaded.error();
      }
      decoder = std::move(loaded.value());
    }
    // A decoder given back mid-utterance is cleaned up here, by the next user, so that the one
    // who gave it back could stop at once.
    if (Status error = decoder->startStream(); !error.ok()) {
      return error.error();
    }
    std::lock_guard lock(mutex_);
    holders_[model.locale].push_back(stopping);
    return Lease(this->shared_from_this(), model.locale, std::move(decoder), stopping);
  }

  // How many times a model has been loaded.
  int loads() const {
    std::lock_guard lock(mutex_);
    return loads_;
  }
  std::size_t idle(const std::string& locale) const {
    std::lock_guard lock(mutex_);
    auto found = idle_.find(locale);
    return found == idle_.end() ? 0 : found->second.size();
  }

 private:
  explicit DecoderCache(Loader loader) : loader_(std::move(loader)) {}

  // Under mutex_: a decoder of the locale is being loaded, or held by a pipeline that stops.
  bool onItsWay(const std::string& locale) {
    if (loading_[locale] > 0) {
      return true;
    }
    for (const std::atomic<bool>* stopping : holders_[locale]) {
      if (stopping != nullptr && stopping->load()) {
        return true;
      }
    }
    return false;
  }

  // Loads run one at a time: they are rare, memory-heavy, and the engine's set-up code is not
  // known to be safe to run in parallel. Each load is counted in loading_ until loadEnded().
  Expected<std::unique_ptr<Decoder>> load(const RecogniserModel& model) {
    std::lock_guard loading(loadMutex_);
    return loader_(model);
  }

  // Under mutex_. Waiters look again: for the decoder, or to load one of their own.
  void loadEnded(const std::string& locale, const Expected<std::unique_ptr<Decoder>>& loaded) {
    --loading_[locale];
    if (loaded.ok()) {
      ++loads_;
    }
    changed_.notify_all();
  }

  // A prefetch whose decoder has been taken is over; its thread is joined by the taker, so that
  // no thread of it outlives the start-up it served.
  void joinFinishedPrefetch() {
    std::thread finished;
    {
      std::lock_guard lock(mutex_);
      if (!prefetching_) {
        finished = std::move(prefetch_);
      }
    }
    if (finished.joinable()) {
      finished.join();
    }
  }

  void giveBack(const std::string& locale, std::unique_ptr<Decoder> decoder,
                const std::atomic<bool>* stopping) {
    {
      std::lock_guard lock(mutex_);
      auto& holders = holders_[locale];
      holders.erase(std::find(holders.begin(), holders.end(), stopping));
      auto& idle = idle_[locale];
      if (decoder && idle.size() < kIdlePerLocale) {
        idle.push_back(std::move(decoder));
      }
      changed_.notify_all();
    }
    // Anything not kept is freed here, outside the lock.
  }

  const Loader loader_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;  // a decoder came back, a load ended, a holder let go
  std::mutex loadMutex_;
  std::map<std::string, std::vector<std::unique_ptr<Decoder>>> idle_;
  std::map<std::string, int> loading_;
  // The stop flag of each leased decoder's holder (null when it has none), per locale.
  std::map<std::string, std::vector<const std::atomic<bool>*>> holders_;
  int loads_ = 0;
  bool prefetching_ = false;
  std::thread prefetch_;  // at most one at a time; joined by the next taker or at destruction
};

using ModelCache = DecoderCache<PocketSphinxDecoder>;

// The cache of real decoders, loading with PocketSphinx.
std::shared_ptr<ModelCache> makeModelCache();

}  // namespace quelvar::pocketsphinx
