// What the player's pause, stall and start calls do to the asset and its
// playlist loader.
#include <gtest/gtest.h>

#include <string>

#include "util/qnv/dash/DashAssetUnitFixture.h"

namespace plexora {
namespace {

using testing::DashAssetUnitFixture;

constexpr int32_t kStallReasonAfterStart = 3;

class QNVDashAssetPlaybackTest : public DashAssetUnitFixture {
 protected:
  // A live stream whose manifest promises more: it is never fully
  // downloaded, and with no timeline entry yet nothing is fetched.
  void makeLive(uint32_t segmentsFromEndToStartPrefetch = 5) {
    QNVDashAssetConfig config;
    config.segmentsFromEndToStartPrefetch = segmentsFromEndToStartPrefetch;
    config.stallBufferSizeInSeconds = 1.0;
    config.unstallBufferSizeInSeconds = 2.0;
    config.firstUnstallBufferSizeInSeconds = 2.0;
    makeAsset(config);
    parsePlaylist(kQNVDashVideoTypeLive, {testing::representation("v1", "360p", 500'000)}, "v1");
    playlist().expectsFutureUpdates = true;
  }

  // Four video frames of 0.5 s in the track's timescale; the read position
  // on the first.
  void addVideoFrames(uint32_t timescale) {
    access_->setTimescale(kQNVVideoTrack, timescale);
    for (uint64_t frame = 0; frame < 4; ++frame) {
      const uint64_t time = frame * timescale / 2;
      access_->frames(kQNVVideoTrack).addFrame({1000 + frame * 100, 100, timescale / 2, time, time, time});
    }
  }
};

// 1.5 s of video are unplayed; with five segments wanted at the live edge
// the loader must force fetching up to segment 3 + 6 - 1.
TEST_F(QNVDashAssetPlaybackTest, PauseTellsTheLoaderTheUnplayedMilliseconds) {
  for (const uint32_t timescale : {1000U, 90000U}) {
    SCOPED_TRACE(timescale);
    onQueue([&] {
      makeLive();
      addVideoFrames(timescale);
      playlist().videoFetchIndex = 6;
      asset_->playbackPauseRequested(kStallReasonAfterStart);
      EXPECT_EQ(playlist().indexToForceFetchTo, 8);
      EXPECT_EQ(asset_->pauseReason(), kStallReasonAfterStart);
    });
  }
}

TEST_F(QNVDashAssetPlaybackTest, PauseAndStartOfAParsedOnDemandStreamLeaveTheLoaderAlone) {
  onQueue([&] {
    makeAsset();
    parsePlaylist(kQNVDashVideoTypeSegmentList, {testing::representation("v1", "360p", 500'000)}, "v1");
    addVideoFrames(1000);
    asset_->playbackPauseRequested(kStallReasonAfterStart);
    EXPECT_EQ(playlist().indexToForceFetchTo, -1);
    EXPECT_EQ(asset_->pauseReason(), kStallReasonAfterStart);
    asset_->playbackStarted();
    EXPECT_EQ(asset_->pauseReason(), 0);
  });
}

TEST_F(QNVDashAssetPlaybackTest, StallHoldsTheCallbackUntilPlaybackMayGoOn) {
  int checks = 0;
  onQueue([&] {
    makeLive();
    EXPECT_EQ(asset_->pauseReason(), -1);
    EXPECT_TRUE(asset_->shouldPauseForStallingWithNextCheckCallback([&] { ++checks; }, kStallReasonAfterStart));
    EXPECT_EQ(asset_->pauseReason(), kStallReasonAfterStart);
    // Nothing loaded: no restart.
    EXPECT_FALSE(asset_->shouldRestartAfterStalling());
    EXPECT_EQ(asset_->pauseReason(), kStallReasonAfterStart);
  });
  EXPECT_EQ(checks, 0);
}

TEST_F(QNVDashAssetPlaybackTest, LiveTimestampsAreUnknownBeforeLoading) {
  onQueue([&] {
    makeLive();
    addVideoFrames(1000);
    EXPECT_EQ(asset_->nextLiveAudioTimestamp(), -1.0);
    EXPECT_EQ(asset_->elapsedVideoTimestamp(), 0.0);
    EXPECT_TRUE(asset_->duration().isIndefinite());
  });
}

TEST_F(QNVDashAssetPlaybackTest, NoUndryNoticeWithoutADryOne) {
  onQueue([&] {
    QNVDashAssetConfig config;
    config.staleMpdUpdatesThreshold = 2;
    makeAsset(config);
    testing::NotificationRecorder dry(kAVPlayerItemStreamDryNotification, asset_.get());
    testing::NotificationRecorder undry(kAVPlayerItemStreamUnDryNotification, asset_.get());
    // The loader has seen no stale manifest: the stream is not dry.
    access_->sendDryNotification();
    access_->sendUndryNotification();
    EXPECT_TRUE(dry.received.empty());
    EXPECT_TRUE(undry.received.empty());
  });
}

}  // namespace
}  // namespace plexora
