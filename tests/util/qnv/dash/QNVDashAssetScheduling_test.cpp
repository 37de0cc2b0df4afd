// Request scheduling of the DASH asset: whether a track asks for data, and
// the byte ranges its first requests cover over the loopback server, with
// the data that comes back completing the load and moving the loaded time.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include "testserver/RangeFile.h"
#include "util/qnv/dash/DashAssetUnitFixture.h"
#include "util/qnv/dash/DashMediaBytes.h"
#include "util/qnv/dash/QNVDashAssetDataPathTestAccess.h"
#include "util/qnv/support/LoopbackFetchFixture.h"

namespace plexora::testing {
namespace {

struct FetchCase {
  const char* name;
  int64_t videoType;
  double firstFetchSeconds;  // 0: the decider declines
  int32_t indexToForceFetchTo;
  int32_t fetchIndex;
  bool expected;
};

class QNVDashAssetShouldFetchTest : public DashAssetUnitFixture, public ::testing::WithParamInterface<FetchCase> {};

TEST_P(QNVDashAssetShouldFetchTest, DecidesWhetherTheVideoTrackAsksForData) {
  const FetchCase& c = GetParam();
  onQueue([&] {
    QNVDashAssetConfig config;
    config.firstFetchSizeInSeconds = c.firstFetchSeconds;
    makeAsset(config);
    parsePlaylist(c.videoType, {representation("v", "360p", 500000)}, "v");
    addTimeline(kQNVVideoTrack, 4, 1, 0, {"v"});
    playlist().indexToForceFetchTo = c.indexToForceFetchTo;
    playlist().videoFetchIndex = c.fetchIndex;
    QNVDashAssetDataPathTestAccess data(*asset_);
    EXPECT_EQ(data.shouldFetchDataForTrack(kQNVVideoTrack), c.expected);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Decisions, QNVDashAssetShouldFetchTest,
    ::testing::Values(FetchCase{"SegmentedWanted", kQNVDashVideoTypeSegmentList, 1.0, -1, 0, true},
                      FetchCase{"SegmentedAllFetched", kQNVDashVideoTypeSegmentList, 1.0, -1, 4, false},
                      FetchCase{"SegmentedDeclined", kQNVDashVideoTypeSegmentList, 0.0, -1, 0, false},
                      FetchCase{"SegmentedForcedUpToTheIndex", kQNVDashVideoTypeSegmentList, 0.0, 2, 2, true},
                      FetchCase{"SegmentedForcedOnlyUpToTheIndex", kQNVDashVideoTypeSegmentList, 0.0, 2, 3, false},
                      FetchCase{"FragmentedWanted", kQNVDashVideoTypeFragmented, 1.0, -1, 0, true},
                      FetchCase{"FragmentedNeverForced", kQNVDashVideoTypeFragmented, 0.0, 5, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

// The on-demand single-file presentation served with byte ranges.
class QNVDashAssetFetchRangeTest : public LoopbackFetchFixture {
 protected:
  QNVDashAssetFetchRangeTest() : LoopbackFetchFixture("dash-asset-test") {
    const std::string dir = std::string(PLEXORA_TEST_MEDIA_DIR) + "/dash/base";
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      const std::vector<uint8_t> bytes = readDashMedia("base/" + entry.path().filename().string());
      server_.on("/dash/base/" + entry.path().filename().string(),
                 testserver::serveRangeFile(std::make_shared<const std::string>(bytes.begin(), bytes.end())));
    }
  }
  ~QNVDashAssetFetchRangeTest() override {
    onQueue([this] { asset_.reset(); });
  }

  std::optional<std::string> rangeOf(const std::string& file) const {
    for (const auto& request : server_.requests()) {
      if (request.path == "/dash/base/" + file) return request.header("Range");
    }
    return std::nullopt;
  }

  RuntimeLogCapture log_;
  std::shared_ptr<QNVDashAsset> asset_;
};

TEST_F(QNVDashAssetFetchRangeTest, FirstRequestsCoverTheHeadersAndTheFirstSecondsThenTheLoadCompletes) {
  QNVDashAssetConfig config;
  config.firstFetchSizeInSeconds = 1.0;
  config.fetchBufferSizeInSeconds = 10.0;
  config.stallBufferSizeInSeconds = 0.5;
  config.unstallBufferSizeInSeconds = 1.0;
  config.firstUnstallBufferSizeInSeconds = 1.0;
  onQueue([&] {
    asset_ = QNVDashAsset::initWithConfig(config, "", platform::URL::parse(server_.url("/dash/base/manifest.mpd")),
                                          nullptr);
    asset_->forTestingBypassPrefetch();
    asset_->resourceLoader()->setDelegate(fetcher_, platform::DispatchQueue::global(), std::string("video-1"),
                                          std::nullopt, std::nullopt);
  });
  // Set on the asset's queue, read here.
  std::atomic<bool> loaded{false};
  asset_->loadValuesAsynchronouslyForKeys({"duration"}, [&] { loaded = true; });
  ASSERT_TRUE(waitUntil([&] { return loaded.load(); }));

  // Bit rate × 1 s / 8 past the initialization part (headers and index):
  // video 300000 bit/s after 897 bytes, audio 48000 bit/s after 833.
  EXPECT_EQ(rangeOf("rep-0.mp4"), std::optional<std::string>("bytes=0-38396"));
  EXPECT_EQ(rangeOf("rep-2.mp4"), std::optional<std::string>("bytes=0-6832"));
  onQueue([&] {
    std::optional<platform::Error> error;
    EXPECT_EQ(asset_->statusOfValueForKey("duration", &error), kQNVKeyValueStatusLoaded);
    EXPECT_FALSE(asset_->error().has_value());
    EXPECT_TRUE(asset_->containsTrack(kQNVAudioTrack));
  });
  // The data that completed the load also moved the loaded time on.
  ASSERT_TRUE(waitUntil([&] {
    float seconds = 0.0F;
    onQueue([&] { seconds = asset_->bufferSizeDecider().timeLoadedInSeconds(); });
    return seconds > 0.0F;
  }));
}

}  // namespace
}  // namespace plexora::testing
