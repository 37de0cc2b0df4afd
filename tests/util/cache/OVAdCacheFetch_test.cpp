// The resource cache's fetch lookups against a loopback server and a real
// caches directory: one download for many waiting callers, retries, memory
// and disk layers, broken images, videos and their assets, and failures that
// must leave nothing behind.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "support/doubles/VideoAssetForCacheDouble.h"
#include "util/cache/OVAdCache.h"
#include "util/cache/OVAdCacheTestSupport.h"
#include "util/compatibility/OVAdFileVideoAsset.h"

namespace plexora {
namespace {

using namespace std::chrono_literals;
using testing::filesBelow;
using testing::pngBytes;
using testing::VideoAssetFactoryScope;
using testserver::Response;

// What a fetch lookup's block received, and where it ran.
template <class T>
struct Answer {
  bool called = false;
  bool onMainThread = false;
  std::shared_ptr<T> value;
};

template <class T>
std::function<void(const std::shared_ptr<T>&)> recordInto(Answer<T>& answer) {
  return [&answer](const std::shared_ptr<T>& value) {
    answer.called = true;
    answer.onMainThread = platform::DispatchQueue::isMainThread();
    answer.value = value;
  };
}

class OVAdCacheFetchTest : public testing::ResourceFixture {
 protected:
  // A long sweep interval: no sweep gets in the way of a test that moves the
  // clock.
  std::shared_ptr<OVAdCache> cache_ = OVAdCache::create(3600.0, loader_);
};

TEST_F(OVAdCacheFetchTest, ConcurrentRequestsForOneImageShareOneDownload) {
  // Both asks are made before the main loop runs, so the first download is
  // in flight for the second whatever its delay; a short one keeps a slow
  // machine inside the download timeout, whose retry would be a second
  // request.
  server_.on("/cover.png", Response::text(200, pngBytes(4, 3), 50ms));
  Answer<platform::Image> first;
  Answer<platform::Image> second;

  cache_->imageForURL(url("/cover.png"), recordInto(first));
  cache_->imageForURL(url("/cover.png"), recordInto(second));
  ASSERT_TRUE(runMainUntil([&] { return first.called && second.called; }));

  EXPECT_EQ(requestsFor("/cover.png"), 1U);
  ASSERT_NE(first.value, nullptr);
  EXPECT_EQ(first.value, second.value);
  EXPECT_EQ(first.value->pixelWidth(), 4U);
  EXPECT_TRUE(first.onMainThread);
  EXPECT_TRUE(second.onMainThread);
  EXPECT_EQ(cache_->imageForURL(url("/cover.png")), first.value);
}

TEST_F(OVAdCacheFetchTest, HundredsOfConcurrentFetchesAllDeliverPromptly) {
  // Far more fetches than the pool has threads: none of them may hold a
  // thread while its download is under way, or the session's own queue
  // finds no thread to answer them. The downloads get the whole wait as
  // their timeout: on a machine busy with a parallel suite, the last of 300
  // can take longer than the fixture's one second, and a timed-out download
  // would say nothing about the pool.
  constexpr int kFetches = 300;
  constexpr double kPromptSeconds = 30.0;
  const OVAdResourceLoaderLimits limits{.maximumResourceBytes = testing::kTestMaximumResourceBytes,
                                        .downloadTimeout = kPromptSeconds};
  const auto cache = OVAdCache::create(3600.0, OVAdResourceLoader::create(session_, limits));
  server_.on("/many/", Response::text(200, "payload"), testserver::Match::Prefix);
  int answered = 0;
  int delivered = 0;
  for (int i = 0; i < kFetches; ++i) {
    const std::string path = "/many/" + std::to_string(i);
    cache->objectForKey(path, url(path), OVAdCacheFetchType::Data, [&](const OVAdCacheValue& value) {
      ++answered;
      delivered += value.as<const platform::Bytes>() ? 1 : 0;
    });
  }
  ASSERT_TRUE(platform::MainLoop::instance().runUntil([&] { return answered == kFetches; }, kPromptSeconds))
      << answered << " answered";
  // Every fetch is answered; under a sanitizer's slowdown the loopback
  // server refuses some of the 300 simultaneous connections, so some
  // answers may be failures, but a pool that starved would deliver none in
  // time.
  EXPECT_GE(delivered, kFetches / 2);
}

TEST_F(OVAdCacheFetchTest, ImageComesFromDiskOnceMemoryIsEmptied) {
  server_.on("/cover.png", Response::text(200, pngBytes(2, 2)));
  Answer<platform::Image> downloaded;
  cache_->imageForURL(url("/cover.png"), recordInto(downloaded));
  ASSERT_TRUE(runMainUntil([&] { return downloaded.called; }));

  cache_->wipeInMemoryCache();
  EXPECT_EQ(cache_->imageForURL(url("/cover.png")), nullptr);
  Answer<platform::Image> fromDisk;
  cache_->imageForURL(url("/cover.png"), recordInto(fromDisk));
  ASSERT_TRUE(runMainUntil([&] { return fromDisk.called; }));

  ASSERT_NE(fromDisk.value, nullptr);
  EXPECT_NE(fromDisk.value, downloaded.value) << "decoded again from the file";
  EXPECT_EQ(requestsFor("/cover.png"), 1U);
}

TEST_F(OVAdCacheFetchTest, FailedDownloadAnswersNothingToEveryCallerThenStartsAfresh) {
  server_.on("/gone.png", Response::text(404, "", 200ms));
  Answer<platform::Image> first;
  Answer<platform::Image> second;
  cache_->imageForURL(url("/gone.png"), recordInto(first));
  cache_->imageForURL(url("/gone.png"), recordInto(second));
  ASSERT_TRUE(runMainUntil([&] { return first.called && second.called; }));

  EXPECT_EQ(first.value, nullptr);
  EXPECT_EQ(second.value, nullptr);
  EXPECT_TRUE(first.onMainThread);
  EXPECT_TRUE(second.onMainThread);
  EXPECT_EQ(requestsFor("/gone.png"), 2U) << "one retry";
  EXPECT_TRUE(filesBelow(cacheRoot()).empty());

  server_.on("/gone.png", Response::text(200, pngBytes(1, 1)));
  Answer<platform::Image> later;
  cache_->imageForURL(url("/gone.png"), recordInto(later));
  ASSERT_TRUE(runMainUntil([&] { return later.called; }));
  EXPECT_NE(later.value, nullptr);
  EXPECT_EQ(requestsFor("/gone.png"), 3U);
}

TEST_F(OVAdCacheFetchTest, ImageFileThatDoesNotDecodeIsFetchedAgain) {
  const std::string png = pngBytes(2, 1);
  server_.on("/cover.png", Response::text(200, png));
  const std::filesystem::path file = *cacheFileURL(OVAdCacheFetchType::Image, "/cover.png").filePath();
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << png.substr(0, png.size() / 2);

  Answer<platform::Image> answer;
  cache_->imageForURL(url("/cover.png"), recordInto(answer));
  ASSERT_TRUE(runMainUntil([&] { return answer.called; }));
  EXPECT_NE(answer.value, nullptr);
  EXPECT_EQ(requestsFor("/cover.png"), 1U);
  EXPECT_EQ(std::filesystem::file_size(file), png.size());
}

TEST_F(OVAdCacheFetchTest, UnwritableCachesDirectoryAnswersNothing) {
  server_.on("/cover.png", Response::text(200, pngBytes(2, 2)));
  const std::filesystem::path blocker = caches_.path() / "blocker";
  std::ofstream(blocker) << "a file, not a folder";
  platform::setCachesDirectory(blocker.string());

  Answer<platform::Image> answer;
  cache_->imageForURL(url("/cover.png"), recordInto(answer));
  ASSERT_TRUE(runMainUntil([&] { return answer.called; }));
  EXPECT_EQ(answer.value, nullptr);
  EXPECT_TRUE(std::filesystem::is_regular_file(blocker));
}

TEST_F(OVAdCacheFetchTest, DataIsStoredUnderTheFetchKey) {
  server_.on("/config", Response::text(200, "payload"));
  OVAdCacheValue received;
  bool called = false;
  cache_->objectForKey("my-key", url("/config"), OVAdCacheFetchType::Data, [&](const OVAdCacheValue& value) {
    received = value;
    called = true;
  });
  ASSERT_TRUE(runMainUntil([&] { return called; }));

  const auto data = received.as<const platform::Bytes>();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(data->begin(), data->end()), "payload");
  EXPECT_EQ(cache_->objectForKey("my-key").as<const platform::Bytes>(), data);
}

TEST_F(OVAdCacheFetchTest, LookupsWithoutURLOrFetchAnswerWhatMemoryHolds) {
  cache_->setObject(std::make_shared<const std::string>("held"), "held", 0);
  OVAdCacheValue held;
  bool heldCalled = false;
  cache_->objectForKeyWithBlock("held", [&](const OVAdCacheValue& value) {
    held = value;
    heldCalled = true;
  });
  bool missingCalled = false;
  bool missingEmpty = false;
  cache_->objectForKeyWithBlock("missing", [&](const OVAdCacheValue& value) {
    missingCalled = true;
    missingEmpty = !value;
  });
  Answer<QNVAssetForCache> noURL;
  cache_->AVAssetForURL(std::nullopt, recordInto(noURL));

  EXPECT_FALSE(heldCalled) << "answers arrive through the main queue";
  ASSERT_TRUE(runMainUntil([&] { return heldCalled && missingCalled && noURL.called; }));
  EXPECT_EQ(*held.as<const std::string>(), "held");
  EXPECT_TRUE(missingEmpty);
  EXPECT_EQ(noURL.value, nullptr);
  EXPECT_TRUE(noURL.onMainThread);
}

TEST_F(OVAdCacheFetchTest, VideoIsOpenedFromItsFileAndKeptWithItsCost) {
  VideoAssetFactoryScope factory(VideoAssetFactoryScope::Completion::OnGlobalQueue, {{8000.0F, 10.0}});
  server_.on("/ad.mp4", Response::text(200, "movie bytes"));
  Answer<QNVAssetForCache> answer;
  cache_->AVAssetForURL(url("/ad.mp4"), recordInto(answer));
  ASSERT_TRUE(runMainUntil([&] { return answer.called; }));

  ASSERT_EQ(factory.created().size(), 1U);
  const auto asset = factory.created().front();
  EXPECT_EQ(answer.value, asset);
  EXPECT_TRUE(asset->isFile());
  EXPECT_EQ(asset->url(), cacheFileURL(OVAdCacheFetchType::Video, "/ad.mp4"));
  EXPECT_EQ(asset->requestedKeys(), (std::vector<std::string>{"tracks", "duration", "playable"}));
  EXPECT_EQ(cache_->objectForKey(url("/ad.mp4").absoluteString()).as<QNVAssetForCache>(), asset);
  EXPECT_EQ(OVAdCache::costForAVAsset(asset.get()), 10000U);
}

TEST_F(OVAdCacheFetchTest, VideoWhoseAssetNeverLoadsAnswersNothingAfterThirtySeconds) {
  VideoAssetFactoryScope factory(VideoAssetFactoryScope::Completion::Never);
  server_.on("/ad.mp4", Response::text(200, "movie bytes"));
  const std::size_t wakeupsBefore = clock_->pendingWakeups();
  Answer<QNVAssetForCache> answer;
  cache_->AVAssetForURL(url("/ad.mp4"), recordInto(answer));

  // The cache now waits for the load, with a wakeup of its own on the clock.
  ASSERT_TRUE(runMainUntil([&] {
    return factory.created().size() == 1 && factory.created().front()->loadCount() == 1 &&
           clock_->pendingWakeups() > wakeupsBefore;
  }));
  clock_->advance(OVAdCache::kAssetLoadTimeout - 1.0);
  EXPECT_FALSE(answer.called);
  clock_->advance(1.0);
  ASSERT_TRUE(runMainUntil([&] { return answer.called; }));
  EXPECT_EQ(answer.value, nullptr);
  EXPECT_FALSE(cache_->objectForKey(url("/ad.mp4").absoluteString()));
}

TEST_F(OVAdCacheFetchTest, DefaultAssetTellsTheDownloadedFileSize) {
  server_.on("/ad.mp4", Response::text(200, "twelve bytes"));
  Answer<QNVAssetForCache> answer;
  cache_->AVAssetForURL(url("/ad.mp4"), recordInto(answer));
  ASSERT_TRUE(runMainUntil([&] { return answer.called; }));

  const auto asset = std::dynamic_pointer_cast<OVAdFileVideoAsset>(answer.value);
  ASSERT_NE(asset, nullptr);
  EXPECT_TRUE(asset->isLoaded());
  EXPECT_EQ(asset->fileSize(), 12U);
  EXPECT_EQ(OVAdCache::costForAVAsset(asset.get()), 0U);
}

TEST_F(OVAdCacheFetchTest, OverSizeVideoAnswersNothingAndLeavesNoFile) {
  VideoAssetFactoryScope factory;
  server_.on("/huge.mp4", Response::text(200, std::string(testing::kTestMaximumResourceBytes + 1, 'v')));
  Answer<QNVAssetForCache> answer;
  cache_->AVAssetForURL(url("/huge.mp4"), recordInto(answer));
  ASSERT_TRUE(runMainUntil([&] { return answer.called; }));

  EXPECT_EQ(answer.value, nullptr);
  EXPECT_TRUE(factory.created().empty());
  EXPECT_TRUE(filesBelow(cacheRoot()).empty());
}

TEST_F(OVAdCacheFetchTest, OverfullDiskCacheIsWipedBeforeTheNextFetch) {
  const auto smallDisk = OVAdCache::create(3600.0, loader_, 1);
  std::filesystem::create_directories(cacheRoot() / "data");
  std::ofstream(cacheRoot() / "data" / "old.data") << std::string(5000, 'o');
  server_.on("/new.json", Response::text(200, "{}"));

  bool called = false;
  smallDisk->objectForKey("new", url("/new.json"), OVAdCacheFetchType::Data,
                          [&](const OVAdCacheValue&) { called = true; });
  ASSERT_TRUE(runMainUntil([&] { return called; }));
  const auto files = filesBelow(cacheRoot());
  ASSERT_EQ(files.size(), 1U);
  EXPECT_EQ(std::filesystem::path(files.front()).parent_path().filename(), "data");
  EXPECT_NE(std::filesystem::path(files.front()).filename(), "old.data");
}

// The folder is measured by the first check only; what the cache's own
// downloads add must still count against the limit.
TEST_F(OVAdCacheFetchTest, DownloadsThatFillTheDiskCacheWipeItBeforeTheNextFetch) {
  const auto smallDisk = OVAdCache::create(3600.0, loader_, 6000);
  server_.on("/first.json", Response::text(200, std::string(8000, 'f')));
  server_.on("/second.json", Response::text(200, "{}"));

  for (const char* path : {"/first.json", "/second.json"}) {
    bool called = false;
    smallDisk->objectForKey(path, url(path), OVAdCacheFetchType::Data, [&](const OVAdCacheValue&) { called = true; });
    ASSERT_TRUE(runMainUntil([&] { return called; })) << path;
    EXPECT_EQ(filesBelow(cacheRoot()).size(), 1U) << "after " << path;
  }
  EXPECT_EQ(requestsFor("/first.json"), 1U);
}

}  // namespace
}  // namespace plexora
