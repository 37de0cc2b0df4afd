// The video fetcher's disk store of byte ranges: which reads it can answer
// from the pieces written, that it answers them from its folder alone, and
// the fetcher answering a ranged engine request from it without the server.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "support/TempDir.h"
#include "support/doubles/VideoResourceLoadingRequestDouble.h"
#include "util/OVAdResourceLoader.h"
#include "util/cache/OVAdByteRangeStore.h"
#include "util/cache/OVAdCacheTestSupport.h"
#include "util/qnv/asset/QNVAssetResourceLoader.h"

namespace plexora {
namespace {

using testing::LoadingRequestDouble;
using testing::TempDir;
using testserver::Response;

constexpr const char* kFile = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr uint64_t kFileSize = 36;
constexpr const char* kUrl = "http://127.0.0.1:1/rep-0.mp4";
constexpr const char* kType = "video/mp4";

platform::ByteView piece(uint64_t offset, uint64_t length) {
  return platform::ByteView(reinterpret_cast<const uint8_t*>(kFile) + offset, length);
}

std::optional<std::string> readText(const OVAdByteRangeStore& store, uint64_t offset, uint64_t length) {
  const auto held = store.read(kUrl, offset, length);
  if (!held) return std::nullopt;
  return std::string(held->bytes.begin(), held->bytes.end());
}

// Pieces 0-10, 10-20 (touching) and 30-36 written; 20-30 never.
TEST(OVAdByteRangeStoreTest, AnswersOnlyRangesHeldWhole) {
  TempDir dir;
  OVAdByteRangeStore store(dir.path().string());
  store.write(kUrl, 0, piece(0, 10), kFileSize, kType);
  store.write(kUrl, 10, piece(10, 10), kFileSize, kType);
  store.write(kUrl, 30, piece(30, 6), kFileSize, kType);
  struct Case {
    uint64_t offset;
    uint64_t length;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {0, 20, "0123456789abcdefghij"},  // across two pieces that touch
      {5, 10, "56789abcde"},
      {15, 10, std::nullopt},  // runs into the gap
      {20, 5, std::nullopt},
      {0, 0, std::nullopt},  // the whole file, gap and all
      {32, 100, "wxyz"},     // past the end: to the end, as a host serves it
      {30, 0, "uvwxyz"},
      {36, 1, std::nullopt},  // at the end: nothing to serve
  };
  for (const Case& c : cases) {
    EXPECT_EQ(readText(store, c.offset, c.length), c.expected) << c.offset << "+" << c.length;
  }
  const auto held = store.read(kUrl, 0, 4);
  ASSERT_TRUE(held);
  EXPECT_EQ(held->fileSize, kFileSize);
  EXPECT_EQ(held->contentType, kType);
  EXPECT_FALSE(store.read("http://127.0.0.1:1/other.mp4", 0, 4)) << "another file";

  // The gap filled by a piece overlapping both sides: one range, and read
  // by a store that has only the folder to go by.
  store.write(kUrl, 18, piece(18, 14), kFileSize, kType);
  EXPECT_EQ(readText(OVAdByteRangeStore(dir.path().string()), 0, 0), kFile);
}

TEST(OVAdByteRangeStoreTest, AFileOfAnotherSizeStartsAnew) {
  TempDir dir;
  OVAdByteRangeStore store(dir.path().string());
  store.write(kUrl, 0, piece(0, 20), kFileSize, kType);
  store.write(kUrl, 20, piece(0, 4), 40, kType);
  EXPECT_FALSE(store.read(kUrl, 0, 4)) << "bytes of the old file";
  EXPECT_EQ(readText(store, 20, 4), "0123");
  // A piece that claims to reach past its own file's end is not kept.
  store.write(kUrl, 38, piece(0, 4), 40, kType);
  EXPECT_FALSE(store.read(kUrl, 38, 2));
}

class OVAdByteRangeStoreFetchTest : public testing::ResourceFixture {
 protected:
  OVAdByteRangeStoreFetchTest() {
    storeLoader_ = OVAdResourceLoader::create(session_, {testing::kTestMaximumResourceBytes, testing::kTestDownloadTimeout},
                                              std::make_shared<OVAdByteRangeStore>(store_.path().string()));
  }
  std::shared_ptr<LoadingRequestDouble> load(std::int64_t offset, std::int64_t length) {
    auto request = std::make_shared<LoadingRequestDouble>(server_.url("/video.mp4"), offset, length);
    storeLoader_->resourceLoaderLoadRequest(nullptr, request);
    EXPECT_TRUE(request->waitForFinish());
    return request;
  }

  TempDir store_;
  std::shared_ptr<OVAdResourceLoader> storeLoader_;
};

TEST_F(OVAdByteRangeStoreFetchTest, ARangeDownloadedOnceIsServedFromDisk) {
  server_.on("/video.mp4", Response::text(200, kFile));
  EXPECT_EQ(load(10, 10)->data().received(), "abcdefghij");
  ASSERT_EQ(requestsFor("/video.mp4"), 1U);

  server_.on("/video.mp4", Response::text(404, ""));
  const auto again = load(12, 5);
  EXPECT_FALSE(again->error());
  EXPECT_EQ(again->data().received(), "cdefg");
  EXPECT_EQ(again->information().contentLength(), 36);
  EXPECT_TRUE(again->information().byteRangeAccessSupported());
  EXPECT_EQ(requestsFor("/video.mp4"), 1U) << "no second request";

  // Bytes never fetched still go to the server (which now fails them).
  EXPECT_TRUE(load(20, 5)->error());
  EXPECT_EQ(requestsFor("/video.mp4"), 2U);
}

TEST_F(OVAdByteRangeStoreFetchTest, WholeResourcesAndBypassingRequestsAreLeftToTheServer) {
  server_.on("/video.mp4", Response::text(200, kFile));
  // A whole resource (a manifest, say) is not kept.
  EXPECT_EQ(load(0, 0)->data().received(), kFile);
  EXPECT_EQ(load(0, 4)->data().received(), "0123");
  EXPECT_EQ(requestsFor("/video.mp4"), 2U);

  // A request that bypasses the cache goes to the server though its bytes
  // are held.
  std::optional<platform::Error> error{platform::Error("pending", 0)};
  std::atomic<bool> finished{false};
  std::string received;
  auto data = std::make_shared<QNVDataRequest>(
      0, 4, [&](platform::ByteView bytes, uint64_t, QNVDataRequest&) { received.append(bytes.begin(), bytes.end()); });
  data->bypassCache = true;
  auto request = std::make_shared<QNVLoadingRequest>(std::make_shared<QNVContentInformationRequest>(), data,
                                                     platform::URLRequest(server_.url("/video.mp4")),
                                                     [&](const std::optional<platform::Error>& result, QNVLoadingRequest&) {
                                                       error = result;
                                                       finished = true;
                                                     });
  storeLoader_->resourceLoaderLoadRequest(nullptr, request);
  ASSERT_TRUE(runMainUntil([&] { return finished.load(); }));
  EXPECT_FALSE(error);
  EXPECT_EQ(received, "0123");
  EXPECT_EQ(requestsFor("/video.mp4"), 3U);
}

}  // namespace
}  // namespace plexora
