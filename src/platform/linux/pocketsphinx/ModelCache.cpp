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
  std::unique_ptr<PocketSphinxDecoder> decoder;
  {
    std::lock_guard lock(mutex_);
    auto& idle = idle_[model.locale];
    if (!idle.empty()) {
      decoder = std::move(idle.back());
      idle.pop_back();
    }
  }
  if (!decoder) {
    std::lock_guard loading(loadMutex_);
    auto loaded = PocketSphinxDecoder::load(model);
    if (!loaded) {
      return loaded.error();
    }
    decoder = std::move(loaded.value());
    std::lock_guard lock(mutex_);
    ++loads_;
  }
  // A decoder given back mid-utterance is cleaned up here, by the next user, so that the one
  // who gave it back could stop at once.
  if (auto error = decoder->startStream()) {
    return *error;
  }
  return Lease(shared_from_this(), model.locale, std::move(decoder));
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
