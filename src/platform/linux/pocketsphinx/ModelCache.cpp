// The decoder cache: reuse an idle decoder, load one when none is free, keep a few for later.
#include "platform/linux/pocketsphinx/ModelCache.hpp"

namespace quelvar::pocketsphinx {

ModelCache::Lease::Lease(std::shared_ptr<ModelCache> cache, std::string locale,
                         std::unique_ptr<PocketSphinxDecoder> decoder)
    : cache_(std::move(cache)), locale_(std::move(locale)), decoder_(std::move(decoder)) {}

ModelCache::Lease::~Lease() {
  if (cache_ && decoder_) {
    cache_->giveBack(locale_, std::move(decoder_));
  }
}

Expected<ModelCache::Lease> ModelCache::acquire(const RecogniserModel& model) {
  std::unique_ptr<PocketSphinxDecoder> decoder = takeIdle(model.locale);
  if (!decoder) {
    std::lock_guard loading(loadMutex_);
    // A prefetch that held the load lock may have left a decoder meanwhile.
    decoder = takeIdle(model.locale);
    if (!decoder) {
      auto loaded = PocketSphinxDecoder::load(model);
      if (!loaded) {
        return loaded.error();
      }
      decoder = std::move(loaded.value());
      std::lock_guard lock(mutex_);
      ++loads_;
    }
  }
  // A decoder given back mid-utterance is cleaned up here, by the next user, so that the one
  // who gave it back could stop at once.
  if (auto error = decoder->startStream()) {
    return *error;
  }
  return Lease(shared_from_this(), model.locale, std::move(decoder));
}

std::unique_ptr<PocketSphinxDecoder> ModelCache::takeIdle(const std::string& locale) {
  std::lock_guard lock(mutex_);
  auto& idle = idle_[locale];
  if (idle.empty()) {
    return nullptr;
  }
  std::unique_ptr<PocketSphinxDecoder> decoder = std::move(idle.back());
  idle.pop_back();
  return decoder;
}

ModelCache::~ModelCache() {
  if (prefetch_.joinable()) {
    prefetch_.join();
  }
}

void ModelCache::prefetch(const RecogniserModel& model) {
  std::lock_guard lock(mutex_);
  if (prefetching_ || !idle_[model.locale].empty()) {
    return;
  }
  if (prefetch_.joinable()) {
    prefetch_.join();  // the previous prefetch has already finished
  }
  prefetching_ = true;
  prefetch_ = std::thread([this, model] {
    {
      // Handing the decoder over inside the load lock means an acquire() waiting for that lock
      // finds it idle instead of loading a second copy.
      std::lock_guard loading(loadMutex_);
      if (idle(model.locale) == 0) {
        if (auto loaded = PocketSphinxDecoder::load(model)) {
          {
            std::lock_guard counting(mutex_);
            ++loads_;
          }
          giveBack(model.locale, std::move(loaded.value()));
        }
      }
    }
    std::lock_guard done(mutex_);
    prefetching_ = false;
  });
}

void ModelCache::giveBack(const std::string& locale, std::unique_ptr<PocketSphinxDecoder> decoder) {
  {
    std::lock_guard lock(mutex_);
    auto& idle = idle_[locale];
    if (idle.size() < kIdlePerLocale) {
      idle.push_back(std::move(decoder));
    }
  }
  // Anything not kept is freed here, outside the lock.
}

int ModelCache::loads() const {
  std::lock_guard lock(mutex_);
  return loads_;
}

std::size_t ModelCache::idle(const std::string& locale) const {
  std::lock_guard lock(mutex_);
  auto found = idle_.find(locale);
  return found == idle_.end() ? 0 : found->second.size();
}

}  // namespace quelvar::pocketsphinx
