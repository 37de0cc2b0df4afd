// What the asset takes from its configuration when it is made.
#include <gtest/gtest.h>

#include <string>

#include "util/qnv/dash/DashAssetUnitFixture.h"

namespace plexora {
namespace {

using testing::DashAssetUnitFixture;

class QNVDashAssetConfigTest : public DashAssetUnitFixture {};

TEST_F(QNVDashAssetConfigTest, InitialiserTakesItsSwitchesFromTheConfiguration) {
  onQueue([&] {
    struct Case {
      const char* name;
      std::string mpdData;
      bool embedFrameInfo;
      bool liveSwitch;
      bool vodSwitch;
      int32_t staleThreshold;
      bool expectInline;
      bool expectEmbed;
      bool expectDryNotices;
    };
    const Case cases[] = {
        {"nothing set", "", false, false, false, 0, false, false, false},
        {"inline manifest", "<MPD/>", false, false, false, 0, true, false, false},
        {"embed asked", "", true, false, false, 0, false, true, false},
        // Frame info marks the quality switches, so either switch forces it.
        {"live switch", "", false, true, false, 0, false, true, false},
        {"vod switch", "", false, false, true, 0, false, true, false},
        {"stale threshold 1", "", false, false, false, 1, false, false, true},
        {"stale threshold negative", "", false, false, false, -3, false, false, false},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      QNVDashAssetConfig config;
      config.embedFrameInfo = c.embedFrameInfo;
      config.enableLiveMidstreamSwitch = c.liveSwitch;
      config.enableVodMidstreamSwitch = c.vodSwitch;
      config.staleMpdUpdatesThreshold = c.staleThreshold;
      makeAsset(config, c.mpdData);
      EXPECT_EQ(access_->hadInlineManifest(), c.expectInline);
      EXPECT_EQ(asset_->embedFrameInfo(), c.expectEmbed);
      EXPECT_EQ(access_->dryNotificationsOn(), c.expectDryNotices);
      EXPECT_EQ(access_->pauseReason(), -1);
      EXPECT_EQ(asset_->status(), kQNVAssetStatusReadyToPlay);
    }
  });
}

TEST_F(QNVDashAssetConfigTest, DiskCacheSizesAreKeptAsFloats) {
  onQueue([&] {
    QNVDashAssetConfig config;
    config.wifiDiskCacheStopBufferSizeInSec = 30;
    config.cellDiskCacheRestartBufferSizeInSec = 7;
    config.dashVodDiskCacheSafeMultiplier = 1.5;
    makeAsset(config);
    EXPECT_EQ(access_->wifiDiskCacheStopBufferSizeInSec(), 30.0F);
    EXPECT_EQ(access_->cellDiskCacheRestartBufferSizeInSec(), 7.0F);
    EXPECT_EQ(access_->dashVodDiskCacheSafeMultiplier(), 1.5F);
  });
}

// Each size lands in its own slot of the decider's configuration, whose
// order differs from the asset's.
TEST(QNVDashAssetDeciderConfig, EverySizeReachesItsOwnSlot) {
  QNVDashAssetConfig config;
  config.fetchBufferSizeInSeconds = 1;
  config.unstallBufferSizeInSeconds = 2;
  config.firstUnstallBufferSizeInSeconds = 3;
  config.stallBufferSizeInSeconds = 4;
  config.firstFetchSizeInSeconds = 5;
  config.fetchMultiplier = 6;
  config.unstallMultiplier = 7;
  config.dynamicUnstallBufferEnabled = true;
  config.unstallBufferSizeForExcellentNetwork = 23;
  config.unstallBufferSizeForGoodNetwork = 24;
  config.unstallBufferSizeForModerateNetwork = 25;
  config.unstallBufferSizeForPoorNetwork = 26;
  config.unstallBufferSizeForUnknownNetwork = 27;
  const QNVBufferSizeDeciderConfig decider = QNVDashBufferSizeDeciderConfig(config);
  EXPECT_EQ(decider.fetchBufferSizeInSeconds, 1);
  EXPECT_EQ(decider.unstallBufferSizeInSeconds, 2);
  EXPECT_EQ(decider.firstUnstallBufferSizeInSeconds, 3);
  EXPECT_EQ(decider.stallBufferSizeInSeconds, 4);
  EXPECT_EQ(decider.firstFetchSizeInSeconds, 5);
  EXPECT_EQ(decider.fetchMultiplier, 6);
  EXPECT_EQ(decider.unstallMultiplier, 7);
  EXPECT_TRUE(decider.dynamicUnstallBufferEnabled);
  EXPECT_EQ(decider.unstallBufferSizeForExcellentNetwork, 23);
  EXPECT_EQ(decider.unstallBufferSizeForGoodNetwork, 24);
  EXPECT_EQ(decider.unstallBufferSizeForModerateNetwork, 25);
  EXPECT_EQ(decider.unstallBufferSizeForPoorNetwork, 26);
  EXPECT_EQ(decider.unstallBufferSizeForUnknownNetwork, 27);
}

class FixedBandwidth final : public QNVBandwidthProvider {
 public:
  int64_t downloadBandwidthQuality() const override { return 3; }
  double downloadBandwidthEstimateBitsPerSecond() const override { return 1'000'000; }
  double downloadLatencyInSecond() const override { return 0.05; }
};

TEST(QNVMakeAdaptiveBitrateSelector, ValidatesTheTypeAndGivesOnlyTheBandwidthRuleItsFraction) {
  testing::RuntimeLogCapture log;
  const QNVRepresentationPropertiesById qualities = {
      {"low", testing::representation("low", "180p", 200'000)},
      {"mid", testing::representation("mid", "360p", 600'000)},
      {"high", testing::representation("high", "720p", 900'000)},
  };
  const std::vector<std::string> ids = {"low", "mid", "high"};
  struct Case {
    uint32_t type;
    double fraction;
    int64_t expectType;
    const char* expectChoice;
  };
  const Case cases[] = {
      // 7 is no selector: the default rule.
      {7, 0.7, kQNVAbrSelectorTypeDefault, "mid"},
      // Within 70% of 1 Mbit/s: 600 kbit/s; within 30%: only the lowest.
      {1, 0.7, kQNVAbrSelectorTypeBandwidth, "mid"},
      {1, 0.3, kQNVAbrSelectorTypeBandwidth, "low"},
      {2, 0.3, kQNVAbrSelectorTypeHighest, "high"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    QNVDashAssetConfig config;
    config.abrSelectorType = c.type;
    config.abrSelectorBandwidthFraction = c.fraction;
    const auto selector = QNVMakeAdaptiveBitrateSelector(std::make_shared<FixedBandwidth>(), config);
    EXPECT_EQ(selector->type(), c.expectType);
    EXPECT_EQ(selector->selectRepresentationIdFromMetadata(qualities, ids, std::string("mid")), c.expectChoice);
  }
  EXPECT_EQ(log.count("Invalid selector:7"), 1U);
}

}  // namespace
}  // namespace plexora
