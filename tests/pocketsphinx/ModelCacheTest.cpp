// The decoder cache with decoders that need no model: what is kept, and no second load while a
// decoder is on its way back.
#include <atomic>

#include <gtest/gtest.h>

#include "platform/linux/pocketsphinx/ModelCache.hpp"

namespace quelvar::pocketsphinx {
namespace {

struct FakeDecoder {
  Status startStream() { return Status(); }
};

using Cache = DecoderCache<FakeDecoder>;

struct ModelCacheTest : ::testing::Test {
  std::atomic<int> loaderCalls{0};
  // Declared after what loads use, so that it goes (joining any prefetch) first.
  std::shared_ptr<Cache> cache = Cache::create([this](const RecogniserModel&) {
    ++loaderCalls;
    return Expected<std::unique_ptr<FakeDecoder>>(std::make_unique<FakeDecoder>());
  });
  const RecogniserModel model{"en-US", "en", {}, {}, {}, "pocketsphinx-en-us"};
};

TEST_F(ModelCacheTest, overlappingPipelinesGetDecodersOfTheirOwnAndOneIsKept) {
  std::atomic<bool> running{false};
  {
    Expected<Cache::Lease> first = cache->acquire(model, &running);
    Expected<Cache::Lease> second = cache->acquire(model);  // the first is busy, not stopping
    ASSERT_TRUE(first.ok() && second.ok());
  }
  EXPECT_EQ(loaderCalls, 2);
  EXPECT_EQ(cache->idle(model.locale), Cache::kIdlePerLocale);
}

TEST_F(ModelCacheTest, aDecoderHeldByAStoppingPipelineIsNotLoadedAgain) {
  std::atomic<bool> stopping{true};
  {
    Expected<Cache::Lease> old = cache->acquire(model, &stopping);
    cache->prefetch(model);  // nothing to do: the decoder is coming back
  }
  EXPECT_TRUE(cache->acquire(model).ok());
  cache.reset();  // joins a prefetch, had one been started
  EXPECT_EQ(loaderCalls, 1);
}

// A failed decoder is freed, and nothing stands in the way of loading the next one early.
TEST_F(ModelCacheTest, aDiscardedDecoderLeavesRoomForAPrefetch) {
  std::atomic<bool> stopping{true};
  {
    Expected<Cache::Lease> old = cache->acquire(model, &stopping);
    old.value().discard();
  }
  cache->prefetch(model);
  cache.reset();  // joins the prefetch
  EXPECT_EQ(loaderCalls, 2);
}

}  // namespace
}  // namespace quelvar::pocketsphinx
