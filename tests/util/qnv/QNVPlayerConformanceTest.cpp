// Clips from several muxers and settings played through the local asset and
// the player on the manual clock, against ffmpeg: every frame ffmpeg shows is
// drawn at its time like ffmpeg's own decode and colour conversion, every
// audio packet ffprobe lists is played once, in order, at its time (within
// one packet), and the end comes once.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "util/qnv/QNVClipPlayback.h"
#include "util/qnv/QNVSynchronousPlayer.h"
#include "util/qnv/QNVTestClip.h"

namespace plexora {
namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 90;
constexpr double kMinimumPsnr = 40.0;

// From the packet still playing at 0 (the packets before it, outside the
// edits, need not be fed), every packet ffprobe lists, with its size, in
// order, each buffer at its first packet's time.
void expectAudioLikeFfprobe(const std::string& path, const testing::QNVPlayedClip& played) {
  const auto probed = testing::ffprobeAudioPackets(path);
  if (probed.empty()) {
    EXPECT_TRUE(played.audio.empty());
    return;
  }
  ASSERT_GT(played.sampleRate, 0.0);
  const double rate = played.sampleRate;
  const double packetSeconds = played.framesPerPacket / rate;
  size_t next = 0;
  while (next + 1 < probed.size() && probed[next].seconds + packetSeconds < -1e-6) ++next;
  for (const auto& buffer : played.audio) {
    ASSERT_LT(next, probed.size());
    EXPECT_LE(std::abs(buffer.startSampleTime - probed[next].seconds * rate), played.framesPerPacket)
        << "packet " << next;
    for (const auto& packet : buffer.packets) {
      ASSERT_LT(next, probed.size());
      EXPECT_EQ(packet.size(), probed[next].size) << "packet " << next;
      ++next;
    }
  }
  EXPECT_EQ(next, probed.size()) << "every packet played";
}

class QNVPlayerConformanceTest : public ::testing::TestWithParam<const char*> {};

TEST_P(QNVPlayerConformanceTest, PlaysLikeFfmpeg) {
  const std::string path = testing::testMediaPath(GetParam());
  const testing::QNVPlayedClip played = testing::playClip(path, kWidth, kHeight);
  ASSERT_FALSE(played.framePsnr.empty()) << "ffmpeg shows no frame of " << path;
  for (size_t frame = 0; frame < played.framePsnr.size(); ++frame) {
    EXPECT_GE(played.framePsnr[frame], kMinimumPsnr) << "frame " << frame;
  }
  EXPECT_EQ(played.failures, 0);
  EXPECT_EQ(played.ends, 1);
  EXPECT_EQ(played.playerStatus, kQNVPlayerStatusReadyToPlay);
  expectAudioLikeFfprobe(path, played);
}

// An ad slot a quarter of the video's size: each pixel drawn is the average
// of the sixteen it covers, as in ffmpeg's area scaling, not four of them
// sampled and the rest skipped.
TEST(QNVPlayerDownscaleTest, AQuarterOfTheSizeIsDrawnLikeAreaScaling) {
  constexpr double kMinimumDownscaledPsnr = 38.0;
  const std::string path = testing::testMediaPath("large_640x360.mp4");
  const testing::QNVPlayedClip played = testing::playClip(path, 640 / 4, 360 / 4, "area");
  ASSERT_FALSE(played.framePsnr.empty()) << "ffmpeg shows no frame of " << path;
  for (size_t frame = 0; frame < played.framePsnr.size(); ++frame) {
    EXPECT_GE(played.framePsnr[frame], kMinimumDownscaledPsnr) << "frame " << frame;
  }
}

INSTANTIATE_TEST_SUITE_P(Clips, QNVPlayerConformanceTest,
                         ::testing::Values("baseline_aac_moov_first.mp4", "baseline_aac_moov_last.mp4",
                                           "main_bframes.mp4", "quicktime.mov", "fragmented.mp4",
                                           "fragmented_sidx.mp4", "fragmented_interleaved.mp4",
                                           "fragmented_moov_samples.mp4", "edit_cut.mp4",
                                           "edit_delay.mp4", "full_range.mp4", "bt709.mp4", "full_range_bt709.mp4",
                                           "one_frame.mp4", "audio_longer.mp4", "audio_shorter.mp4"),
                         [](const auto& info) { return testing::clipTestName(info.param); });

}  // namespace
}  // namespace plexora
