// The media cache's archives written straight as bytes read back exactly as the keyed
// archiver's own: every size of map (references of one, two and four bytes; counts that fit
// a marker and counts that do not), and what the straight writer leaves to the archiver.

#include <gtest/gtest.h>

#include <string>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSKeyedArchiver.h"
#include "platform/foundation/NSKeyedUnarchiver.h"
#include "platform/foundation/NSString.h"
#include "service/AssetCacheArchives.h"

namespace {

AssetCacheArchives::Mapping mappingOf(std::size_t count) {
  AssetCacheArchives::Mapping mapping;
  for (std::size_t i = 0; i < count; ++i) {
    mapping["https://media.zolto.test/" + std::to_string(i) + "/tinygif.gif?q=a%20b"] =
        NSURL::fileURLWithPath("/cache/Glimdeck/media/zolto-" + std::to_string(i * 7919) + ".gif", false);
  }
  return mapping;
}

id readBack(const std::string& bytes) {
  auto object = NSKeyedUnarchiver::unarchiveObjectWithData(NSData::fromString(bytes));
  return object ? *object : nullptr;
}

TEST(AssetCacheArchives, ReadBackAsTheArchiversOwnAtEverySize) {
  for (std::size_t count : {0u, 1u, 14u, 15u, 300u, 25'000u}) {
    const auto mapping = mappingOf(count);
    auto written = AssetCacheArchives::archivedMapping(mapping);
    ASSERT_TRUE(written) << count;
    auto dictionary = NSDictionary::make();
    for (const auto& [key, url] : mapping) dictionary->setObject(url, key);
    auto general = NSKeyedArchiver::archivedDataWithRootObject(dictionary);
    ASSERT_TRUE(general);
    auto read = asA<NSDictionary>(readBack(*written));
    ASSERT_TRUE(read) << count;
    EXPECT_TRUE(read->isEqual(readBack((*general)->string()))) << count;
    ASSERT_EQ(read->count(), count);
    for (const auto& [key, url] : mapping) {
      auto value = asA<NSURL>(read->objectForKey(key));
      ASSERT_TRUE(value) << key;
      EXPECT_EQ(value->absoluteString(), url->absoluteString());
    }

    std::vector<std::string> order;
    for (const auto& [key, url] : mapping) order.push_back(key);
    auto orderBytes = AssetCacheArchives::archivedOrder(order);
    ASSERT_TRUE(orderBytes) << count;
    auto array = asA<NSArray>(readBack(*orderBytes));
    ASSERT_TRUE(array) << count;
    ASSERT_EQ(array->count(), order.size());
    for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(asA<NSString>(array->objectAtIndex(i))->string(), order[i]);
  }
}

TEST(AssetCacheArchives, WhatTheWriterDoesNotHandleIsLeftToTheArchiver) {
  auto mapping = mappingOf(3);
  mapping["https://media.zolto.test/é.gif"] = NSURL::fileURLWithPath("/cache/zolto-1.gif", false);
  EXPECT_FALSE(AssetCacheArchives::archivedMapping(mapping));
  EXPECT_FALSE(AssetCacheArchives::archivedOrder({"plain", "naïve"}));
  auto relative = mappingOf(2);
  relative["https://media.zolto.test/r.gif"] =
      NSURL::URLWithString("zolto-2.gif", NSURL::fileURLWithPath("/cache/", true));
  EXPECT_FALSE(AssetCacheArchives::archivedMapping(relative));
  auto empty = mappingOf(1);
  empty["https://media.zolto.test/none.gif"] = nullptr;
  EXPECT_FALSE(AssetCacheArchives::archivedMapping(empty));
}

}  // namespace
