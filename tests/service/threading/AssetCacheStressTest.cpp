#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "service/AssetCache.h"
#include "tests/support/TestEnvironment.h"

namespace {

class AssetCacheStressTest : public GlimdeckTest {
 protected:
  // Eight threads store, look up, read and remove an overlapping set of keys. Every answer
  // must be whole: a read gives the bytes of one of the stores of that key, never a mix.
  void hammer(const std::shared_ptr<AssetCache>& cache) {
    constexpr int threads = 8;
    constexpr int rounds = 60;
    constexpr int keys = 12;
    std::atomic<int> badReads{0};
    std::atomic<int> inconsistent{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([&, t] {
        for (int i = 0; i < rounds; ++i) {
          std::string key = "https://media.zolto.test/" + std::to_string((t * 7 + i) % keys) + ".gif";
          switch ((t + i) % 4) {
            case 0:
              cache->cacheAssetWithData(NSData::fromString("payload of " + key), key, "gif");
              break;
            case 1:
              if (auto data = cache->cachedAssetWithKey(key); data && data->string() != "payload of " + key) ++badReads;
              break;
            case 2:
              // Under the cache's lock several calls see one state: a key is contained exactly
              // when it has a file, and every ordered key is mapped.
              cache->withLock([&] {
                if (cache->containsValueForKey(key) != (cache->storagePathForKey(key) != nullptr)) ++inconsistent;
                auto mapping = cache->mapping();
                for (const auto& ordered : cache->order()) {
                  if (!mapping.contains(ordered)) ++inconsistent;
                }
              });
              break;
            default:
              cache->removeItemForKey(key);
              break;
          }
        }
      });
    }
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(badReads.load(), 0);
    EXPECT_EQ(inconsistent.load(), 0);

    // Afterwards the maps agree with each other and with the disk.
    auto mapping = cache->mapping();
    auto order = cache->order();
    EXPECT_EQ(mapping.size(), order.size());
    for (const auto& key : order) {
      ASSERT_TRUE(mapping.contains(key)) << key;
      auto data = cache->cachedAssetWithKey(key);
      ASSERT_TRUE(data) << key;
      EXPECT_EQ(data->string(), "payload of " + key);
    }
    auto restarted = AssetCache::make();
    EXPECT_EQ(restarted->order(), cache->order());
  }
};

TEST_F(AssetCacheStressTest, EightThreadsStoreLookUpAndRemoveConsistently) {
  hammer(AssetCache::make());
}

TEST_F(AssetCacheStressTest, TheFallbackLockGuardsAsWellAsTheMutex) {
  hammer(AssetCache::makeWithMutex(std::unexpected(
      PThreadMutexError{PThreadMutexError::Kind::attributeInitializationError, "refused"})));
}

}  // namespace
