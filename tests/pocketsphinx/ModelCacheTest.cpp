// The decoder cache with decoders that need no model: a load is never duplicated while a decoder
// is on its way, whichever thread gets there first.
#include <atomic>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "platform/linux/pocketsphinx/ModelCache.hpp"

namespace quelvar::pocketsphinx {
namespace {

struct FakeDecoder {
  Status startStream() { return Status(); }
};

using Cache = DecoderCache<FakeDecoder>;

// Each load waits until the test lets it finish, so a test decides what overlaps it.
struct ModelCacheTest : ::testing::Test {
  std::promise<void> loadAllowed;
  std::shared_future<void> allowLoad = loadAllowed.get_future().share();
  std::atomic<int> loaderCalls{0};
  // Declared last among what loads use, so that it goes (joining any prefetch) first.
  std::shared_ptr<Cache> cache = Cache::create([this](const RecogniserModel&) {
    ++loaderCalls;
    allowLoad.wait();
    return Expected<std::unique_ptr<FakeDecoder>>(std::make_unique<FakeDecoder>());
  });
  const RecogniserModel model{"en-US", "en", {}, {}, {}, "pocketsphinx-en-us"};

  // acquire() on a thread of its own, as an analyzer calls it.
  std::future<Expected<Cache::Lease>> acquireElsewhere(
      const std::atomic<bool>* stopping = nullptr) {
    return std::async(std::launch::async,
                      [this, stopping] { return cache->acquire(model, stopping); });
  }
};

TEST_F(ModelCacheTest, aStartWaitsForThePrefetchUnderWayInsteadOfLoadingAgain) {
  cache->prefetch(model);
  cache->prefetch(model);  // one is under way already
  auto lease = acquireElsewhere();
  loadAllowed.set_value();
  ASSERT_TRUE(lease.get().ok());
  EXPECT_EQ(cache->loads(), 1);
}

TEST_F(ModelCacheTest, aDecoderHeldByAStoppingPipelineIsWaitedForNotLoadedAgain) {
  loadAllowed.set_value();
  std::atomic<bool> stopping{false};
  std::optional<Expected<Cache::Lease>> old = cache->acquire(model, &stopping);
  ASSERT_TRUE(old->ok());
  FakeDecoder* const oldDecoder = &old->value().decoder();

  stopping = true;
  cache->prefetch(model);  // nothing to do: the decoder is coming back
  auto next = acquireElsewhere();
  old.reset();  // the old pipeline's thread gives its decoder back
  Expected<Cache::Lease> lease = next.get();
  ASSERT_TRUE(lease.ok());
  EXPECT_EQ(&lease.value().decoder(), oldDecoder);
  EXPECT_EQ(cache->loads(), 1);
}

TEST_F(ModelCacheTest, overlappingPipelinesGetDecodersOfTheirOwnAndOneIsKept) {
  loadAllowed.set_value();
  std::atomic<bool> running{false};
  {
    Expected<Cache::Lease> first = cache->acquire(model, &running);
    Expected<Cache::Lease> second = acquireElsewhere().get();  // the first is busy, not stopping
    ASSERT_TRUE(first.ok() && second.ok());
    EXPECT_EQ(cache->loads(), 2);
  }
  EXPECT_EQ(cache->idle(model.locale), Cache::kIdlePerLocale);
  cache->prefetch(model);  // one is idle already
  cache.reset();           // joins a prefetch, had one been started
  EXPECT_EQ(loaderCalls, 2);
}

TEST_F(ModelCacheTest, aDiscardedDecoderOnItsWayLetsTheWaiterLoadItsOwn) {
  loadAllowed.set_value();
  std::atomic<bool> stopping{true};
  std::optional<Expected<Cache::Lease>> old = cache->acquire(model, &stopping);
  auto next = acquireElsewhere();
  old->value().discard();
  old.reset();
  ASSERT_TRUE(next.get().ok());
  EXPECT_EQ(cache->loads(), 2);
}

}  // namespace
}  // namespace quelvar::pocketsphinx
