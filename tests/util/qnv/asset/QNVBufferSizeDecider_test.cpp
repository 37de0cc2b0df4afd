// The buffering policy: its stall, unstall and fetch thresholds with the
// remote MP4 asset's sizes, the growth of the sizes after stalls, and how
// the loaded time follows the two tracks.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "util/qnv/asset/QNVBufferSizeDecider.h"

namespace plexora {
namespace {

using platform::MediaTime;

MediaTime seconds(double value) { return MediaTime::make(static_cast<int64_t>(value * 1000.0 + 0.5), 1000); }

// The remote MP4 asset's sizes.
QNVBufferSizeDeciderConfig mp4Config() {
  QNVBufferSizeDeciderConfig config;
  config.firstFetchSizeInSeconds = 1.0;
  config.fetchBufferSizeInSeconds = 6.0;
  config.fetchMultiplier = 1.0;
  config.unstallBufferSizeInSeconds = 1.0;
  config.stallBufferSizeInSeconds = 0.25;
  config.firstUnstallBufferSizeInSeconds = 0.9;
  config.unstallMultiplier = 1.0;
  return config;
}

struct Notices final : QNVTimeLoadedDelegate {
  void willChangeValue() override { ++will; }
  void didChangeValue() override { ++did; }
  int will = 0;
  int did = 0;
};

struct RealTime final : QNVBufferDeciderRealTimeInfo {
  int32_t pauseReason() const override { return reason; }
  double assetCurrentBitRate() const override { return 0.0; }
  int32_t reason = 0;
};

struct Bandwidth final : QNVBandwidthProvider {
  int64_t downloadBandwidthQuality() const override { return quality; }
  double downloadBandwidthEstimateBitsPerSecond() const override { return 1e6; }
  double downloadLatencyInSecond() const override { return 0.05; }
  int64_t quality = 0;
};

TEST(QNVBufferSizeDeciderTest, ANewDeciderHasNothingLoadedAndFetches) {
  QNVBufferSizeDecider decider(mp4Config());
  EXPECT_EQ(decider.timeLoaded(), MediaTime::zero());
  EXPECT_EQ(decider.timeLoadedInSeconds(), 0.0F);
  EXPECT_TRUE(decider.loadedTimeRanges().empty());
  EXPECT_TRUE(decider.shouldFetch());
  EXPECT_FALSE(decider.hasLoadedTime(MediaTime::zero()));
}

// The thresholds with the MP4 sizes, loaded time against playback time.
TEST(QNVBufferSizeDeciderTest, StallUnstallAndFetchThresholds) {
  struct Case {
    double loaded;
    double playback;
    bool stall;
    bool unstall;
    bool fetch;
  };
  const Case cases[] = {
      // Buffered 0.25 stalls, 0.3 does not.
      {10.25, 10.0, true, false, true},
      {10.3, 10.0, false, false, true},
      // Buffered exactly 1.0 does not end a stall, 1.05 does.
      {11.0, 10.0, false, false, true},
      {11.05, 10.0, false, true, true},
      // Fetching stops above half the fetch buffer.
      {13.0, 10.0, false, true, true},
      {13.1, 10.0, false, true, false},
      // Before playback has moved, only up to the first fetch size.
      {0.5, 0.0, false, false, true},
      {1.0, 0.0, false, false, false},
      // Playback past what is loaded.
      {5.0, 6.0, true, false, true},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(::testing::Message() << "loaded " << entry.loaded << " playback " << entry.playback);
    QNVBufferSizeDecider decider(mp4Config());
    ASSERT_TRUE(decider.updateTimeLoadedWithLoadedVideoTime(seconds(entry.loaded), false));
    decider.setPlaybackTime(seconds(entry.playback));
    EXPECT_EQ(decider.shouldUnstall(), entry.unstall);
    EXPECT_EQ(decider.shouldFetch(), entry.fetch);
    EXPECT_EQ(decider.shouldStall(), entry.stall);
    EXPECT_EQ(decider.currentUnstallBuffer(), 1.0) << "the MP4 sizes never change";
    EXPECT_EQ(decider.currentFetchBuffer(), 6.0);
  }
}

TEST(QNVBufferSizeDeciderTest, AStallBeforeTheFirstStartEndsAtTheFirstUnstallSize) {
  QNVBufferSizeDecider decider(mp4Config());
  auto info = std::make_shared<RealTime>();
  decider.setRealtimeInfoProvider(info);
  decider.updateTimeLoadedWithLoadedVideoTime(seconds(10.95), false);
  decider.setPlaybackTime(seconds(10.0));
  info->reason = 4;
  EXPECT_TRUE(decider.shouldUnstall());
  info->reason = 3;
  EXPECT_FALSE(decider.shouldUnstall());
}

TEST(QNVBufferSizeDeciderTest, StallsGrowTheSizesByTheirMultipliersBelowSixtySeconds) {
  QNVBufferSizeDeciderConfig config = mp4Config();
  config.fetchMultiplier = 2.0;
  QNVBufferSizeDecider decider(config);
  decider.setPlaybackTime(seconds(1.0));
  std::vector<double> fetchSizes;
  for (int stall = 0; stall < 4; ++stall) {
    ASSERT_TRUE(decider.shouldStall());
    fetchSizes.push_back(decider.currentFetchBuffer());
  }
  EXPECT_EQ(fetchSizes, (std::vector<double>{12.0, 24.0, 48.0, 48.0})) << "96 is not taken";

  decider.setTimeAfterSeek(seconds(5.0));
  ASSERT_TRUE(decider.shouldStall());
  EXPECT_EQ(decider.currentFetchBuffer(), 48.0) << "no growth at a time not after the seek's";

  config = mp4Config();
  config.unstallMultiplier = 2.0;
  config.unstallBufferSizeInSeconds = 4.0;
  QNVBufferSizeDecider unstallGrows(config);
  unstallGrows.setPlaybackTime(seconds(1.0));
  ASSERT_TRUE(unstallGrows.shouldStall());
  EXPECT_EQ(unstallGrows.currentUnstallBuffer(), 8.0);
  EXPECT_EQ(unstallGrows.currentFetchBuffer(), 16.0) << "room to fetch beyond the unstall buffer";
}

TEST(QNVBufferSizeDeciderTest, TheDynamicModeFollowsTheConnectionQuality) {
  QNVBufferSizeDeciderConfig config = mp4Config();
  config.dynamicUnstallBufferEnabled = true;
  config.unstallBufferSizeForPoorNetwork = 5.0;
  config.unstallBufferSizeForModerateNetwork = 3.0;
  config.unstallBufferSizeForGoodNetwork = 2.0;
  config.unstallBufferSizeForExcellentNetwork = 0.5;
  config.unstallBufferSizeForUnknownNetwork = 4.0;
  QNVBufferSizeDecider decider(config);
  EXPECT_EQ(decider.calUnstallBufferBasedOnConnection(), 4.0) << "no provider: unclassified";
  auto bandwidth = std::make_shared<Bandwidth>();
  decider.setBandwidthProvider(bandwidth);
  const struct {
    int64_t quality;
    double unstall;
    double fetch;
  } cases[] = {{1, 5.0, 10.0}, {2, 3.0, 6.0}, {3, 2.0, 6.0}, {4, 0.5, 6.0}, {0, 4.0, 8.0}, {7, 4.0, 8.0}, {-1, 4.0, 8.0}};
  for (const auto& entry : cases) {
    bandwidth->quality = entry.quality;
    ASSERT_TRUE(decider.shouldStall());
    EXPECT_EQ(decider.currentUnstallBuffer(), entry.unstall) << "quality " << entry.quality;
    EXPECT_EQ(decider.currentFetchBuffer(), entry.fetch) << "never below the configured fetch buffer";
  }
}

TEST(QNVBufferSizeDeciderTest, TheLoadedTimeFollowsBothTracks) {
  const struct {
    bool videoFully;
    bool audioFully;
    double loaded;
  } cases[] = {{true, true, 10.0}, {true, false, 8.0}, {false, true, 10.0}, {false, false, 8.0}};
  for (const auto& entry : cases) {
    QNVBufferSizeDecider decider(mp4Config());
    ASSERT_TRUE(decider.updateTimeLoadedWithLoadedVideoTime(seconds(10.0), entry.videoFully, seconds(8.0),
                                                            entry.audioFully));
    EXPECT_DOUBLE_EQ(decider.timeLoaded().seconds(), entry.loaded)
        << "video fully " << entry.videoFully << ", audio fully " << entry.audioFully;
  }

  QNVBufferSizeDecider decider(mp4Config());
  EXPECT_FALSE(decider.updateTimeLoadedWithLoadedVideoTime(MediaTime::invalid(), false, seconds(3.0), false));
  EXPECT_TRUE(decider.loadedTimeRanges().empty()) << "an invalid video time changes nothing";
  EXPECT_TRUE(decider.shouldFetchForTrack(kQNVVideoTrack));
  EXPECT_FALSE(decider.shouldFetchForTrack(kQNVAudioTrack)) << "the audio's own furthest second counts";

  ASSERT_TRUE(decider.updateTimeLoadedWithLoadedVideoTime(seconds(10.0), false));
  ASSERT_TRUE(decider.updateTimeLoadedWithLoadedVideoTime(seconds(8.0), false));
  ASSERT_EQ(decider.loadedTimeRanges().size(), 1U) << "a loaded time that goes back is taken";
  EXPECT_DOUBLE_EQ(decider.loadedTimeRanges()[0].duration.seconds(), 8.0);
  EXPECT_TRUE(decider.hasLoadedTime(seconds(7.9)));
  EXPECT_FALSE(decider.hasLoadedTime(seconds(8.0))) << "a range holds its start, not its end";
}

TEST(QNVBufferSizeDeciderTest, NoticesResetAndTheFetchTarget) {
  QNVBufferSizeDecider decider(mp4Config());
  auto notices = std::make_shared<Notices>();
  decider.setDelegate(notices);
  auto other = std::make_shared<Notices>();
  decider.setDelegate(other);

  decider.setPlaybackTime(seconds(2.0));
  decider.updateTimeLoadedWithLoadedVideoTime(seconds(2.5), false);
  EXPECT_EQ(notices->did, 0) << "no notice while not beyond the unstall buffer";
  decider.updateTimeLoadedWithLoadedVideoTime(seconds(3.5), false);
  EXPECT_EQ(notices->did, 1);
  decider.updateTimeLoadedWithLoadedVideoTime(seconds(3.6), true);
  EXPECT_EQ(notices->did, 2) << "fully loaded always tells";
  EXPECT_EQ(other->did, 0) << "the second delegate is refused";
  EXPECT_FLOAT_EQ(decider.timeToLoadInSeconds(), 8.0F);

  decider.resetPlaybackTimeAndTimeLoaded();
  EXPECT_EQ(notices->will, 3);
  EXPECT_EQ(notices->did, 3);
  EXPECT_TRUE(decider.loadedTimeRanges().empty());
  EXPECT_EQ(decider.playbackTime(), MediaTime::zero());

  EXPECT_EQ(decider.addFetchBufferToTime(seconds(1.5)), seconds(7.5));
  QNVBufferSizeDeciderConfig small = mp4Config();
  small.fetchBufferSizeInSeconds = 0.5;
  EXPECT_EQ(QNVBufferSizeDecider(small).addFetchBufferToTime(seconds(1.5)), seconds(1.5));
  small.fetchBufferSizeInSeconds = 2.7;
  EXPECT_EQ(QNVBufferSizeDecider(small).addFetchBufferToTime(seconds(1.5)), seconds(3.5));
}

}  // namespace
}  // namespace plexora
