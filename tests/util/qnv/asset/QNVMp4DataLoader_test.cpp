// The MP4 data loader against a fetcher the test answers by hand: the
// ranges it asks for, what it hands the distributor and its asset, and the
// answers it refuses (stale, failed, without a total size).
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "util/qnv/asset/QNVMp4DataLoader.h"

namespace plexora {
namespace {

class HandFetcher final : public QNVAssetResourceLoaderDelegate {
 public:
  void resourceLoaderLoadRequest(const std::shared_ptr<QNVAssetResourceLoader>&,
                                 const std::shared_ptr<QNVAssetResourceLoadingRequest>& request) override {
    requests.push_back(std::dynamic_pointer_cast<QNVLoadingRequest>(request));
  }
  void resourceLoaderCancelLoadingRequest(const std::shared_ptr<QNVAssetResourceLoader>&,
                                          const std::shared_ptr<QNVAssetResourceLoadingRequest>&) override {
    ++cancelled;
  }
  bool resourceLoaderHasPrefetchedDataForUrl(const std::shared_ptr<QNVAssetResourceLoader>&,
                                             const platform::URL&) override {
    return false;
  }

  // Answers a request with `length` bytes from its offset and a total size.
  static void answer(QNVLoadingRequest& request, size_t length, int64_t total) {
    request.contentInformation()->setContentLength(total);
    request.data()->respondWithData(std::vector<uint8_t>(length, 7));
    request.finishLoading();
  }

  std::vector<std::shared_ptr<QNVLoadingRequest>> requests;
  int cancelled = 0;
};

class Listener final : public QNVDataLoaderDelegate {
 public:
  void loadingDidFailWithError(const platform::Error&) override { ++failures; }
  void dataWasReceivedForTrack(QNVTrackIndex, bool isComplete) override { ++(isComplete ? completions : arrivals); }
  void reportWarning(const platform::Error&) override {}
  int failures = 0;
  int arrivals = 0;
  int completions = 0;
};

class QNVMp4DataLoaderTest : public ::testing::Test {
 protected:
  std::shared_ptr<QNVMp4DataLoader> makeLoader(uint64_t bitrate = 0) {
    auto loader = QNVMp4DataLoader::initWithUrl(*platform::URL::parse("http://127.0.0.1/clip.mp4"), bitrate,
                                                distributor_, platform::DispatchQueue::main(), false);
    loader->resourceLoader()->setDelegate(fetcher_, platform::DispatchQueue::main(), std::nullopt, std::nullopt,
                                          std::nullopt);
    loader->setDelegate(listener_);
    return loader;
  }

  std::shared_ptr<QNVDataBlockDistributor> distributor_ = std::make_shared<QNVDataBlockDistributor>();
  std::shared_ptr<HandFetcher> fetcher_ = std::make_shared<HandFetcher>();
  std::shared_ptr<Listener> listener_ = std::make_shared<Listener>();
};

TEST_F(QNVMp4DataLoaderTest, TheFirstRequestFollowsTheHeaderSizeAndTheBitrate) {
  struct Case {
    uint64_t headerSize;
    uint64_t bitrate;
    uint32_t seconds;
    int64_t length;
  };
  for (const Case& entry : {Case{0, 0, 1, 40}, Case{1000, 0, 1, 132072}, Case{1000, 800000, 2, 201000}}) {
    fetcher_->requests.clear();
    auto loader = makeLoader(entry.bitrate);
    loader->fetchFirstRequestForSeconds(entry.seconds, entry.headerSize, kQNVVideoTrack);
    ASSERT_EQ(fetcher_->requests.size(), 1U);
    EXPECT_EQ(fetcher_->requests[0]->data()->requestedOffset(), 0);
    EXPECT_EQ(fetcher_->requests[0]->data()->requestedLength(), entry.length);
    EXPECT_EQ(fetcher_->requests[0]->request().url, "http://127.0.0.1/clip.mp4");
    EXPECT_TRUE(loader->fetchInProgressForTrack(kQNVVideoTrack));
  }
}

TEST_F(QNVMp4DataLoaderTest, BytesGoToTheDistributorAndACompleteFileIsFullyLoaded) {
  auto loader = makeLoader();
  loader->fetchFirstRequestForSeconds(1, 0, kQNVVideoTrack);
  HandFetcher::answer(*fetcher_->requests[0], 40, 100);
  EXPECT_EQ(listener_->arrivals, 1);
  EXPECT_EQ(listener_->completions, 1);
  EXPECT_EQ(loader->fileSize(), 100U);
  EXPECT_FALSE(loader->isFullyDownloaded(kQNVVideoTrack));
  distributor_->addHeadType(kQNVDataBlockHeadBoxParser, 0);
  EXPECT_NE(distributor_->bytesAtHead(40, kQNVDataBlockHeadBoxParser), nullptr);

  loader->fetchFirstRequestForSeconds(1, 0, kQNVVideoTrack);
  EXPECT_EQ(fetcher_->requests.size(), 1U) << "nothing past what was received";
  loader->fetchToOffset(100, kQNVVideoTrack);
  ASSERT_EQ(fetcher_->requests.size(), 2U);
  EXPECT_EQ(fetcher_->requests[1]->data()->requestedOffset(), 40);
  // A short answer moves the request offset back to the first byte missing.
  HandFetcher::answer(*fetcher_->requests[1], 30, 100);
  EXPECT_EQ(loader->currentRequestOffsetForTrack(kQNVVideoTrack), 70U);
  EXPECT_FALSE(loader->isFullyDownloaded(kQNVVideoTrack));
  loader->fetchToOffset(100, kQNVVideoTrack);
  HandFetcher::answer(*fetcher_->requests[2], 30, 100);
  EXPECT_TRUE(loader->isFullyDownloaded(kQNVVideoTrack));
}

TEST_F(QNVMp4DataLoaderTest, WithoutATotalSizeNothingIsEverFullyLoaded) {
  auto loader = makeLoader();
  loader->fetchFirstRequestForSeconds(1, 0, kQNVVideoTrack);
  fetcher_->requests[0]->finishLoading();
  EXPECT_EQ(listener_->completions, 1);
  EXPECT_FALSE(loader->isFullyDownloaded(kQNVVideoTrack)) << "an empty completion of unknown size";
  loader->fetchFirstRequestForSeconds(1, 0, kQNVVideoTrack);
  HandFetcher::answer(*fetcher_->requests[1], 40, 0);
  EXPECT_FALSE(loader->isFullyDownloaded(kQNVVideoTrack));
}

TEST_F(QNVMp4DataLoaderTest, AnswersOfFailedCancelledOrReplacedRequestsAreRefused) {
  auto loader = makeLoader();
  loader->fetchFirstRequestForSeconds(1, 0, kQNVVideoTrack);
  auto failed = fetcher_->requests[0];
  failed->finishLoadingWithError(platform::Error("net", 1));
  EXPECT_EQ(listener_->failures, 1);
  failed->data()->respondWithData(std::vector<uint8_t>(40, 1));
  failed->finishLoading();
  EXPECT_EQ(listener_->arrivals, 0) << "a failed request is no longer in flight";
  EXPECT_EQ(listener_->completions, 0);
  EXPECT_EQ(loader->currentReceiveOffsetForTrack(kQNVVideoTrack), 0U);

  loader->fetchFirstRequestForSeconds(1, 0, kQNVVideoTrack);
  auto replaced = fetcher_->requests[1];
  loader->seekForwardToOffset(500, kQNVVideoTrack);
  loader->fetchToOffset(600, kQNVVideoTrack);
  HandFetcher::answer(*replaced, 40, 1000);
  EXPECT_EQ(listener_->arrivals, 0) << "a replaced request is stale";

  loader->cancelRequests();
  EXPECT_EQ(fetcher_->cancelled, 1);
  EXPECT_EQ(loader->currentReceiveOffsetForTrack(kQNVVideoTrack), 0U);
  HandFetcher::answer(*fetcher_->requests[2], 100, 1000);
  EXPECT_EQ(listener_->arrivals, 0) << "a cancelled request is stale";
}

TEST_F(QNVMp4DataLoaderTest, ASeekMovesBothOffsetsAndAResetStartsOver) {
  auto loader = makeLoader();
  loader->seekForwardToOffset(1000, kQNVVideoTrack);
  EXPECT_EQ(loader->currentReceiveOffsetForTrack(kQNVVideoTrack), 1000U);
  EXPECT_EQ(loader->currentRequestOffsetForTrack(kQNVVideoTrack), 1000U);
  loader->fetchToOffset(900, kQNVVideoTrack);
  EXPECT_TRUE(fetcher_->requests.empty()) << "nothing before what was requested";
  loader->fetchToOffset(1500, kQNVVideoTrack);
  ASSERT_EQ(fetcher_->requests.size(), 1U);
  EXPECT_EQ(fetcher_->requests[0]->data()->requestedOffset(), 1000);
  EXPECT_EQ(fetcher_->requests[0]->data()->requestedLength(), 500);

  auto fresh = std::make_shared<QNVDataBlockDistributor>();
  loader->resetWithNewVideoDataBlockDistributor(fresh, nullptr);
  EXPECT_EQ(loader->currentRequestOffsetForTrack(kQNVVideoTrack), 0U);
  EXPECT_FALSE(loader->isFullyDownloaded(kQNVVideoTrack));
}

}  // namespace
}  // namespace plexora
