// The engine's loading requests served by the library's fetcher from the
// loopback server, and the value holders' own rules.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchSync.h"
#include "util/cache/OVAdCacheTestSupport.h"
#include "util/OVAdResourceLoader.h"
#include "util/qnv/asset/QNVAssetResourceLoader.h"
#include "util/qnv/asset/QNVMediaAsset.h"

namespace plexora {
namespace {

using testserver::Response;

constexpr const char* kResource = "0123456789abcdefghijklmnopqrstuvwxyz";

// What an engine loader sees of one request, answered on the fetcher's
// thread.
struct Answers {
  std::mutex mutex;
  std::condition_variable finished;
  std::string bytes;
  std::vector<std::uint64_t> offsets;
  int completions = 0;
  std::optional<platform::Error> error;
  std::int64_t contentLengthAtCompletion = -1;
};

class QNVAssetResourceLoaderTest : public testing::ResourceFixture {};

TEST_F(QNVAssetResourceLoaderTest, TheFetcherAnswersAnEngineRequestThroughItsCallbacks) {
  server_.on("/video.mp4", Response::text(200, kResource));
  auto answers = std::make_shared<Answers>();
  auto data = std::make_shared<QNVDataRequest>(
      0, 0, [answers](platform::ByteView bytes, std::uint64_t offset, QNVDataRequest& request) {
        std::lock_guard lock(answers->mutex);
        EXPECT_EQ(static_cast<std::int64_t>(offset), request.currentOffset()) << "called before the offset moves";
        answers->bytes.append(bytes.begin(), bytes.end());
        answers->offsets.push_back(offset);
      });
  auto information = std::make_shared<QNVContentInformationRequest>();
  auto request = std::make_shared<QNVLoadingRequest>(
      information, data, platform::URLRequest(server_.url("/video.mp4")),
      [answers](const std::optional<platform::Error>& error, QNVLoadingRequest& finished) {
        std::lock_guard lock(answers->mutex);
        ++answers->completions;
        answers->error = error;
        answers->contentLengthAtCompletion = finished.contentInformation()->contentLength();
        answers->finished.notify_all();
      });

  auto resourceLoader = std::make_shared<QNVAssetResourceLoader>();
  resourceLoader->setDelegate(loader_, platform::DispatchQueue::global(), std::nullopt, std::nullopt, std::nullopt);
  platform::DispatchSemaphore started;
  QNVRunOnDelegateQueue(*resourceLoader, true, [&] {
    resourceLoader->delegate()->resourceLoaderLoadRequest(resourceLoader, request);
    started.signal();
  });
  ASSERT_TRUE(started.wait(10.0));

  std::unique_lock lock(answers->mutex);
  ASSERT_TRUE(answers->finished.wait_for(lock, std::chrono::seconds(10), [&] { return answers->completions > 0; }));
  EXPECT_EQ(answers->completions, 1);
  EXPECT_FALSE(answers->error);
  EXPECT_EQ(answers->bytes, kResource);
  ASSERT_FALSE(answers->offsets.empty());
  EXPECT_EQ(answers->offsets.front(), 0U);
  EXPECT_EQ(answers->contentLengthAtCompletion, 36) << "content length is set before completion";
  EXPECT_EQ(data->currentOffset(), 36);
  ASSERT_TRUE(request->response());
  EXPECT_EQ(request->response()->statusCode, 200);
}

TEST(QNVAssetResourceLoadingValuesTest, DataRequestOffsets) {
  std::vector<std::pair<std::string, std::uint64_t>> calls;
  QNVDataRequest request(100, 10, [&](platform::ByteView bytes, std::uint64_t offset, QNVDataRequest&) {
    calls.emplace_back(std::string(bytes.begin(), bytes.end()), offset);
  });
  EXPECT_EQ(request.currentOffset(), 100);
  request.respondWithData(platform::asBytes("abc"));
  request.respondWithData({});
  request.respondWithData(platform::asBytes("de"));
  EXPECT_EQ(request.currentOffset(), 105);
  const std::vector<std::pair<std::string, std::uint64_t>> expected = {{"abc", 100}, {"", 103}, {"de", 103}};
  EXPECT_EQ(calls, expected) << "empty data is passed on at the current offset and moves nothing";
  EXPECT_FALSE(request.bypassCache || request.isAudio || request.firstRequest || request.isForDiskCache ||
               request.enablePrefetchLookupWhenBypassCache);

  QNVDataRequest silent(0, 0, nullptr);
  silent.respondWithData(platform::asBytes("xyz"));
  EXPECT_EQ(silent.currentOffset(), 3);
}

TEST(QNVAssetResourceLoadingValuesTest, FinishingCallsTheCompletionOnce) {
  std::vector<std::string> seen;
  const auto record = [&](const std::optional<platform::Error>& error, QNVLoadingRequest& request) {
    const platform::Value* key = request.metadataDictionary().find("key");
    seen.push_back((error ? error->domain() : "ok") + ":" + (key != nullptr ? key->asString() : "-"));
  };
  const auto make = [&](QNVLoadingRequest::CompletionCallback callback) {
    return QNVLoadingRequest(std::make_shared<QNVContentInformationRequest>(),
                             std::make_shared<QNVDataRequest>(0, 0, nullptr), platform::URLRequest("http://a/"),
                             std::move(callback));
  };
  make(record).finishLoading();
  make(record).finishLoadingWithError(platform::Error("failed", 1));
  make(record).finishLoadingWithMetadataDictionary(platform::Dictionary{{"key", "value"}});
  const std::vector<std::string> expected = {"ok:-", "failed:-", "ok:value"};
  EXPECT_EQ(seen, expected);

  auto withoutCallback = make(nullptr);
  withoutCallback.finishLoading();
  withoutCallback.finishLoadingWithError(platform::Error("failed", 1));
  withoutCallback.finishLoadingWithMetadataDictionary({});
  EXPECT_EQ(seen.size(), 3U);
}

TEST(QNVAssetResourceLoadingValuesTest, TheLoaderHoldsItsFetcherWeaklyAndRunsOnItsQueue) {
  QNVAssetResourceLoader loader;
  int calls = 0;
  QNVRunOnDelegateQueue(loader, false, [&] { ++calls; });
  EXPECT_EQ(calls, 0) << "nothing without a queue";

  auto fetcher = OVAdResourceLoader::create(OVAdURLSession::create([](auto answer) { answer(std::string("x")); }));
  loader.setDelegate(fetcher, platform::DispatchQueue::global(), "video", "tracker", std::set<std::string>{"tag"});
  EXPECT_EQ(loader.delegate(), fetcher);
  EXPECT_EQ(loader.videoID(), "video");
  EXPECT_EQ(loader.trackerID(), "tracker");
  EXPECT_EQ(loader.analyticsTags(), std::set<std::string>{"tag"});
  QNVRunOnDelegateQueue(loader, false, [&] { ++calls; });
  EXPECT_EQ(calls, 1) << "at once for a synchronous caller";
  platform::DispatchSemaphore ran;
  QNVRunOnDelegateQueue(loader, true, [&] {
    EXPECT_TRUE(platform::DispatchQueue::global()->isCurrent());
    ran.signal();
  });
  EXPECT_TRUE(ran.wait(10.0));
  fetcher.reset();
  EXPECT_EQ(loader.delegate(), nullptr);
}

// The key status shared by the assets that download their headers: a
// loading error wins over parsed headers and is handed out when asked for.
TEST(QNVAssetResourceLoadingValuesTest, KeyStatusFromLoadingErrorAndParsedHeaders) {
  const platform::Error failure("QNVAssetLoadingError", 557);
  struct Case {
    std::optional<platform::Error> error;
    bool parsed;
    QNVKeyValueStatus expected;
  };
  const Case cases[] = {
      {std::nullopt, false, kQNVKeyValueStatusUnknown},
      {std::nullopt, true, kQNVKeyValueStatusLoaded},
      {failure, false, kQNVKeyValueStatusFailed},
      {failure, true, kQNVKeyValueStatusFailed},
  };
  for (const Case& entry : cases) {
    std::optional<platform::Error> handedOut;
    EXPECT_EQ(QNVKeyStatusForLoadingError(entry.error, entry.parsed, &handedOut), entry.expected);
    EXPECT_EQ(handedOut, entry.error);
    EXPECT_EQ(QNVKeyStatusForLoadingError(entry.error, entry.parsed, nullptr), entry.expected) << "no pointer given";
  }
}

}  // namespace
}  // namespace plexora
