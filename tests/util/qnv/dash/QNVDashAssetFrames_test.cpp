// Frame delivery of the DASH asset: frames handed out on the stream's time
// base across a quality switch of segmented video, and frames from before
// the stream's start passed over.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/qnv/dash/DashAssetUnitFixture.h"
#include "util/qnv/dash/DashMediaBytes.h"
#include "util/qnv/dash/QNVDashAssetDataPathTestAccess.h"

namespace plexora::testing {
namespace {

constexpr uint32_t kVideoTimescale = 15360;
constexpr int64_t kVideoFrameTicks = 512;
constexpr uint32_t kFramesPerSegment = 30;

class QNVDashAssetFramesTest : public DashAssetUnitFixture {
 protected:
  void TearDown() override {
    onQueue([this] { data_.reset(); });
  }
  void makeSegmentedVideo() {
    makeAsset();
    parsePlaylist(kQNVDashVideoTypeSegmentList,
                  {representation("0", "180p", 300000), representation("1", "90p", 120000)}, "0");
    data_ = std::make_unique<QNVDashAssetDataPathTestAccess>(*asset_);
  }
  std::unique_ptr<QNVDashAssetDataPathTestAccess> data_;
};

// A segmented loader lays each representation's init segment and then its
// segments end to end in the track's byte store; a switch to 90p after the
// first second must not move the timeline or lose the bytes.
TEST_F(QNVDashAssetFramesTest, FramesRunOnAcrossARepresentationSwitch) {
  std::vector<uint8_t> first = readDashMedia("template/init-0.m4s");
  const std::vector<uint8_t> firstSegment = readDashMedia("template/seg-0-0.m4s");
  first.insert(first.end(), firstSegment.begin(), firstSegment.end());
  std::vector<uint8_t> second = readDashMedia("template/init-1.m4s");
  const std::vector<uint8_t> secondSegment = readDashMedia("template/seg-1-15360.m4s");
  second.insert(second.end(), secondSegment.begin(), secondSegment.end());

  onQueue([&] {
    makeSegmentedVideo();
    data_->receive(kQNVVideoTrack, "0", first, 0);
    data_->receive(kQNVVideoTrack, "1", second, first.size());
    const auto firstFormat = asset_->formatDesc();
    ASSERT_EQ(data_->frames(kQNVVideoTrack).frameCount(), 2 * kFramesPerSegment);

    for (uint32_t index = 0; index < 2 * kFramesPerSegment; ++index) {
      SCOPED_TRACE(index);
      const QNVFrameMetadata frame = asset_->currentFrameMetadataForTrack(kQNVVideoTrack);
      const auto expected = platform::MediaTime::make(static_cast<int64_t>(index) * kVideoFrameTicks, kVideoTimescale);
      EXPECT_EQ(frame.decodeTime, expected);
      EXPECT_EQ(frame.presentationTime, expected);
      EXPECT_EQ(asset_->representationId(), std::optional<std::string>(index < kFramesPerSegment ? "0" : "1"));
      const uint8_t* bytes = asset_->currentFrameDataForTrack(kQNVVideoTrack);
      ASSERT_NE(bytes, nullptr);
      // Each frame starts with the 4-byte length of its first NAL unit,
      // which lies inside the frame: the offsets point at the frame.
      const uint32_t nalLength = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
      EXPECT_LE(nalLength + 4, frame.size);
      asset_->advanceFrameForTrack(kQNVVideoTrack);
    }
    EXPECT_NE(asset_->formatDesc(), firstFormat) << "the 90p representation's own format";
  });
  EXPECT_EQ(log_.count("Switching playback quality from 180p to 90p"), 1U);
}

TEST_F(QNVDashAssetFramesTest, FramesBeforeTheInitialTimeArePassedOver) {
  onQueue([&] {
    makeSegmentedVideo();
    data_->setTimescale(kQNVVideoTrack, 1000);
    QNVMp4FrameMetadataCompressor& video = data_->frames(kQNVVideoTrack);
    for (uint64_t time : {0, 500, 1000, 1500}) video.addFrame({time * 10, 10, 500, time, time, time});

    // The time base is not known yet: nothing is handed out.
    EXPECT_TRUE(asset_->currentFrameMetadataForTrack(kQNVVideoTrack).isEmpty());
    data_->setInitialTime(1000, 1000);
    const QNVFrameMetadata frame = asset_->currentFrameMetadataForTrack(kQNVVideoTrack);
    EXPECT_EQ(frame.size, 10U) << "the track moves on to the first frame of the stream";
    EXPECT_EQ(frame.decodeTime, platform::MediaTime::make(0, 1000));
    EXPECT_EQ(video.currentFrameIndex(), 2U);
    asset_->advanceFrameForTrack(kQNVVideoTrack);
    EXPECT_EQ(asset_->currentFrameMetadataForTrack(kQNVVideoTrack).decodeTime, platform::MediaTime::make(500, 1000));
  });
  EXPECT_EQ(log_.count("PTS/DTS always expected to exceed initialTime. Track:0"), 2U);
}

}  // namespace
}  // namespace plexora::testing
