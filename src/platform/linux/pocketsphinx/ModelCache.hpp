// Loaded decoders kept for reuse, so that a later pipeline of the same language skips the load.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/PlatformError.hpp"
#include "platform/linux/pocketsphinx/PocketSphinxDecoder.hpp"

namespace quelvar::pocketsphinx {

// A decoder serves one pipeline at a time (PocketSphinx is not thread-safe), so pipelines that
// overlap get decoders of their own; a finished pipeline's decoder waits here for the next one.
// Thread-safe: pipelines acquire and give back from their own threads.
class ModelCache : public std::enable_shared_from_this<ModelCache> {
 public:
  // Idle decoders kept per locale; more are freed, since each holds the whole model in memory.
  static constexpr std::size_t kIdlePerLocale = 1;

  // Exclusive use of one decoder; gives it back when destroyed.
  class Lease {
   public:
    Lease(std::shared_ptr<ModelCache> cache, std::string locale,
          std::unique_ptr<PocketSphinxDecoder> decoder);
    Lease(Lease&&) noexcept = default;
    Lease& operator=(Lease&&) noexcept = default;
    ~Lease();

    PocketSphinxDecoder& decoder() { return *decoder_; }
    // The decoder failed: free it instead of keeping it for the next pipeline.
    void discard() { decoder_.reset(); }

   private:
    std::shared_ptr<ModelCache> cache_;
    std::string locale_;
    std::unique_ptr<PocketSphinxDecoder> decoder_;
  };

  static std::shared_ptr<ModelCache> create() {
    return std::shared_ptr<ModelCache>(new ModelCache());
  }

  // An idle decoder of the model, or a newly loaded one; its stream starts afresh. Blocks for
  // the length of a load: call it off the main thread.
  Expected<Lease> acquire(const RecogniserModel& model);

  // How many times a model has been loaded from disk.
  int loads() const;
  std::size_t idle(const std::string& locale) const;

 private:
  ModelCache() = default;
  void giveBack(const std::string& locale, std::unique_ptr<PocketSphinxDecoder> decoder);

  mutable std::mutex mutex_;
  // Loads run one at a time: they are rare, memory-heavy, and the engine's set-up code is not
  // known to be safe to run in parallel.
  std::mutex loadMutex_;
  std::map<std::string, std::vector<std::unique_ptr<PocketSphinxDecoder>>> idle_;
  int loads_ = 0;
};

}  // namespace quelvar::pocketsphinx
