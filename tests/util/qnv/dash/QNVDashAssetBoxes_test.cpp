// Box parsing of the DASH asset over ffmpeg's single-file representations
// (ftyp, moov, sidx, then moof/mdat pairs), delivered into the track byte
// stores as a data loader would, whole, split or damaged.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "util/qnv/dash/DashAssetUnitFixture.h"
#include "util/qnv/dash/DashMediaBytes.h"
#include "util/qnv/dash/QNVDashAssetDataPathTestAccess.h"

namespace plexora::testing {
namespace {

constexpr const char* kVideoRep = "0";
constexpr const char* kAudioRep = "2";
constexpr uint32_t kVideoTimescale = 15360;
constexpr uint32_t kAudioTimescale = 44100;
// 2 s at 30 frames a second, in two 1-second fragments.
constexpr uint32_t kVideoFrames = 60;
constexpr int64_t kVideoFrameTicks = 512;
constexpr int64_t kAacFrameTicks = 1024;

class QNVDashAssetBoxesTest : public DashAssetUnitFixture {
 protected:
  void SetUp() override { makeFragmentedAsset({}); }

  void makeFragmentedAsset(const QNVDashAssetConfig& config) {
    onQueue([&] {
      makeAsset(config);
      parsePlaylist(kQNVDashVideoTypeFragmented, {representation(kVideoRep, "180p", 300000)}, kVideoRep);
      playlist().audioRepresentationId = kAudioRep;
      playlist().containsAudioTrack = true;
      // The manifests' initialization ranges: headers and segment index.
      playlist().addFragmentedInitializationLength(897, kVideoRep, kQNVVideoTrack);
      playlist().addFragmentedInitializationLength(833, kAudioRep, kQNVAudioTrack);
      data_ = std::make_unique<QNVDashAssetDataPathTestAccess>(*asset_);
    });
  }
  void TearDown() override {
    onQueue([this] { data_.reset(); });
  }

  void receive(QNVTrackIndex track, const std::vector<uint8_t>& bytes, size_t from = 0) {
    onQueue([&] { data_->receive(track, track == kQNVAudioTrack ? kAudioRep : kVideoRep, bytes, from); });
  }
  template <typename Result>
  Result read(const std::function<Result()>& work) {
    Result result{};
    onQueue([&] { result = work(); });
    return result;
  }
  bool videoHeadersParsed() { return read<bool>([this] { return asset_->parsedHeadersForTrack(kQNVVideoTrack, kVideoRep); }); }

  std::unique_ptr<QNVDashAssetDataPathTestAccess> data_;
  const std::vector<uint8_t> video_ = readDashMedia("base/rep-0.mp4");
  const std::vector<uint8_t> audio_ = readDashMedia("base/rep-2.mp4");
};

TEST_F(QNVDashAssetBoxesTest, HeadersSplitOverDeliveriesParseOnceWholeThenFragmentsFollow) {
  const size_t sidxEnd = findBox(video_, "moof");
  receive(kQNVVideoTrack, slice(video_, 0, 500));
  EXPECT_FALSE(videoHeadersParsed());
  EXPECT_TRUE(log_.contains("Not enough data to finish moov parse for track:0"));

  // The movie box is whole, the segment index not yet.
  receive(kQNVVideoTrack, slice(video_, 500, sidxEnd - 10), 500);
  EXPECT_FALSE(videoHeadersParsed());
  EXPECT_TRUE(log_.contains("Not enough data to finish sidx parse for track:0"));

  receive(kQNVVideoTrack, slice(video_, sidxEnd - 10, video_.size()), sidxEnd - 10);
  EXPECT_TRUE(videoHeadersParsed());
  onQueue([&] {
    EXPECT_EQ(asset_->timescale(), kVideoTimescale);
    EXPECT_NE(asset_->formatDesc(), nullptr) << "the playback representation's format";
    EXPECT_EQ(asset_->segmentsParsedCountForTrack(kQNVVideoTrack), 2);
    EXPECT_EQ(data_->frames(kQNVVideoTrack).frameCount(), kVideoFrames);
    EXPECT_EQ(asset_->sidxEndOffsetForTrack(kQNVVideoTrack, kVideoRep), video_.size());
    const QNVFrameMetadata first = asset_->currentFrameMetadataForTrack(kQNVVideoTrack);
    EXPECT_EQ(first.presentationTime, platform::MediaTime::make(0, kVideoTimescale));
    EXPECT_EQ(first.duration, platform::MediaTime::make(kVideoFrameTicks, kVideoTimescale));
    // Video alone is not yet the whole stream: audio is in the playlist.
    EXPECT_FALSE(data_->parsedHeadersForEachTrack());
  });
}

TEST_F(QNVDashAssetBoxesTest, AudioFragmentsFollowTheInitSegmentsEditList) {
  receive(kQNVVideoTrack, video_);
  receive(kQNVAudioTrack, audio_);
  onQueue([&] {
    EXPECT_TRUE(data_->parsedHeadersForEachTrack());
    EXPECT_TRUE(asset_->containsTrack(kQNVAudioTrack));
    EXPECT_EQ(asset_->asbd().formatID, platform::fourCharCode("aac "));
    // The edit starts the presentation one AAC frame into the media: the
    // encoder's priming frame is still fed to the decoder, at 0, and the
    // first frame shown is at 0 too instead of one frame late.
    QNVMp4FrameMetadataCompressor& audio = data_->frames(kQNVAudioTrack);
    const QNVMp4FrameRecord priming = audio.frameAtIndex(0);
    const QNVMp4FrameRecord first = audio.frameAtIndex(1);
    const QNVMp4FrameRecord second = audio.frameAtIndex(2);
    EXPECT_EQ(priming.pts, 0U);
    EXPECT_EQ(first.dts, static_cast<uint64_t>(kAacFrameTicks));
    EXPECT_EQ(first.pts, 0U);
    EXPECT_EQ(second.pts, static_cast<uint64_t>(kAacFrameTicks));
    audio.Next();
    const QNVFrameMetadata metadata = asset_->currentFrameMetadataForTrack(kQNVAudioTrack);
    EXPECT_EQ(metadata.presentationTime, platform::MediaTime::make(0, kAudioTimescale));
    EXPECT_EQ(metadata.duration, platform::MediaTime::make(kAacFrameTicks, kAudioTimescale));
  });
}

TEST_F(QNVDashAssetBoxesTest, AudioOtherThanAacLeavesTheStreamVideoOnly) {
  std::vector<uint8_t> audio = audio_;
  const size_t entry = findBox(audio, "mp4a");
  ASSERT_LT(entry, audio.size());
  // An AC-3 sample entry: nothing the engine decodes.
  const std::string ac3 = "ac-3";
  std::copy(ac3.begin(), ac3.end(), audio.begin() + static_cast<std::ptrdiff_t>(entry + 4));

  receive(kQNVVideoTrack, video_);
  receive(kQNVAudioTrack, audio);
  onQueue([&] {
    EXPECT_TRUE(log_.contains("audio track is not AAC. ignoring"));
    EXPECT_FALSE(asset_->containsTrack(kQNVAudioTrack)) << "no audio output for a format it cannot play";
    EXPECT_EQ(asset_->asbd().formatID, 0U);
    EXPECT_TRUE(data_->parsedHeadersForEachTrack()) << "the video alone completes the load";
    EXPECT_FALSE(data_->hasFailed());
    EXPECT_FALSE(data_->shouldFetchDataForTrack(kQNVAudioTrack)) << "audio that is not played is not fetched";
  });
}

struct DamageCase {
  const char* name;
  // Rewrites the video file.
  std::function<void(std::vector<uint8_t>&)> damage;
  bool failOnFailedMoofParse;
  int64_t expectedError;  // 0: playback goes on
  int32_t fragmentsParsed;
};

class QNVDashAssetDamagedBoxesTest : public QNVDashAssetBoxesTest, public ::testing::WithParamInterface<DamageCase> {
 protected:
  void SetUp() override {
    QNVDashAssetConfig config;
    config.shouldFailOnFailedMoofParse = GetParam().failOnFailedMoofParse;
    makeFragmentedAsset(config);
  }
};

TEST_P(QNVDashAssetDamagedBoxesTest, FailsOrSkipsWithoutReadingOutOfBounds) {
  std::vector<uint8_t> video = video_;
  GetParam().damage(video);
  receive(kQNVVideoTrack, video);
  onQueue([&] {
    const std::optional<platform::Error> error = asset_->error();
    if (GetParam().expectedError == 0) {
      EXPECT_FALSE(error.has_value());
    } else {
      ASSERT_TRUE(error.has_value());
      EXPECT_EQ(error->domain(), kQNVAssetLoadingError);
      EXPECT_EQ(error->code(), GetParam().expectedError);
    }
    EXPECT_EQ(asset_->segmentsParsedCountForTrack(kQNVVideoTrack), GetParam().fragmentsParsed);
    // What was parsed before the damage stays playable.
    EXPECT_EQ(data_->frames(kQNVVideoTrack).frameCount(), static_cast<uint32_t>(GetParam().fragmentsParsed) * 30U);
  });
}

void breakChildOf(std::vector<uint8_t>& bytes, const char* child, int occurrence) {
  writeU32(bytes, findBox(bytes, child, occurrence), 0xFFFFFF00);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, QNVDashAssetDamagedBoxesTest,
    ::testing::Values(
        DamageCase{"MovieHeaderChildTooLong", [](auto& b) { breakChildOf(b, "mvhd", 0); }, false,
                   kQNVAssetLoadingErrorParseFailed, 0},
        DamageCase{"SegmentIndexTooShort", [](auto& b) { writeU32(b, findBox(b, "sidx"), 12); }, false,
                   kQNVAssetLoadingErrorParseFailed, 0},
        DamageCase{"NoVideoTrackBox",
                   [](auto& b) {
                     const std::string text = "text";
                     std::copy(text.begin(), text.end(), b.begin() + static_cast<std::ptrdiff_t>(findBox(b, "hdlr") + 16));
                   },
                   false, kQNVAssetLoadingErrorNoVideoTrack, 0},
        DamageCase{"SecondFragmentHeaderBrokenSkipped", [](auto& b) { breakChildOf(b, "mfhd", 1); }, false, 0, 1},
        DamageCase{"SecondFragmentHeaderBrokenFails", [](auto& b) { breakChildOf(b, "mfhd", 1); }, true,
                   kQNVAssetLoadingErrorUnparsedMoofs, 1},
        DamageCase{"ZeroSizedBoxAfterFirstFragment", [](auto& b) { writeU32(b, findBox(b, "moof", 1), 0); }, false, 0,
                   1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plexora::testing
