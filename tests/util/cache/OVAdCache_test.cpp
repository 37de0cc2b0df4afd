// The resource cache's memory layer: costs, eviction, typed entries, expiry
// on a manual clock, memory warnings, the disk limit and the names of its
// keys and files.
#include "util/cache/OVAdCache.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/SHA1.h"
#include "support/doubles/VideoAssetForCacheDouble.h"
#include "util/cache/OVAdCacheEnvironmentKey.h"
#include "util/cache/OVAdCacheStore.h"
#include "util/cache/OVAdCacheTestSupport.h"

namespace plexora {
namespace {

using testing::VideoAssetForCacheDouble;

std::shared_ptr<const std::string> text(const char* value) { return std::make_shared<const std::string>(value); }

std::string textOf(const OVAdCacheValue& value) {
  const auto held = value.as<const std::string>();
  return held ? *held : "<none>";
}

TEST(OVAdCacheCostTest, ImageRowsArePaddedToSixteenBytes) {
  struct Case {
    std::uint32_t pixelWidth;
    std::uint32_t pixelHeight;
    double scale;
    std::size_t imageCost;
    std::size_t pixelCost;
  };
  const Case cases[] = {
      // 10.5 by 3 points: 3 rows of 40 bytes raised to 48.
      {21, 6, 2.0, 3 * 48, 6 * 96},
      {4, 1, 1.0, 16, 16},
      {5, 2, 1.0, 2 * 32, 2 * 32},
      {1, 1, 3.0, 0, 16},
  };
  for (const Case& c : cases) {
    const auto image = platform::Image::create(c.pixelWidth, c.pixelHeight, c.scale, platform::Color::white());
    EXPECT_EQ(OVAdCache::costForImage(image.get()), c.imageCost) << c.pixelWidth << "x" << c.pixelHeight;
    EXPECT_EQ(OVAdCache::costForCIImage(image.get()), c.pixelCost) << c.pixelWidth << "x" << c.pixelHeight;
  }
  EXPECT_EQ(OVAdCache::costForImage(nullptr), 0U);
  EXPECT_EQ(OVAdCache::costForCIImage(nullptr), 0U);
}

TEST(OVAdCacheCostTest, AssetCostSumsItsTracksAndIgnoresNonsense) {
  VideoAssetForCacheDouble asset(testing::parsedURL("file:///a.mp4"), true,
                                 VideoAssetForCacheDouble::Completion::Never);
  EXPECT_EQ(OVAdCache::costForAVAsset(&asset), 0U) << "an asset without tracks weighs nothing";

  asset.setTracks(QNVMediaType::Video, {{800000.0F, 2.5}, {8.0F, 1.9}});
  asset.setTracks(QNVMediaType::Audio,
                  {{64000.0F, 2.5}, {std::numeric_limits<float>::quiet_NaN(), 3.0}, {-8000.0F, 1.0}});
  // 100000 B/s * 2.5 s, 1 B/s * 1.9 s truncated to 1, 8000 B/s * 2.5 s.
  EXPECT_EQ(OVAdCache::costForAVAsset(&asset), 250000U + 1U + 20000U);
  EXPECT_EQ(OVAdCache::costForAVAsset(nullptr), 0U);
}

TEST(OVAdCacheStoreTest, EvictsLeastRecentlyUsedCostlyEntries) {
  OVAdCacheStore store(10);
  store.setObject(text("a"), "a", 4);
  store.setObject(text("b"), "b", 4);
  store.setObject(text("free"), "free", 0);
  EXPECT_TRUE(store.objectForKey("a"));  // now b is the least recently used
  store.setObject(text("c"), "c", 4);

  EXPECT_TRUE(store.objectForKey("a"));
  EXPECT_FALSE(store.objectForKey("b"));
  EXPECT_TRUE(store.objectForKey("c"));
  EXPECT_TRUE(store.objectForKey("free")) << "entries without cost are never evicted for space";
  EXPECT_EQ(store.totalCost(), 8U);

  store.setObject(text("huge"), "huge", 11);
  EXPECT_FALSE(store.objectForKey("huge")) << "alone over the limit";
  EXPECT_EQ(store.totalCost(), 0U);
  EXPECT_TRUE(store.objectForKey("free"));
}

TEST(OVAdCacheStoreTest, RemovesOnlyTheSameObject) {
  OVAdCacheStore store(10);
  const auto first = text("first");
  store.setObject(first, "k", 1);
  store.setObject(text("second"), "k", 1);
  EXPECT_FALSE(store.removeObjectForKeyIfSame("k", first));
  EXPECT_EQ(textOf(store.objectForKey("k")), "second");
  EXPECT_TRUE(store.removeObjectForKeyIfSame("k", store.objectForKey("k")));
  EXPECT_FALSE(store.objectForKey("k"));
}

TEST(OVAdCacheValueTest, ReadsBackOnlyAsTheStoredType) {
  const OVAdCacheValue value(text("x"));
  EXPECT_EQ(textOf(value), "x");
  EXPECT_EQ(value.as<std::string>(), nullptr) << "constness is part of the type";
  EXPECT_EQ(value.as<platform::Image>(), nullptr);
  EXPECT_FALSE(OVAdCacheValue(std::shared_ptr<const std::string>()));
}

TEST(OVAdCacheKeyTest, EnvironmentKey) {
  EXPECT_EQ(OVAdEnvironmentCacheKey(1, "P", 0, 4, 50.0, 320.0, 1), "1:P:0:4:50:320:1");
  EXPECT_EQ(OVAdEnvironmentCacheKey(3, "a_b", 2, 200, -1.0, 99.9, 5), "3:a_b:2:200:-1:99:5");
  EXPECT_EQ(OVAdEnvironmentCacheKey(2, "P", 0, 101, std::nan(""), 1e300, 1), "2:P:0:101:0:0:1");
}

class OVAdCacheTest : public testing::ResourceFixture {
 protected:
  std::shared_ptr<OVAdCache> cache_ = OVAdCache::create(OVAdCache::kDefaultExpirationInterval, loader_);
};

TEST_F(OVAdCacheTest, FileNamesAreStableDigestsOfTheURL) {
  const platform::URL remote = testing::parsedURL("https://cdn.example/ads/cover.jpg?v=2");
  const std::string digest = platform::sha1Hex(platform::asBytes(remote.absoluteString()));
  const std::string root = (caches_.path() / "plexora/cache").string();

  EXPECT_EQ(OVAdCacheRootPath(), root);
  EXPECT_EQ(OVAdCacheFileURL(OVAdCacheFetchType::Image, remote)->filePath(), root + "/image/" + digest + ".jpg");
  EXPECT_EQ(OVAdCacheFileURL(OVAdCacheFetchType::Video, remote)->filePath(), root + "/video/" + digest + ".mp4");
  EXPECT_EQ(OVAdCacheFileURL(OVAdCacheFetchType::Data, remote)->filePath(), root + "/data/" + digest + ".data");
  EXPECT_EQ(OVAdCacheFileURL(OVAdCacheFetchType::None, remote)->filePath(), root);
  EXPECT_NE(OVAdCacheFileURL(OVAdCacheFetchType::Image, testing::parsedURL("https://cdn.example/ads/cover.jpg")),
            OVAdCacheFileURL(OVAdCacheFetchType::Image, remote));
}

TEST_F(OVAdCacheTest, TypedEntriesByURL) {
  const platform::URL url = testing::parsedURL("https://cdn.example/i.png");
  const auto image = platform::Image::create(2, 2, 1.0, platform::Color::black());
  const auto blurred = platform::Image::create(2, 2, 1.0, platform::Color::white());

  cache_->setImage(image, url);
  cache_->setBlurredImage(blurred, url);
  EXPECT_EQ(cache_->imageForURL(url), image);
  EXPECT_EQ(cache_->blurredImageForURL(url), blurred);
  EXPECT_EQ(cache_->objectForKey(url.absoluteString()).as<platform::Image>(), image);

  cache_->setImage(nullptr, url);
  EXPECT_EQ(cache_->imageForURL(url), nullptr);
  EXPECT_EQ(cache_->blurredImageForURL(url), blurred) << "the blurred copy has a key of its own";

  cache_->setObject(text("not an image"), url.absoluteString(), 0);
  EXPECT_EQ(cache_->imageForURL(url), nullptr);
}

TEST_F(OVAdCacheTest, NativeAdsByScrollViewAndManager) {
  const int scrollView = 0;
  const int manager = 0;
  const int otherManager = 0;
  EXPECT_TRUE(cache_->nativeAdsForScrollView(&scrollView, &manager).empty());

  // The cache only keeps the pointers; these stand for two ads and are never
  // followed.
  const int first = 0;
  const int second = 0;
  const OVAdCache::NativeAds ads{
      std::shared_ptr<OVNativeAd>(std::shared_ptr<void>(), reinterpret_cast<OVNativeAd*>(const_cast<int*>(&first))),
      std::shared_ptr<OVNativeAd>(std::shared_ptr<void>(), reinterpret_cast<OVNativeAd*>(const_cast<int*>(&second)))};
  cache_->setNativeAds(ads, &scrollView, &manager);
  EXPECT_EQ(cache_->nativeAdsForScrollView(&scrollView, &manager), ads);
  EXPECT_TRUE(cache_->nativeAdsForScrollView(&scrollView, &otherManager).empty());
  EXPECT_TRUE(cache_->nativeAdsForScrollView(&manager, &scrollView).empty());
}

TEST_F(OVAdCacheTest, ExpiredEntriesGoWithTheNextSweep) {
  const double now = clock_->wallTime();
  cache_->setObjectWithExpiration(text("past"), "past", now - 1.0);
  cache_->setObjectWithExpiration(text("soon"), "soon", now + 15.0);
  cache_->setObject(text("costly"), "costly", 100, now + 5.0);
  EXPECT_EQ(textOf(cache_->objectForKey("past")), "past") << "until the sweep, an expired entry is still answered";

  clock_->advance(OVAdCache::kDefaultExpirationInterval);
  EXPECT_FALSE(cache_->objectForKey("past"));
  EXPECT_FALSE(cache_->objectForKey("costly"));
  EXPECT_EQ(textOf(cache_->objectForKey("soon")), "soon");

  clock_->advance(OVAdCache::kDefaultExpirationInterval);
  EXPECT_FALSE(cache_->objectForKey("soon"));
}

TEST_F(OVAdCacheTest, SweepSparesAnEntryThatReplacedTheExpiredOne) {
  const double now = clock_->wallTime();
  cache_->setObjectWithExpiration(text("old"), "key", now + 1.0);
  cache_->setObject(text("new"), "key", 0);
  cache_->setObjectWithExpiration(text("old too"), "other", now + 1.0);
  cache_->setObjectWithExpiration(text("renewed"), "other", now + 100.0);

  clock_->advance(OVAdCache::kDefaultExpirationInterval);
  EXPECT_EQ(textOf(cache_->objectForKey("key")), "new");
  EXPECT_EQ(textOf(cache_->objectForKey("other")), "renewed");
}

TEST_F(OVAdCacheTest, MemoryWarningEmptiesMemoryButNotDisk) {
  std::filesystem::create_directories(cacheRoot() / "data");
  std::ofstream(cacheRoot() / "data" / "kept.data") << "bytes";
  cache_->setObject(text("x"), "x", 1);

  platform::NotificationCenter::defaultCenter().post(platform::kApplicationDidReceiveMemoryWarningNotification);
  ASSERT_TRUE(runMainUntil([&] { return !cache_->objectForKey("x"); }));
  EXPECT_EQ(testing::filesBelow(cacheRoot()).size(), 1U);
}

TEST_F(OVAdCacheTest, EmptyKeyHoldsNothing) {
  cache_->setObject(text("x"), "", 0);
  EXPECT_FALSE(cache_->objectForKey(""));
  cache_->setObjectWithExpiration(text("x"), "", clock_->wallTime());
  EXPECT_FALSE(cache_->objectForKey(""));
}

TEST_F(OVAdCacheTest, DiskCacheIsWipedWholeOnlyPastItsLimit) {
  std::filesystem::create_directories(cacheRoot() / "image");
  std::ofstream(cacheRoot() / "image" / "a.jpg") << std::string(10000, 'a');
  std::ofstream(cacheRoot() / "image" / "b.jpg") << std::string(3000, 'b');
  const std::uint64_t size = cache_->diskCacheSize();
  ASSERT_GT(size, 0U);

  const auto atLimit = OVAdCache::create(OVAdCache::kDefaultExpirationInterval, loader_, size);
  EXPECT_FALSE(atLimit->wipeDiskCacheIfNeeded());
  EXPECT_EQ(testing::filesBelow(cacheRoot()).size(), 2U);

  const auto belowSize = OVAdCache::create(OVAdCache::kDefaultExpirationInterval, loader_, size - 1);
  EXPECT_TRUE(belowSize->wipeDiskCacheIfNeeded());
  EXPECT_FALSE(std::filesystem::exists(cacheRoot()));
  EXPECT_EQ(cache_->diskCacheSize(), 0U) << "a missing cache measures nothing";
}

TEST_F(OVAdCacheTest, WipeCacheClearsBothLayers) {
  std::filesystem::create_directories(cacheRoot() / "data");
  std::ofstream(cacheRoot() / "data" / "a.data") << "bytes";
  cache_->setObject(text("x"), "x", 1);

  cache_->wipeCache();
  EXPECT_FALSE(cache_->objectForKey("x"));
  EXPECT_FALSE(std::filesystem::exists(cacheRoot()));
  cache_->wipeDiskCache();  // nothing left to remove
}

}  // namespace
}  // namespace plexora
