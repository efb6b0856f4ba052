// The decoder cache of the PocketSphinx service.
#include "platform/linux/pocketsphinx/ModelCache.hpp"

namespace quelvar::pocketsphinx {

template class DecoderCache<PocketSphinxDecoder>;

std::shared_ptr<ModelCache> makeModelCache() {
  return ModelCache::create(
      [](const RecogniserModel& model) { return PocketSphinxDecoder::load(model); });
}

}  // namespace quelvar::pocketsphinx
