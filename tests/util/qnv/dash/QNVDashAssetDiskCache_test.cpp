// Disk cache policy of the DASH asset: when an on-demand fragmented stream
// may download ahead into the disk cache, by network type and connection
// quality, and how far one such download reaches.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "util/qnv/dash/DashAssetUnitFixture.h"
#include "util/qnv/dash/QNVDashAssetDataPathTestAccess.h"

namespace plexora::testing {
namespace {

class FixedBandwidthProvider final : public QNVBandwidthProvider {
 public:
  FixedBandwidthProvider(int64_t reachability, int64_t quality) : reachability_(reachability), quality_(quality) {}
  int64_t currentReachabilityState() const override { return reachability_; }
  int64_t downloadBandwidthQuality() const override { return quality_; }
  double downloadBandwidthEstimateBitsPerSecond() const override { return 0.0; }
  double downloadLatencyInSecond() const override { return 0.0; }

 private:
  int64_t reachability_;
  int64_t quality_;
};

constexpr int64_t kExcellent = 4;
constexpr int64_t kGood = 3;
constexpr int64_t kModerate = 2;
constexpr int64_t kAllQualities = -1;  // every bit of the mask set

struct DiskCacheCase {
  const char* name;
  int64_t videoType;
  int64_t reachability;
  int64_t quality;
  bool wifiFlag;
  bool cellFlag;
  int64_t wifiMask;
  int64_t cellMask;
  bool expected;
};

class QNVDashAssetDiskCacheTest : public DashAssetUnitFixture, public ::testing::WithParamInterface<DiskCacheCase> {
 protected:
  void makeAssetWith(const QNVDashAssetConfig& config, std::shared_ptr<QNVBandwidthProvider> provider,
                     int64_t videoType) {
    asset_ = QNVDashAsset::initWithConfig(config, "", std::nullopt, std::move(provider));
    parsePlaylist(videoType, {representation("v", "360p", 1000000)}, "v");
  }
};

TEST_P(QNVDashAssetDiskCacheTest, IsEnabledByStreamNetworkAndQuality) {
  const DiskCacheCase& c = GetParam();
  onQueue([&] {
    QNVDashAssetConfig config;
    config.enableWifiVODDiskCache = c.wifiFlag;
    config.enableCellVODDiskCache = c.cellFlag;
    config.dashVodDiskCacheWifiNetworkConditionMask = c.wifiMask;
    config.dashVodDiskCacheCellNetworkConditionMask = c.cellMask;
    makeAssetWith(config, std::make_shared<FixedBandwidthProvider>(c.reachability, c.quality), c.videoType);
    EXPECT_EQ(QNVDashAssetDataPathTestAccess(*asset_).isDiskCacheEnabled(), c.expected);
  });
}

constexpr int64_t kFragmented = kQNVDashVideoTypeFragmented;
constexpr int64_t kWifi = kQNVReachabilityWiFi;
constexpr int64_t kCell = kQNVReachabilityCellular;
constexpr int64_t kOther = kQNVReachabilityUnknown;

INSTANTIATE_TEST_SUITE_P(
    Decisions, QNVDashAssetDiskCacheTest,
    ::testing::Values(
        DiskCacheCase{"SegmentedNever", kQNVDashVideoTypeSegmentList, kWifi, kGood, true, true, 0, 0, false},
        DiskCacheCase{"WifiFlag", kFragmented, kWifi, kGood, true, false, 0, 0, true},
        DiskCacheCase{"WifiFlagOff", kFragmented, kWifi, kGood, false, true, 0, 0, false},
        DiskCacheCase{"CellFlag", kFragmented, kCell, kGood, false, true, 0, 0, true},
        DiskCacheCase{"OtherNetworkNeedsBothFlags", kFragmented, kOther, kGood, true, false, 0, 0, false},
        DiskCacheCase{"OtherNetworkWithBothFlags", kFragmented, kOther, kGood, true, true, 0, 0, true},
        DiskCacheCase{"WifiMaskGoodOnGood", kFragmented, kWifi, kGood, true, false, 2, 0, true},
        DiskCacheCase{"WifiMaskGoodOnExcellent", kFragmented, kWifi, kExcellent, true, false, 2, 0, false},
        DiskCacheCase{"CellularReadsTheCellMask", kFragmented, kCell, kModerate, false, true, 2, 4, true},
        DiskCacheCase{"QualityAboveTheClasses", kFragmented, kWifi, 5, true, false, kAllQualities, 0, false},
        DiskCacheCase{"NegativeQuality", kFragmented, kWifi, -1, true, false, kAllQualities, 0, false},
        DiskCacheCase{"FarNegativeQuality", kFragmented, kWifi, -70, true, false, kAllQualities, 0, false},
        DiskCacheCase{"MaskZeroTakesAnyQuality", kFragmented, kWifi, -1, true, false, 0, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(QNVDashAssetDiskCacheTest, FetchLengthIsBitRateTimesTheSafeStopSize) {
  onQueue([&] {
    QNVDashAssetConfig config;
    config.wifiDiskCacheStopBufferSizeInSec = 20;
    config.cellDiskCacheStopBufferSizeInSec = 5;
    config.dashVodDiskCacheSafeMultiplier = 1.5;
    makeAssetWith(config, std::make_shared<FixedBandwidthProvider>(kWifi, kGood), kFragmented);
    // 1000000 bit/s × (1.5 × 20 s) / 8.
    EXPECT_EQ(QNVDashAssetDataPathTestAccess(*asset_).diskCacheFetchLength(kQNVVideoTrack), 3750000U);
  });
}

}  // namespace
}  // namespace plexora::testing
