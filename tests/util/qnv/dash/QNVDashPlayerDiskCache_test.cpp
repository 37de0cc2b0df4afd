// The disk cache of an on-demand DASH stream, end to end: the asset
// downloads ahead into the fetcher's range store while the player plays the
// first moments of the stream; a later playback, by a new fetcher over the
// same folder, with the server answering 404 to everything, plays the whole
// stream from disk, frame for frame like ffmpeg's decode.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "testserver/Exchange.h"
#include "util/OVAdResourceLoader.h"
#include "util/cache/OVAdByteRangeStore.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/dash/DashPlayerFixture.h"
#include "util/qnv/dash/QNVDashAsset.h"
#include "util/qnv/player/QNVPlayer.h"

namespace plexora {
namespace {

using testing::dashDir;
using testing::fileText;
using testing::kHeight;
using testing::kMinimumPsnr;
using testing::kWidth;
using testing::onQueue;
using testing::representationFile;
using testing::waitUntil;

constexpr int64_t kGoodConnection = 3;
constexpr double kTick = 1.0 / 60;
// Clock seconds the first playback runs: well inside the first segment.
constexpr double kFirstPlaybackSeconds = 0.5;

class WifiBandwidthProvider final : public QNVBandwidthProvider {
 public:
  int64_t downloadBandwidthQuality() const override { return kGoodConnection; }
  double downloadBandwidthEstimateBitsPerSecond() const override { return 0.0; }
  double downloadLatencyInSecond() const override { return 0.0; }
  int64_t currentReachabilityState() const override { return kQNVReachabilityWiFi; }
};

struct DiskCacheCase {
  const char* shape;
  const char* videoId;
  const char* audioId;
};

class QNVDashPlayerDiskCacheTest : public testing::DashPlayerFixture,
                                   public ::testing::WithParamInterface<DiskCacheCase> {
 protected:
  QNVDashPlayerDiskCacheTest() : DashPlayerFixture("dash-disk-cache-test") {}

  static QNVDashAssetConfig diskCacheConfig(bool diskCacheOn) {
    QNVDashAssetConfig config = testing::playbackConfig();
    // Playback alone keeps no more than a second ahead in memory.
    config.fetchBufferSizeInSeconds = 1.0;
    config.enableWifiVODDiskCache = diskCacheOn;
    config.wifiDiskCacheStopBufferSizeInSec = 20;
    config.wifiDiskCacheRestartBufferSizeInSec = 10;
    config.dashVodDiskCacheSafeMultiplier = 1.5;
    return config;
  }

  // Through a new fetcher over the store's folder; `mpdData` hands the
  // manifest over inline, as a host that kept it does.
  void loadThroughNewFetcher(const std::string& path, const QNVDashAssetConfig& config,
                             const std::string& mpdData = "") {
    // The resource loader holds its fetcher weakly.
    storeFetcher_ = OVAdResourceLoader::create(session_, {}, std::make_shared<OVAdByteRangeStore>(storeDir()));
    asset_ = QNVDashAsset::initWithConfig(config, mpdData, platform::URL::parse(server_.url(path)),
                                          std::make_shared<WifiBandwidthProvider>());
    asset_->resourceLoader()->setDelegate(storeFetcher_, platform::DispatchQueue::global(), std::string("dash-video"),
                                          std::nullopt, std::nullopt);
    auto loaded = std::make_shared<std::atomic<bool>>(false);
    asset_->loadValuesAsynchronouslyForKeys({"duration"}, [loaded] { loaded->store(true); });
    ASSERT_TRUE(waitUntil([&] { return loaded->load(); }));
  }

  std::string storeDir() const { return (dir_.path() / "ranges").string(); }

  // Plays the first moments, then waits (in real time) for the disk-cache
  // downloads of both tracks to end, and stops.
  void playFirstMoments() {
    QNVPlayerLayerConfigs configs;
    configs.offMainThreadRendering = true;
    configs.allowPlayWhenInactive = true;
    auto layer = QNVPlayerLayer::initWithConfigs(configs);
    auto player = QNVPlayer::initWithDisplayEngine(layer);
    player->replaceCurrentItemWithPlayerItem(asset_);
    player->play();
    const auto diskCacheIdle = [this] {
      bool idle = true;
      onQueue([&] {
        for (const QNVTrackIndex track : {kQNVVideoTrack, kQNVAudioTrack}) {
          const auto loader = asset_->dataLoaderForTrack(track);
          idle = idle && loader && !loader->diskCacheFetchInProgress();
        }
      });
      return idle;
    };
    EXPECT_TRUE(waitUntil([&] {
      if (player->currentTime().seconds() < kFirstPlaybackSeconds) clock_->advance(kTick);
      return player->currentTime().seconds() >= kFirstPlaybackSeconds && diskCacheIdle();
    }));
    player->pause();
    player.reset();
    QNVMediaStateQueue()->sync([] {});
    layer->invalidate();
    onQueue([this] { asset_.reset(); });
  }

  bool storeHoldsWholeFile(const std::string& shape, const std::string& name) {
    const std::string bytes = fileText(dashDir() + "/" + shape + "/" + name);
    const auto held = OVAdByteRangeStore(storeDir()).read(server_.url("/dash/" + shape + "/" + name), 0, 0);
    return held && std::string(held->bytes.begin(), held->bytes.end()) == bytes;
  }

  std::shared_ptr<OVAdResourceLoader> storeFetcher_;
};

TEST_P(QNVDashPlayerDiskCacheTest, ASecondPlaybackNeedsNoNetwork) {
  const DiskCacheCase& c = GetParam();
  const std::string manifestPath = std::string("/dash/") + c.shape + "/manifest.mpd";
  const std::string videoFile = std::string("rep-") + c.videoId + ".mp4";
  const std::string audioFile = std::string("rep-") + c.audioId + ".mp4";
  serve(c.shape);
  loadThroughNewFetcher(manifestPath, diskCacheConfig(true));
  playFirstMoments();
  ASSERT_TRUE(storeHoldsWholeFile(c.shape, videoFile)) << "the disk cache reached the end of the video";
  ASSERT_TRUE(storeHoldsWholeFile(c.shape, audioFile)) << "the disk cache reached the end of the audio";

  server_.clearScript();
  server_.on("/", testserver::Response::text(404, ""), testserver::Match::Prefix);
  server_.clearRequests();
  loadThroughNewFetcher(manifestPath, diskCacheConfig(true), fileText(dashDir() + manifestPath.substr(5)));
  const testing::QNVPlayedClip played =
      testing::playItem(playback(), representationFile(c.shape, c.videoId, dir_.path()), kWidth, kHeight);
  ASSERT_FALSE(played.framePsnr.empty());
  for (size_t frame = 0; frame < played.framePsnr.size(); ++frame) {
    EXPECT_GE(played.framePsnr[frame], kMinimumPsnr) << "frame " << frame;
  }
  EXPECT_EQ(played.failures, 0);
  EXPECT_EQ(played.ends, 1);
  testing::expectAudioLikeFfprobe(representationFile(c.shape, c.audioId, dir_.path()), played);
  EXPECT_TRUE(server_.requests().empty()) << "asked the server for " << server_.requests().front().path;
}

// Without the disk cache the same first moments keep only what playback
// fetched: the store holds the start of the video, not its end.
TEST_P(QNVDashPlayerDiskCacheTest, PlaybackAloneKeepsOnlyWhatItFetched) {
  const DiskCacheCase& c = GetParam();
  serve(c.shape);
  loadThroughNewFetcher(std::string("/dash/") + c.shape + "/manifest.mpd", diskCacheConfig(false));
  playFirstMoments();
  const std::string url = server_.url(std::string("/dash/") + c.shape + "/rep-" + c.videoId + ".mp4");
  EXPECT_TRUE(OVAdByteRangeStore(storeDir()).read(url, 0, 1).has_value()) << "the start was kept";
  EXPECT_FALSE(storeHoldsWholeFile(c.shape, std::string("rep-") + c.videoId + ".mp4"));
}

INSTANTIATE_TEST_SUITE_P(Shapes, QNVDashPlayerDiskCacheTest,
                         ::testing::Values(DiskCacheCase{"switch_base", "0", "2"},
                                           DiskCacheCase{"bframes_base", "0", "1"}),
                         [](const auto& info) { return std::string(info.param.shape); });

}  // namespace
}  // namespace plexora
