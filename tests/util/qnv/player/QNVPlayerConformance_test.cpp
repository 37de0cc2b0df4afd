// Clips from several muxers and settings played through the local asset and
// the player on the manual clock, against ffmpeg: every frame ffmpeg shows is
// drawn at its time like ffmpeg's own decode and colour conversion, every
// audio packet ffprobe lists is played once, in order, at its time (within
// one packet), and the end comes once.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include "support/TempDir.h"
#include "util/qnv/mp4/Mp4MovieFixtures.h"
#include "util/qnv/mp4/Mp4ParsedFile.h"
#include "util/qnv/mp4/Mp4RemuxedClip.h"
#include "util/qnv/support/QNVClipPlayback.h"
#include "util/qnv/player/QNVSynchronousPlayer.h"
#include "util/qnv/support/QNVTestClip.h"

namespace plexora {
namespace {

constexpr double kMinimumPsnr = 40.0;

struct PictureSize {
  int width = 0;
  int height = 0;
};

// The size ffprobe gives the clip's picture: cropped as the stream says.
PictureSize probedSize(const std::string& path) {
  const std::vector<uint8_t> output = testing::commandOutput(
      "ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 '" + path + "'");
  PictureSize size;
  std::sscanf(std::string(output.begin(), output.end()).c_str(), "%d,%d", &size.width, &size.height);
  return size;
}

// Every frame ffmpeg shows drawn like its own, at the picture's own size,
// no failure and one end.
testing::QNVPlayedClip expectPlaysLikeFfmpeg(const std::string& path, QNVDrawingChoice drawing,
                                             double oracleTimeOffset = 0) {
  const PictureSize size = probedSize(path);
  EXPECT_GT(size.width, 0) << "ffprobe's size of " << path;
  testing::QNVPlayedClip played =
      testing::playClip(path, size.width, size.height, "", drawing, oracleTimeOffset);
  EXPECT_FALSE(played.framePsnr.empty()) << "ffmpeg shows no frame of " << path;
  for (size_t frame = 0; frame < played.framePsnr.size(); ++frame) {
    EXPECT_GE(played.framePsnr[frame], kMinimumPsnr) << "frame " << frame;
  }
  EXPECT_EQ(played.failures, 0);
  EXPECT_EQ(played.ends, 1);
  return played;
}

// Both ways of drawing: GL, and the CPU path taken where GL is a software
// rasteriser.
constexpr QNVDrawingChoice kDrawings[] = {QNVDrawingChoice::kGL, QNVDrawingChoice::kCPU};

std::string drawingName(QNVDrawingChoice drawing) { return drawing == QNVDrawingChoice::kCPU ? "CPU" : "GL"; }

class QNVPlayerConformanceTest : public ::testing::TestWithParam<std::tuple<const char*, QNVDrawingChoice>> {};

TEST_P(QNVPlayerConformanceTest, PlaysLikeFfmpeg) {
  const std::string path = testing::testMediaPath(std::get<0>(GetParam()));
  const testing::QNVPlayedClip played = expectPlaysLikeFfmpeg(path, std::get<1>(GetParam()));
  EXPECT_EQ(played.playerStatus, kQNVPlayerStatusReadyToPlay);
  testing::expectAudioLikeFfprobe(path, played);
}

// An ad slot a quarter of the video's size: each pixel drawn is the average
// of the sixteen it covers, as in ffmpeg's area scaling, not four of them
// sampled and the rest skipped.
TEST(QNVPlayerDownscaleTest, AQuarterOfTheSizeIsDrawnLikeAreaScaling) {
  constexpr double kMinimumDownscaledPsnr = 38.0;
  const std::string path = testing::testMediaPath("large_640x360.mp4");
  for (const QNVDrawingChoice drawing : kDrawings) {
    SCOPED_TRACE(drawingName(drawing));
    const testing::QNVPlayedClip played = testing::playClip(path, 640 / 4, 360 / 4, "area", drawing);
    ASSERT_FALSE(played.framePsnr.empty()) << "ffmpeg shows no frame of " << path;
    for (size_t frame = 0; frame < played.framePsnr.size(); ++frame) {
      EXPECT_GE(played.framePsnr[frame], kMinimumDownscaledPsnr) << "frame " << frame;
    }
  }
}

// The clip's samples with 2-byte NAL unit lengths in place of 4-byte ones,
// as a movie of its own: no muxer at hand writes them, but the format allows
// 1, 2 or 4 bytes and some encoders use 2. Its track header is blank (no
// size, a matrix of zeros), as a careless muxer leaves it: the picture keeps
// its own size and no transform, as in ffmpeg.
std::string withTwoByteNalLengths(const std::string& path, const std::filesystem::path& directory) {
  const testing::Mp4ParsedFile parsed = testing::parseMp4File(path);
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const QNVMP4TrakAtom& trak = parsed.provider.moovAtom.trakAtoms.at(0);
  const auto& samples = parsed.movieSamples.at(0);

  std::vector<uint8_t> media;
  testing::TrackSpec video;
  video.mediaTimescale = trak.mediaTimescale;
  video.sampleEntries = {testing::avc1Entry(trak.sampleDescription.sequenceParameterSets,
                                            trak.sampleDescription.pictureParameterSets, 0xFD)};
  uint64_t duration = 0;
  for (size_t i = 0; i < samples.frames.size(); ++i) {
    const QNVMp4FrameRecord& frame = samples.frames[i];
    const size_t size = media.size();
    for (size_t at = frame.offset; at + 4 <= frame.offset + frame.size;) {
      const uint32_t length = static_cast<uint32_t>(original.at(at)) << 24 | original.at(at + 1) << 16 |
                              original.at(at + 2) << 8 | original.at(at + 3);
      EXPECT_LT(length, 0x10000U) << "a NAL unit too long for two bytes";
      media.push_back(static_cast<uint8_t>(length >> 8));
      media.push_back(static_cast<uint8_t>(length));
      media.insert(media.end(), original.begin() + static_cast<ptrdiff_t>(at + 4),
                   original.begin() + static_cast<ptrdiff_t>(at + 4 + length));
      at += 4 + length;
    }
    video.sizes.push_back(static_cast<uint32_t>(media.size() - size));
    video.chunkOffsets.push_back(size);
    video.stts.push_back({1, static_cast<uint32_t>(frame.duration)});
    if (samples.sync.at(i)) video.stss.push_back(static_cast<uint32_t>(i + 1));
    duration += frame.duration;
  }
  testing::MovieSpec movie;
  movie.timescale = trak.mediaTimescale;
  movie.duration = duration;
  movie.tracks = {video};
  // The chunk offsets so far count from the media's start.
  const uint64_t mediaStart = testing::moovBox(movie).size() + 8;
  for (uint64_t& offset : movie.tracks[0].chunkOffsets) offset += mediaStart;
  std::vector<uint8_t> file = testing::moovBox(movie);
  const uint32_t mdatSize = static_cast<uint32_t>(media.size() + 8);
  const uint8_t mdatHeader[] = {static_cast<uint8_t>(mdatSize >> 24), static_cast<uint8_t>(mdatSize >> 16),
                                static_cast<uint8_t>(mdatSize >> 8), static_cast<uint8_t>(mdatSize), 'm', 'd', 'a', 't'};
  file.insert(file.end(), std::begin(mdatHeader), std::end(mdatHeader));
  file.insert(file.end(), media.begin(), media.end());
  const std::string written = (directory / "two_byte_nal_lengths.mp4").string();
  std::ofstream(written, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return written;
}

TEST(QNVPlayerNalLengthTest, TwoByteNalLengthsPlayLikeFfmpeg) {
  testing::TempDir directory;
  const std::string path = withTwoByteNalLengths(testing::testMediaPath("bt709.mp4"), directory.path());
  ASSERT_EQ(testing::parseMp4File(path).provider.moovAtom.trakAtoms.at(0).sampleDescription.naluLengthSize, 2U);
  for (const QNVDrawingChoice drawing : kDrawings) {
    SCOPED_TRACE(drawingName(drawing));
    expectPlaysLikeFfmpeg(path, drawing);
  }
}

// A clip's samples laid out again as other muxers and packagers do: every
// frame ffmpeg shows is drawn at its time, every audio packet played, and
// the end comes once, after the last frame.
TEST(QNVPlayerRemuxedClipTest, PlaysLikeFfmpeg) {
  constexpr size_t kAll = SIZE_MAX;
  constexpr size_t kVideo = 0;
  constexpr size_t kAudio = 1;
  struct Case {
    const char* name;
    testing::Mp4RemuxPlan plan;
    // ffmpeg's output starts at the first frame; so does playback.
    double oracleTimeOffset = 0;
  };
  // Fragments that start between key frames, each video one after one that
  // carries audio alone: their sequence numbers count the movie's fragments,
  // so a video fragment follows the one before it without a gap.
  testing::Mp4RemuxPlan audioOnlyFragments;
  audioOnlyFragments.samplesInMovieBox = {5, 8};
  audioOnlyFragments.fragments = {{{kVideo, 5, 10}},    {{kAudio, 8, 20}},   {{kVideo, 10, 20}},
                                  {{kAudio, 20, kAll}}, {{kVideo, 20, kAll}}};
  // Fragments of about a third of a second under a movie header that
  // states more than five hours.
  testing::Mp4RemuxPlan longHeaderFragmented;
  longHeaderFragmented.samplesInMovieBox = {0, 0};
  longHeaderFragmented.fragments = {{{kVideo, 0, 10}, {kAudio, 0, 15}},
                                    {{kVideo, 10, 20}, {kAudio, 15, 30}},
                                    {{kVideo, 20, kAll}, {kAudio, 30, kAll}}};
  longHeaderFragmented.movieDurationMs = 19'063'000;
  testing::Mp4RemuxPlan longHeaderPlain;
  longHeaderPlain.samplesInMovieBox = {kAll, kAll};
  longHeaderPlain.movieDurationMs = 19'063'000;
  // Fragments cut out of a stream at 10 s, without an edit list.
  testing::Mp4RemuxPlan lateStart = longHeaderFragmented;
  lateStart.movieDurationMs.reset();
  lateStart.fragmentTimeOffsetSeconds = 10;
  const Case cases[] = {
      {"video fragments after audio-only fragments", audioOnlyFragments},
      {"fragmented, movie header far longer than the media", longHeaderFragmented},
      {"plain, movie header far longer than the media", longHeaderPlain},
      {"first fragment at 10 s", lateStart, 10.0},
  };
  testing::TempDir directory;
  const std::string source = testing::testMediaPath("baseline_aac_moov_first.mp4");
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    const std::string path =
        testing::writtenMp4((directory.path() / "remuxed.mp4").string(), testing::remuxedMp4(source, entry.plan));
    ASSERT_EQ(testing::ffprobeVideoFrameTimes(path).size(), 30U) << "ffmpeg's frames";
    const testing::QNVPlayedClip played =
        expectPlaysLikeFfmpeg(path, QNVDrawingChoice::kAutomatic, entry.oracleTimeOffset);
    EXPECT_EQ(played.framePsnr.size(), 30U);
    testing::expectAudioLikeFfprobe(path, played, entry.oracleTimeOffset);
  }
}

INSTANTIATE_TEST_SUITE_P(Clips, QNVPlayerConformanceTest,
                         ::testing::Combine(::testing::Values("baseline_aac_moov_first.mp4", "baseline_aac_moov_last.mp4",
                                           "main_bframes.mp4", "quicktime.mov", "fragmented.mp4",
                                           "fragmented_sidx.mp4", "fragmented_interleaved.mp4",
                                           "fragmented_moov_samples.mp4", "edit_cut.mp4",
                                           "edit_delay.mp4", "full_range.mp4", "bt709.mp4", "full_range_bt709.mp4",
                                           "one_frame.mp4", "audio_longer.mp4", "audio_shorter.mp4",
                                           "crop_left_top.mp4", "crop_right_bottom.mp4"),
                                            ::testing::ValuesIn(kDrawings)),
                         [](const auto& info) {
                           return testing::clipTestName(std::get<0>(info.param)) + "_" +
                                  drawingName(std::get<1>(info.param));
                         });

}  // namespace
}  // namespace plexora
