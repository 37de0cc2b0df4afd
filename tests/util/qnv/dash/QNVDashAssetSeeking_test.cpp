// Seeks of segmented on-demand and live streams over frames held in memory,
// the refusals, and the time-to-fetch-position mapping.
#include <gtest/gtest.h>

#include <string>

#include "util/qnv/dash/DashAssetUnitFixture.h"

namespace plexora {
namespace {

using testing::DashAssetUnitFixture;

constexpr uint32_t kTimescale = 1000;
// Two 2-second segments in memory, four frames of 500 ms each; each
// segment starts with a keyframe.
constexpr uint32_t kFramesPerSegment = 4;
constexpr uint32_t kFrameDuration = 500;

class QNVDashAssetSeekingTest : public DashAssetUnitFixture {
 protected:
  void makeSegmentedVod(int64_t videoType = kQNVDashVideoTypeSegmentList) {
    makeAsset();
    parsePlaylist(videoType, {testing::representation("v1", "360p", 500'000)}, "v1");
    addTimeline(kQNVVideoTrack, 4, 2);
    access_->setTimescale(kQNVVideoTrack, kTimescale);
    access_->setTimescale(kQNVAudioTrack, kTimescale);
    access_->setParsedHeadersForEachTrack(true);
    access_->setInitialTime(0, 0);
    for (uint32_t segment = 0; segment < 2; ++segment) addVideoSegment(segment);
  }

  void addVideoSegment(uint32_t segment) {
    auto& video = access_->frames(kQNVVideoTrack);
    access_->addKeyframe(static_cast<int32_t>(video.frameCount()), "v1");
    for (uint32_t frame = 0; frame < kFramesPerSegment; ++frame) {
      const uint64_t time = (segment * kFramesPerSegment + frame) * kFrameDuration;
      video.addFrame({1000 + time, 100, kFrameDuration, time, time, time});
    }
  }

  // Audio frames of 250 ms over the same span.
  void addAudio() {
    playlist().containsAudioTrack = true;
    auto& audio = access_->frames(kQNVAudioTrack);
    for (uint64_t time = 0; time < 2 * kFramesPerSegment * kFrameDuration; time += 250) {
      audio.addFrame({50'000 + time, 10, 250, time, time, time});
    }
  }

  uint64_t currentVideoPts() { return access_->frames(kQNVVideoTrack).currentFrame().pts; }
};

TEST_F(QNVDashAssetSeekingTest, SegmentedForwardSeekLandsOnAKeyframeAtOrBeforeTheTarget) {
  onQueue([&] {
    makeSegmentedVod();
    addAudio();
    // The parser has read both segments' boxes.
    access_->reader(kQNVVideoTrack).setOffset(9000);
    const QNVSeekStatus status = access_->segmentedVodSeek(platform::MediaTime::make(2500, kTimescale));

    ASSERT_TRUE(status.seekSucceeded);
    // It goes on from there: moved back to a frame's bytes it would read
    // media data as boxes and parse the fragments after it a second time.
    EXPECT_EQ(access_->reader(kQNVVideoTrack).offset(), 9000U);
    EXPECT_EQ(access_->frames(kQNVVideoTrack).currentFrameIndex(), kFramesPerSegment);
    EXPECT_EQ(currentVideoPts(), 2000U);
    EXPECT_EQ(status.seekTime, platform::MediaTime::make(2, 1));
    // The frames are in memory: nothing is refetched.
    EXPECT_FALSE(status.shouldUpdateOffset);
    EXPECT_EQ(status.videoOffset, 0U);
    EXPECT_TRUE(status.seekVideo);
    EXPECT_TRUE(status.seekAudio);
    // Audio waits at its first frame not before the video frame.
    EXPECT_EQ(access_->frames(kQNVAudioTrack).currentFrame().pts, 2000U);
    EXPECT_EQ(access_->frames(kQNVVideoTrack).frameCount(), 2 * kFramesPerSegment);
  });
}

TEST_F(QNVDashAssetSeekingTest, SegmentedSeeksThatNeedOtherDataResetAndRefetch) {
  onQueue([&] {
    struct Case {
      const char* name;
      uint32_t startFrame;
      int64_t targetMs;
      uint64_t expectSegment;
      int64_t expectSeekMs;
    };
    const Case cases[] = {
        // Back by one segment: the earlier frames may be gone already.
        {"back one segment", kFramesPerSegment, 500, 0, 0},
        {"beyond the last keyframe in memory", 0, 6500, 3, 6000},
        {"past the end of the timeline", 0, 60'000, 3, 6000},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      makeSegmentedVod();
      access_->frames(kQNVVideoTrack).seekToFrameIndex(c.startFrame);
      const QNVSeekStatus status = access_->segmentedVodSeek(platform::MediaTime::make(c.targetMs, kTimescale));
      ASSERT_TRUE(status.seekSucceeded);
      EXPECT_TRUE(status.shouldUpdateOffset);
      EXPECT_EQ(status.videoOffset, c.expectSegment);
      EXPECT_EQ(status.seekTime, platform::MediaTime::make(c.expectSeekMs, kTimescale));
      EXPECT_FALSE(status.seekAudio);
      EXPECT_EQ(access_->frames(kQNVVideoTrack).frameCount(), 0U);
      EXPECT_EQ(access_->keyframeCount(), 0U);
    }
    EXPECT_EQ(log_.count("matching segment not found, so falling back to last segment"), 1U);
  });
}

TEST_F(QNVDashAssetSeekingTest, SegmentedSeekToTheCurrentSegmentChangesNothing) {
  onQueue([&] {
    makeSegmentedVod();
    access_->frames(kQNVVideoTrack).seekToFrameIndex(kFramesPerSegment);
    const QNVSeekStatus status = access_->segmentedVodSeek(platform::MediaTime::make(2200, kTimescale));
    EXPECT_TRUE(status.seekSucceeded);
    EXPECT_FALSE(status.seekVideo);
    EXPECT_FALSE(status.seekAudio);
    // The player's seek succeeds with nothing to move.
    EXPECT_TRUE(asset_->seekToPosition(platform::MediaTime::make(2200, kTimescale)));
    EXPECT_EQ(access_->frames(kQNVVideoTrack).currentFrameIndex(), kFramesPerSegment);
    EXPECT_EQ(access_->frames(kQNVVideoTrack).frameCount(), 2 * kFramesPerSegment);
    EXPECT_FALSE(asset_->dataLoaderForTrack(kQNVVideoTrack));
  });
}

TEST_F(QNVDashAssetSeekingTest, SeeksTheAssetCannotServeAreRefused) {
  onQueue([&] {
    makeSegmentedVod();
    access_->frames(kQNVVideoTrack).seekToFrameIndex(2);
    // A time that is no time would otherwise reset everything and fetch from
    // a segment picked by garbage.
    for (const platform::MediaTime& time :
         {platform::MediaTime::indefinite(), platform::MediaTime::invalid(), platform::MediaTime::positiveInfinity()}) {
      EXPECT_FALSE(asset_->seekToPosition(time));
    }
    EXPECT_EQ(access_->frames(kQNVVideoTrack).currentFrameIndex(), 2U);
    EXPECT_EQ(access_->frames(kQNVVideoTrack).frameCount(), 2 * kFramesPerSegment);
    EXPECT_EQ(log_.count("Attempting to seek non-live DASH to non-numeric time"), 3U);

    // Before both tracks have headers there is nothing to seek in.
    access_->setParsedHeadersForEachTrack(false);
    EXPECT_FALSE(asset_->seekToPosition(platform::MediaTime::make(1, 1)));
    EXPECT_EQ(log_.count("seek is not supported if the asset is unloaded"), 1U);
    EXPECT_EQ(access_->frames(kQNVVideoTrack).currentFrameIndex(), 2U);
  });
}

TEST_F(QNVDashAssetSeekingTest, LiveSeekJumpsToTheNextKeyframe) {
  onQueue([&] {
    makeSegmentedVod(kQNVDashVideoTypeLive);
    access_->setInitialTime(0, 500);
    access_->frames(kQNVVideoTrack).seekToFrameIndex(1);
    EXPECT_TRUE(access_->liveSeek());
    EXPECT_EQ(access_->frames(kQNVVideoTrack).currentFrameIndex(), kFramesPerSegment);
    // Times are relative to the first presentation time.
    EXPECT_EQ(asset_->timeAfterSeek(), platform::MediaTime::make(1500, kTimescale));

    // No keyframe after the last one: past the last frame, waiting for more.
    access_->frames(kQNVVideoTrack).seekToFrameIndex(kFramesPerSegment + 1);
    EXPECT_TRUE(access_->liveSeek());
    EXPECT_TRUE(access_->frames(kQNVVideoTrack).isAtEnd());
    EXPECT_EQ(log_.count("live seek: no more keyframes to advance to"), 1U);
  });
}

TEST_F(QNVDashAssetSeekingTest, SegmentedTimesMapToTheEntryEndingAtOrAfterThem) {
  onQueue([&] {
    makeSegmentedVod();
    struct Case {
      float seconds;
      uint64_t expected;
    };
    // Entries of 2 s from 0: the end of entry 0 equals 2.0 s.
    const Case cases[] = {{0.0F, 0}, {2.0F, 0}, {2.5F, 1}, {7.9F, 3}, {100.0F, 3}};
    for (const Case& c : cases) {
      SCOPED_TRACE(c.seconds);
      EXPECT_EQ(asset_->offsetForTimeInSeconds(c.seconds, kQNVVideoTrack), c.expected);
    }
  });
}

TEST_F(QNVDashAssetSeekingTest, FragmentedSeekWithoutSegmentIndexEntriesIsRefused) {
  onQueue([&] {
    makeAsset();
    parsePlaylist(kQNVDashVideoTypeFragmented, {testing::representation("v1", "360p", 500'000)}, "v1");
    access_->setTimescale(kQNVVideoTrack, kTimescale);
    access_->setParsedHeadersForEachTrack(true);
    access_->addParsedRepresentation(kQNVVideoTrack, "v1", 0, 5000, 1000);
    access_->setFetchingRepresentation(kQNVVideoTrack, "v1");
    EXPECT_FALSE(asset_->seekToPosition(platform::MediaTime::make(1, 1)));
    EXPECT_EQ(asset_->offsetForTimeInSeconds(1.0F, kQNVVideoTrack), 0U);
  });
}

TEST_F(QNVDashAssetSeekingTest, FragmentedTimesMapToTheEndOfTheirSegment) {
  onQueue([&] {
    makeAsset();
    parsePlaylist(kQNVDashVideoTypeFragmented, {testing::representation("v1", "360p", 500'000)}, "v1");
    access_->setTimescale(kQNVVideoTrack, kTimescale);
    access_->addParsedRepresentation(kQNVVideoTrack, "v1", 3, 5000, 1000, 1000);
    access_->setFetchingRepresentation(kQNVVideoTrack, "v1");
    EXPECT_EQ(asset_->offsetForTimeInSeconds(0.2F, kQNVVideoTrack), 6000U);
    EXPECT_EQ(asset_->offsetForTimeInSeconds(1.5F, kQNVVideoTrack), 11000U);
    EXPECT_EQ(asset_->offsetForTimeInSeconds(9.0F, kQNVVideoTrack), 16000U);
  });
}

}  // namespace
}  // namespace plexora
