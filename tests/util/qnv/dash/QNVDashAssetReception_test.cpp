// Data reception of the DASH asset: how reports of arrived bytes move the
// buffer size decider's loaded time, and which reports parse nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/qnv/dash/DashAssetUnitFixture.h"
#include "util/qnv/dash/DashMediaBytes.h"
#include "util/qnv/dash/QNVDashAssetDataPathTestAccess.h"

namespace plexora::testing {
namespace {

constexpr const char* kVideoRep = "0";
// Frames of 1/30 s.
constexpr double kFrameSeconds = 1.0 / 30.0;

class QNVDashAssetReceptionTest : public DashAssetUnitFixture {
 protected:
  void TearDown() override {
    onQueue([this] { data_.reset(); });
  }
  // Video only, on demand, single file.
  void makeVideoAsset(bool updateLoadedTimeEarlier) {
    QNVDashAssetConfig config;
    config.shouldUpdateLoadedTimeEarlier = updateLoadedTimeEarlier;
    config.fetchBufferSizeInSeconds = 10.0;
    makeAsset(config);
    parsePlaylist(kQNVDashVideoTypeFragmented, {representation(kVideoRep, "180p", 300000)}, kVideoRep);
    playlist().addFragmentedInitializationLength(897, kVideoRep, kQNVVideoTrack);
    data_ = std::make_unique<QNVDashAssetDataPathTestAccess>(*asset_);
  }
  // Says the video bytes up to frame `index` have arrived.
  void videoReceivedUpToFrame(uint32_t index) {
    asset_->downloadTrackerForTrack(kQNVVideoTrack)->bytesReceived = data_->frames(kQNVVideoTrack).frameAtIndex(index).offset;
    data_->report(kQNVVideoTrack, kVideoRep);
  }
  double loadedSeconds() const { return asset_->bufferSizeDecider().timeLoadedInSeconds(); }

  std::unique_ptr<QNVDashAssetDataPathTestAccess> data_;
  const std::vector<uint8_t> video_ = readDashMedia("base/rep-0.mp4");
};

struct LeadCase {
  const char* name;
  bool updateEarlier;
  uint32_t framesAhead;
  bool moves;
};

class QNVDashAssetLoadedTimeTest : public QNVDashAssetReceptionTest, public ::testing::WithParamInterface<LeadCase> {};

TEST_P(QNVDashAssetLoadedTimeTest, PartialDataMovesTheLoadedTimeOnlyWhenFarEnoughAhead) {
  const LeadCase& c = GetParam();
  onQueue([&] {
    makeVideoAsset(c.updateEarlier);
    // Every frame record is known; the tracker says how far the bytes are.
    data_->receive(kQNVVideoTrack, kVideoRep, video_, 0);
    // Nothing loaded yet: the first report sets the loaded time.
    videoReceivedUpToFrame(15);
    EXPECT_NEAR(loadedSeconds(), 15 * kFrameSeconds, 1e-4);

    videoReceivedUpToFrame(15 + c.framesAhead);
    const double expected = (c.moves ? 15 + c.framesAhead : 15) * kFrameSeconds;
    EXPECT_NEAR(loadedSeconds(), expected, 1e-4);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Leads, QNVDashAssetLoadedTimeTest,
    ::testing::Values(LeadCase{"NinetyHundredthsAhead", true, 27, true},
                      LeadCase{"JustShortOfNinetyHundredths", true, 26, false},
                      LeadCase{"FarAheadButNotEarly", false, 40, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(QNVDashAssetReceptionTest, DiskCacheReportsAndReportsAfterAFailureParseNothing) {
  onQueue([&] {
    makeVideoAsset(false);
    asset_->dataBlockDistributorForTrack(kQNVVideoTrack)
        ->deliverData(std::make_shared<const std::vector<uint8_t>>(video_), 0);
    data_->report(kQNVVideoTrack, kVideoRep, true);
    EXPECT_FALSE(asset_->parsedHeadersForTrack(kQNVVideoTrack, kVideoRep));
    EXPECT_EQ(loadedSeconds(), 0.0);

    asset_->loadingDidFailWithError(platform::Error("test", 1));
    data_->report(kQNVVideoTrack, kVideoRep);
    EXPECT_FALSE(asset_->parsedHeadersForTrack(kQNVVideoTrack, kVideoRep));
    EXPECT_EQ(data_->frames(kQNVVideoTrack).frameCount(), 0U);
  });
}

TEST_F(QNVDashAssetReceptionTest, LoadedTimeIsInvalidBeforeTheFirstFrame) {
  onQueue([&] {
    makeVideoAsset(false);
    data_->receive(kQNVVideoTrack, kVideoRep, video_, 0);
    const uint64_t firstOffset = data_->frames(kQNVVideoTrack).firstFrame().offset;
    EXPECT_FALSE(asset_->timeLoadedForOffset(firstOffset - 1, kQNVVideoTrack).isValid());
    EXPECT_EQ(asset_->timeLoadedForOffset(firstOffset, kQNVVideoTrack), platform::MediaTime::make(0, 15360));
  });
}

}  // namespace
}  // namespace plexora::testing
