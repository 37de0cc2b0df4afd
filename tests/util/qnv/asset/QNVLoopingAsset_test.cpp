// The looping asset over two instances of a local clip, read as the engine
// reads frames: one timeline of continuous times across the loops, the
// audio marks at each loop's end and restart, endless looping, and seeks
// into a later loop.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/URL.h"
#include "util/qnv/asset/QNVLocalMp4Asset.h"
#include "util/qnv/asset/QNVLoopingAsset.h"
#include "util/qnv/support/QNVTestClip.h"

namespace plexora {
namespace {

using platform::MediaTime;

struct ReadFrame {
  QNVTrackIndex track;
  double presentationSeconds;
  uint32_t flags;
};

class QNVLoopingAssetTest : public ::testing::Test {
 protected:
  std::shared_ptr<QNVLoopingAsset> looping(int32_t loopCount) {
    auto asset = QNVLoopingAsset::initWithAssetBlock(
        [path = path_] {
          return QNVLocalMp4Asset::initWithLocalURL(*platform::URL::fromFilePath(path), false, false, {});
        },
        loopCount);
    bool loaded = false;
    asset->loadValuesAsynchronouslyForKeys({"duration"}, [&loaded] { loaded = true; });
    EXPECT_TRUE(loaded);
    return asset;
  }

  // Reads up to `limit` frames as the engine does, a frame's record kept
  // until it is advanced past; the audio goes first whenever it has a frame,
  // so it reaches each loop's end before the video does.
  static std::vector<ReadFrame> read(QNVLoopingAsset& asset, size_t limit) {
    std::vector<ReadFrame> frames;
    std::map<QNVTrackIndex, QNVFrameMetadata> pending;
    const auto metadataOf = [&](QNVTrackIndex track) -> std::optional<QNVFrameMetadata> {
      if (!asset.trackHasMoreFrames(track)) return std::nullopt;
      auto found = pending.find(track);
      if (found == pending.end()) found = pending.emplace(track, asset.currentFrameMetadataForTrack(track)).first;
      if (found->second.size == 0) {
        pending.erase(found);
        return std::nullopt;
      }
      return found->second;
    };
    // An asset may learn that a track has ended only when asked for its
    // next frame: one empty round is asked again, as the engine would.
    bool askedAgain = false;
    while (frames.size() < limit) {
      QNVTrackIndex track = kQNVAudioTrack;
      std::optional<QNVFrameMetadata> metadata = metadataOf(kQNVAudioTrack);
      if (!metadata) {
        track = kQNVVideoTrack;
        metadata = metadataOf(kQNVVideoTrack);
      }
      if (!metadata) {
        if (askedAgain) break;
        askedAgain = true;
        continue;
      }
      askedAgain = false;
      EXPECT_NE(asset.currentFrameDataForTrack(track), nullptr);
      frames.push_back({track, metadata->presentationTime.seconds(), metadata->flags});
      pending.erase(track);
      asset.advanceFrameForTrack(track);
    }
    return frames;
  }

  const std::string path_ = testing::testMediaPath("baseline_aac_moov_first.mp4");
};

// One AAC packet of the test clips: 1024 samples at 44.1 kHz.
constexpr double kAacPacketSeconds = 1024.0 / 44100.0;

TEST_F(QNVLoopingAssetTest, ThreePlaysMakeOneTimelineWithTheAudioMarkedAtEachLoop) {
  const testing::QNVTestVideoTrack clip = testing::loadVideoTrack(path_);
  std::vector<double> clipTimes;
  for (const auto& sample : clip.samples) clipTimes.push_back(sample.presentationTimeStamp().seconds());
  auto asset = looping(2);
  ASSERT_NE(asset, nullptr);
  const double loop = asset->videoRealDuration().seconds();
  ASSERT_GT(loop, 0.9);
  EXPECT_NEAR(asset->duration().seconds(), 3 * loop, 1e-9);
  EXPECT_EQ(asset->status(), kQNVAssetStatusReadyToPlay);
  EXPECT_EQ(asset->debugDetails(), "Looping asset localMp4");

  const std::vector<ReadFrame> frames = read(*asset, 100000);
  std::vector<double> video;
  std::vector<double> audio;
  int restarts = 0;
  int videoEnds = 0;
  for (const ReadFrame& frame : frames) {
    if (frame.track == kQNVVideoTrack) {
      video.push_back(frame.presentationSeconds);
      continue;
    }
    if (!audio.empty()) {
      // A loop's first packet holds the encoder's priming, which the edit
      // list puts one packet before the loop's start.
      const bool restart = (frame.flags & kQNVFrameFlagFirstAudioPacketOfRun) != 0;
      const double priming = restart ? kAacPacketSeconds : 0.0;
      EXPECT_GE(frame.presentationSeconds + priming + 1e-9, audio.back()) << "audio times never go back";
    }
    audio.push_back(frame.presentationSeconds);
    if ((frame.flags & kQNVFrameFlagFirstAudioPacketOfRun) != 0) {
      EXPECT_NEAR(frame.presentationSeconds, (restarts + 1) * loop, 0.05) << "the first audio of a new loop";
      ++restarts;
    }
    if ((frame.flags & kQNVFrameFlagLastAudioPacketOfRun) != 0) ++videoEnds;
  }
  ASSERT_EQ(video.size(), 3 * clipTimes.size());
  for (size_t i = 0; i < video.size(); ++i) {
    EXPECT_NEAR(video[i], clipTimes[i % clipTimes.size()] + static_cast<double>(i / clipTimes.size()) * loop, 1e-9)
        << "frame " << i;
  }
  EXPECT_EQ(restarts, 2);
  EXPECT_EQ(videoEnds, 3) << "each loop's audio reaches its video's end once";
  EXPECT_FALSE(asset->trackHasMoreFrames(kQNVVideoTrack)) << "the third end is the end";
}

TEST_F(QNVLoopingAssetTest, WithoutALoopCountItPlaysUntilStopped) {
  auto asset = looping(-1);
  EXPECT_TRUE(asset->duration().isPositiveInfinity());
  const std::vector<ReadFrame> frames = read(*asset, 2000);
  ASSERT_EQ(frames.size(), 2000U);
  EXPECT_GE(asset->currentLoopCount(), 10);
  EXPECT_TRUE(asset->trackHasMoreFrames(kQNVVideoTrack));
  EXPECT_GT(frames.back().presentationSeconds, 10.0);

  asset->updatePlaybackTime(MediaTime::make(12, 1));
  EXPECT_EQ(asset->currentTime(), MediaTime::make(12, 1));
  EXPECT_FALSE(asset->resetAssetToBeginningIfNeeded());
  EXPECT_EQ(asset->currentLoopCount(), 0);
}

TEST_F(QNVLoopingAssetTest, ASeekLandsInItsLoopWithFullPrecision) {
  auto unloaded = QNVLoopingAsset::initWithAssetBlock(
      [path = path_] { return QNVLocalMp4Asset::initWithLocalURL(*platform::URL::fromFilePath(path), false, false, {}); });
  EXPECT_FALSE(unloaded->seekToPosition(MediaTime::make(1, 1))) << "no loop is known before loading";
  EXPECT_EQ(QNVLoopingAsset::initWithAssetBlock(nullptr), nullptr);

  auto asset = looping(-1);
  EXPECT_FALSE(asset->seekToPosition(MediaTime::make(-1, 10)));
  EXPECT_FALSE(asset->seekToPosition(MediaTime::indefinite()));
  const MediaTime duration = asset->videoRealDuration();
  // Two and a half loops, in the loop's own timescale times 2.
  const MediaTime target = MediaTime::make(duration.value * 5, duration.timescale * 2);
  ASSERT_TRUE(asset->seekToPosition(target));
  EXPECT_EQ(asset->currentLoopCount(), 2);
  EXPECT_FALSE(asset->usingBackUp());
  EXPECT_EQ(asset->timeAfterSeek(), target) << "no precision lost to a whole-second timescale";
  const std::vector<ReadFrame> frames = read(*asset, 1);
  ASSERT_EQ(frames.size(), 1U);
  EXPECT_NEAR(frames[0].presentationSeconds, 2.5 * duration.seconds(), 0.5);
  EXPECT_NE(frames[0].flags & kQNVFrameFlagFirstAudioPacketOfRun, 0U) << "the first audio after the seek";
}

TEST_F(QNVLoopingAssetTest, OnePlayWithALoopCountOfZero) {
  auto asset = looping(0);
  EXPECT_EQ(asset->duration(), asset->videoRealDuration());
  const std::vector<ReadFrame> frames = read(*asset, 100000);
  size_t video = 0;
  for (const ReadFrame& frame : frames) video += frame.track == kQNVVideoTrack ? 1 : 0;
  EXPECT_EQ(video, testing::loadVideoTrack(path_).samples.size());
  EXPECT_EQ(asset->resourceLoader(), nullptr);
}

}  // namespace
}  // namespace plexora
