// The local MP4 asset against the generated clips: what loading tells, the
// frames it hands the engine (compared with the parser's frame records and
// the file's bytes), seeks, the end of each track, and the errors that reach
// its owner from bad files.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchSync.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/TempDir.h"
#include "util/qnv/mp4/Mp4MovieFixtures.h"
#include "util/qnv/mp4/Mp4TestDoubles.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/asset/QNVLocalMp4Asset.h"
#include "util/qnv/mp4/QNVMp4FileBasedReader.h"
#include "util/qnv/mp4/QNVMp4Parser.h"
#include "util/qnv/mp4/QNVMp4SampleTables.h"

namespace plexora {
namespace {

using platform::MediaTime;

const std::string kMediaDir = PLEXORA_TEST_MEDIA_DIR;

std::string clip(const std::string& name) { return kMediaDir + "/" + name; }

platform::URL fileURL(const std::string& path) { return *platform::URL::fromFilePath(path); }

std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A loaded asset working in the caller (the synchronous mode).
std::shared_ptr<QNVLocalMp4Asset> loadedAsset(const std::string& path, bool* handlerCalled = nullptr) {
  auto asset = QNVLocalMp4Asset::initWithLocalURL(fileURL(path), false, false, {});
  bool called = false;
  asset->loadValuesAsynchronouslyForKeys({"duration"}, [&called] { called = true; });
  EXPECT_TRUE(called) << "the synchronous mode loads in the caller";
  if (handlerCalled != nullptr) *handlerCalled = called;
  return asset;
}

struct ParsedTrack {
  std::vector<QNVMp4FrameRecord> frames;
  std::vector<uint32_t> syncSamples;
  uint32_t timescale = 0;
  // The media time the first edit starts at (0 without edits).
  int64_t editStart = 0;
};

// The parser's records of the first track with the handler.
ParsedTrack parsedTrack(const std::string& path, std::string_view handler) {
  auto reader = QNVMp4FileBasedReader::initWithFilePath(path);
  QNVMP4MoovAtomProvider provider;
  EXPECT_EQ(parseMoovAtom(provider, *reader), kQNVMp4ParseDone);
  ParsedTrack parsed;
  for (size_t index = 0; index < provider.moovAtom.trakAtoms.size(); ++index) {
    const auto& trak = provider.moovAtom.trakAtoms[index];
    if (trak.handler() != handler) continue;
    testing::RecordingFrameStore store;
    addSamplesOfTrack(store, provider.moovAtom, index);
    parsed.frames = store.frames;
    parsed.syncSamples = trak.syncSamples;
    parsed.timescale = trak.mediaTimescale;
    if (!trak.editList.empty()) parsed.editStart = std::max<int64_t>(trak.editList.front().mediaTime, 0);
    break;
  }
  return parsed;
}

struct DeliveredFrame {
  QNVFrameMetadata metadata;
  std::vector<uint8_t> bytes;
};

// Pulls every frame of a track in the engine's order of calls.
// A track that keeps answering that it has frames fails here instead of
// hanging.
std::vector<DeliveredFrame> drainTrack(QNVLocalMp4Asset& asset, QNVTrackIndex track, size_t limit = 100000) {
  std::vector<DeliveredFrame> frames;
  size_t calls = 0;
  while (asset.trackHasMoreFrames(track) && ++calls < limit) {
    const QNVFrameMetadata metadata = asset.currentFrameMetadataForTrack(track);
    const uint8_t* data = asset.currentFrameDataForTrack(track);
    if (metadata.size != 0) {
      EXPECT_NE(data, nullptr);
      frames.push_back(
          {metadata, data != nullptr ? std::vector<uint8_t>(data, data + metadata.size) : std::vector<uint8_t>{}});
    }
    asset.advanceFrameForTrack(track);
  }
  EXPECT_LT(calls, limit) << "the track ends";
  return frames;
}

MediaTime trackTime(uint64_t value, uint32_t timescale) {
  return MediaTime::make(static_cast<int64_t>(value), static_cast<int32_t>(timescale));
}

// Records the asset notifications posted for one object.
class PostedErrors {
 public:
  explicit PostedErrors(const void* object) {
    auto& centre = platform::NotificationCenter::defaultCenter();
    failedToken_ = centre.addObserver(
        kAVPlayerItemFailedToPlayToEndTimeNotification, object, nullptr, [this](const platform::Notification& note) {
          failures.push_back(errorUnder(note, kAVPlayerItemFailedToPlayToEndTimeErrorKey));
        });
    warningToken_ = centre.addObserver(kQNVAssetWarning, object, nullptr, [this](const platform::Notification& note) {
      warnings.push_back(errorUnder(note, kQNVAssetWarningErrorKey));
    });
  }
  ~PostedErrors() {
    auto& centre = platform::NotificationCenter::defaultCenter();
    centre.removeObserver(failedToken_);
    centre.removeObserver(warningToken_);
  }
  PostedErrors(const PostedErrors&) = delete;
  PostedErrors& operator=(const PostedErrors&) = delete;

  std::vector<std::optional<platform::Error>> failures;
  std::vector<std::optional<platform::Error>> warnings;

 private:
  static std::optional<platform::Error> errorUnder(const platform::Notification& note, const char* key) {
    const platform::Value* value = note.userInfo.find(key);
    return value != nullptr ? QNVErrorFromValue(*value) : std::nullopt;
  }
  platform::NotificationCenter::ObserverToken failedToken_ = 0;
  platform::NotificationCenter::ObserverToken warningToken_ = 0;
};

TEST(QNVLocalMp4AssetTest, BeforeLoadingEverythingIsZero) {
  auto asset = QNVLocalMp4Asset::initWithLocalURL(fileURL(clip("baseline_aac_moov_first.mp4")), false, false, {});
  EXPECT_EQ(asset->duration(), MediaTime::zero());
  EXPECT_EQ(asset->timeAfterSeek(), MediaTime::zero());
  EXPECT_EQ(asset->currentTime(), MediaTime::zero());
  const QNVFrameMetadata none = asset->currentFrameMetadataForTrack(kQNVVideoTrack);
  EXPECT_EQ(none.size, 0U);
  EXPECT_FALSE(none.decodeTime.isValid());
  EXPECT_EQ(asset->currentFrameDataForTrack(kQNVVideoTrack), nullptr);
  EXPECT_FALSE(asset->containsTrack(kQNVVideoTrack));
  EXPECT_EQ(asset->statusOfValueForKey("duration", nullptr), kQNVKeyValueStatusFailed);
}

TEST(QNVLocalMp4AssetTest, LoadingAClipWithVideoAndAudio) {
  auto asset = loadedAsset(clip("baseline_aac_moov_first.mp4"));
  std::optional<platform::Error> error;
  EXPECT_EQ(asset->statusOfValueForKey("playable", &error), kQNVKeyValueStatusLoaded);
  EXPECT_FALSE(error);
  EXPECT_NEAR(asset->duration().seconds(), 1.0, 0.05);
  EXPECT_TRUE(asset->containsTrack(kQNVVideoTrack));
  EXPECT_TRUE(asset->containsTrack(kQNVAudioTrack));
  EXPECT_FALSE(asset->containsTrack(2));
  EXPECT_FALSE(asset->containsTrack(-1));
  EXPECT_EQ(asset->naturalSize(), (platform::Size{160, 90}));
  ASSERT_NE(asset->formatDesc(), nullptr);
  EXPECT_EQ(asset->formatDesc()->dimensions().width, 160);
  EXPECT_EQ(asset->asbd().sampleRate, 44100.0);
  EXPECT_EQ(asset->asbd().framesPerPacket, 1024U);
  EXPECT_EQ(asset->asbd().channelsPerFrame, 2U);
  const auto ranges = asset->loadedTimeRanges();
  ASSERT_EQ(ranges.size(), 1U);
  EXPECT_EQ(ranges[0].start, MediaTime::zero());
  EXPECT_EQ(ranges[0].duration, asset->duration());
  EXPECT_EQ(asset->status(), kQNVAssetStatusReadyToPlay);
  EXPECT_EQ(asset->resourceLoader(), nullptr);
  EXPECT_EQ(asset->debugDetails(), "localMp4");
  EXPECT_EQ(asset->maxBufferTime(), MediaTime::make(5, 2));
  EXPECT_EQ(asset->minBufferTime(), MediaTime::make(3, 2));
  EXPECT_FALSE(asset->shouldPauseForStallingWithNextCheckCallback([] { FAIL() << "never held"; }, 3));
  EXPECT_FALSE(asset->decompressedFramebuffer());
}

TEST(QNVLocalMp4AssetTest, TheFactorysAsynchronousAssetLoadsOnTheMediaStateQueue) {
  auto asset = QNVLocalMp4Asset::initWithLocalURL(fileURL(clip("baseline_aac_moov_first.mp4")), false, {});
  platform::DispatchSemaphore done;
  bool onMediaStateQueue = false;
  int calls = 0;
  asset->loadValuesAsynchronouslyForKeys({}, [&] {
    onMediaStateQueue = QNVMediaStateQueue()->isCurrent();
    ++calls;
    done.signal();
  });
  ASSERT_TRUE(done.wait(10.0));
  EXPECT_TRUE(onMediaStateQueue);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(asset->statusOfValueForKey("duration", nullptr), kQNVKeyValueStatusLoaded);
  // The frame operations belong to the media-state queue as well.
  size_t frames = 0;
  QNVMediaStateQueue()->sync([&] { frames = drainTrack(*asset, kQNVVideoTrack).size(); });
  EXPECT_EQ(frames, 30U);
}

// Every video sample in decode order, with the parser's times, sizes and
// bytes; the sync flag only while embedFrameInfo is on. 59.94 and 60 frames
// a second are not thinned.
TEST(QNVLocalMp4AssetTest, VideoFramesEqualTheParsersRecords) {
  for (const char* name : {"baseline_aac_moov_first.mp4", "baseline_aac_moov_last.mp4", "main_bframes.mp4", "fps60.mp4",
                           "fps59_94.mp4", "video_only.mp4"}) {
    SCOPED_TRACE(name);
    const ParsedTrack parsed = parsedTrack(clip(name), "vide");
    const auto file = fileBytes(clip(name));
    for (bool embed : {false, true}) {
      auto asset = loadedAsset(clip(name));
      asset->setEmbedFrameInfo(embed);
      const auto frames = drainTrack(*asset, kQNVVideoTrack);
      ASSERT_EQ(frames.size(), parsed.frames.size());
      for (size_t index = 0; index < frames.size(); ++index) {
        const QNVMp4FrameRecord& record = parsed.frames[index];
        const QNVFrameMetadata& metadata = frames[index].metadata;
        ASSERT_EQ(metadata.size, record.size) << index;
        EXPECT_EQ(metadata.decodeTime, trackTime(record.dts, parsed.timescale)) << index;
        EXPECT_EQ(metadata.presentationTime, trackTime(record.pts, parsed.timescale)) << index;
        EXPECT_EQ(metadata.duration, trackTime(record.duration, parsed.timescale)) << index;
        const bool sync = parsed.syncSamples.empty() || std::find(parsed.syncSamples.begin(), parsed.syncSamples.end(),
                                                                  index + 1) != parsed.syncSamples.end();
        EXPECT_EQ(metadata.flags, embed && sync ? kQNVFrameFlagFormatMayHaveChanged : 0U) << index;
        ASSERT_LE(record.offset + record.size, file.size());
        EXPECT_TRUE(std::equal(frames[index].bytes.begin(), frames[index].bytes.end(), file.begin() + record.offset))
            << index;
      }
      // The end: no frame, and no more frames from then on.
      EXPECT_FALSE(asset->trackHasMoreFrames(kQNVVideoTrack));
      EXPECT_EQ(asset->currentFrameMetadataForTrack(kQNVVideoTrack).size, 0U);
      EXPECT_EQ(asset->currentFrameDataForTrack(kQNVVideoTrack), nullptr);
    }
  }
}

// Packets one by one with the sample's time plus the packets before it, the
// file's bytes, and the end of the track once the last packet is passed. A
// packet presented after the end of the movie (past its edit) is not read;
// the encoder's priming, before the edit's start, comes first, at the time
// ffprobe gives it: before 0.
TEST(QNVLocalMp4AssetTest, AudioPacketsEqualTheParsersRecords) {
  for (const char* name : {"baseline_aac_moov_first.mp4", "baseline_aac_moov_last.mp4", "main_bframes.mp4"}) {
    SCOPED_TRACE(name);
    ParsedTrack parsed = parsedTrack(clip(name), "soun");
    const auto file = fileBytes(clip(name));
    auto asset = loadedAsset(clip(name));
    std::erase_if(parsed.frames, [&](const QNVMp4FrameRecord& record) {
      return trackTime(record.pts, parsed.timescale) >= asset->duration();
    });
    ASSERT_GT(parsed.frames.size(), 40U);
    const auto packets = drainTrack(*asset, kQNVAudioTrack);
    ASSERT_EQ(packets.size(), parsed.frames.size());
    for (size_t index = 0; index < packets.size(); ++index) {
      const QNVMp4FrameRecord& record = parsed.frames[index];
      const QNVFrameMetadata& metadata = packets[index].metadata;
      ASSERT_EQ(metadata.size, record.size) << index;
      // An AAC packet's media time is its decode time; the edit moves it.
      EXPECT_EQ(metadata.presentationTime, MediaTime::make(static_cast<int64_t>(record.dts) - parsed.editStart,
                                                           static_cast<int32_t>(parsed.timescale)))
          << index;
      EXPECT_EQ(metadata.decodeTime, trackTime(record.dts, parsed.timescale)) << index;
      EXPECT_EQ(metadata.duration, MediaTime::make(1024, 44100)) << index;
      EXPECT_EQ(metadata.flags, 0U);
      EXPECT_TRUE(std::equal(packets[index].bytes.begin(), packets[index].bytes.end(), file.begin() + record.offset))
          << index;
    }
    // Releasing the last sample leaves no packet behind.
    EXPECT_FALSE(asset->trackHasMoreFrames(kQNVAudioTrack));
    EXPECT_EQ(asset->currentFrameDataForTrack(kQNVAudioTrack), nullptr);
  }
}

TEST(QNVLocalMp4AssetTest, DescriptionsWithoutAnAdvance) {
  auto asset = loadedAsset(clip("baseline_aac_moov_first.mp4"));
  // Audio: the same packet again.
  const QNVFrameMetadata first = asset->currentFrameMetadataForTrack(kQNVAudioTrack);
  const QNVFrameMetadata again = asset->currentFrameMetadataForTrack(kQNVAudioTrack);
  EXPECT_EQ(first.presentationTime, again.presentationTime);
  EXPECT_EQ(first.size, again.size);
  EXPECT_EQ(first.decodeTime, again.decodeTime);
  EXPECT_EQ(asset->currentAudioBufferIndex(), 0);
  asset->advanceFrameForTrack(kQNVAudioTrack);
  EXPECT_EQ(asset->currentFrameMetadataForTrack(kQNVAudioTrack).decodeTime,
            platform::add(first.decodeTime, MediaTime::make(1024, 44100)));
  // Video: the next sample, the first one released.
  const QNVFrameMetadata video0 = asset->currentFrameMetadataForTrack(kQNVVideoTrack);
  const QNVFrameMetadata video1 = asset->currentFrameMetadataForTrack(kQNVVideoTrack);
  EXPECT_GT(video1.decodeTime, video0.decodeTime);
  // Other tracks have nothing.
  EXPECT_EQ(asset->currentFrameMetadataForTrack(2).size, 0U);
  EXPECT_EQ(asset->currentFrameDataForTrack(2), nullptr);
  EXPECT_FALSE(asset->trackHasMoreFrames(2));
}

TEST(QNVLocalMp4AssetTest, SeekingStartsBothTracksAtOrBeforeTheTime) {
  const std::string path = clip("baseline_aac_moov_first.mp4");
  auto asset = loadedAsset(path);
  // Key frames every 15 frames at 30 per second: 0.6 s starts at 0.5 s.
  ASSERT_TRUE(asset->seekToPosition(MediaTime::make(600, 1000)));
  EXPECT_EQ(asset->timeAfterSeek(), MediaTime::make(600, 1000));
  const QNVFrameMetadata video = asset->currentFrameMetadataForTrack(kQNVVideoTrack);
  EXPECT_EQ(video.presentationTime, MediaTime::make(1, 2));
  asset->advanceFrameForTrack(kQNVVideoTrack);
  const QNVFrameMetadata audio = asset->currentFrameMetadataForTrack(kQNVAudioTrack);
  EXPECT_LE(audio.presentationTime, MediaTime::make(600, 1000));
  EXPECT_GT(platform::add(audio.presentationTime, MediaTime::make(1024, 44100)), MediaTime::make(600, 1000));

  // Past the duration: refused, reading goes on where it was.
  const QNVFrameMetadata next = asset->currentFrameMetadataForTrack(kQNVVideoTrack);
  asset->advanceFrameForTrack(kQNVVideoTrack);
  EXPECT_FALSE(asset->seekToPosition(platform::add(asset->duration(), MediaTime::make(1, 10))));
  EXPECT_EQ(asset->timeAfterSeek(), MediaTime::make(600, 1000));
  EXPECT_GT(asset->currentFrameMetadataForTrack(kQNVVideoTrack).decodeTime, next.decodeTime);

  // Exactly the duration is accepted: new readers near the end of the file.
  ASSERT_TRUE(asset->seekToPosition(asset->duration()));
  EXPECT_LT(drainTrack(*asset, kQNVVideoTrack).size(), 30U);

  // Back to the start after the end: every frame again.
  EXPECT_FALSE(asset->resetAssetToBeginningIfNeeded()) << "answers NO even when the seek succeeded";
  EXPECT_EQ(asset->timeAfterSeek(), MediaTime::zero());
  EXPECT_EQ(drainTrack(*asset, kQNVVideoTrack).size(), 30U);
}

TEST(QNVLocalMp4AssetTest, ASeekWhoseReaderCannotBeMadePostsItsErrorWithStop) {
  testing::TempDir dir;
  const auto path = dir / "clip.mp4";
  std::filesystem::copy_file(clip("baseline_aac_moov_first.mp4"), path);
  auto asset = loadedAsset(path.string());
  PostedErrors posted(asset.get());
  std::filesystem::remove(path);
  EXPECT_FALSE(asset->seekToPosition(MediaTime::make(1, 2)));
  ASSERT_EQ(posted.failures.size(), 1U);
  ASSERT_TRUE(posted.failures[0]);
  EXPECT_EQ(posted.failures[0]->domain(), kQNVLocalMp4ReaderErrorDomain);
  EXPECT_TRUE(posted.warnings.empty());
  EXPECT_FALSE(asset->trackHasMoreFrames(kQNVVideoTrack));
  EXPECT_EQ(asset->currentFrameMetadataForTrack(kQNVVideoTrack).size, 0U);
}

// The file loses its media data while it plays: the video reader's failure
// reaches the owner once, with stop, and both tracks end.
TEST(QNVLocalMp4AssetTest, AFileCutShortWhilePlayingEndsBothTracksAndReportsTheFailure) {
  testing::TempDir dir;
  const auto path = dir / "clip.mp4";
  std::filesystem::copy_file(clip("baseline_aac_moov_first.mp4"), path);
  auto asset = loadedAsset(path.string());
  PostedErrors posted(asset.get());
  for (int frame = 0; frame < 3; ++frame) {
    ASSERT_NE(asset->currentFrameMetadataForTrack(kQNVVideoTrack).size, 0U);
    asset->advanceFrameForTrack(kQNVVideoTrack);
  }
  ASSERT_NE(asset->currentFrameMetadataForTrack(kQNVAudioTrack).size, 0U) << "an audio sample is held";
  std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);

  const size_t video = drainTrack(*asset, kQNVVideoTrack).size();
  const size_t audio = drainTrack(*asset, kQNVAudioTrack).size();
  EXPECT_LT(video, 27U);
  EXPECT_LT(audio, 44U);
  EXPECT_FALSE(asset->trackHasMoreFrames(kQNVVideoTrack));
  EXPECT_FALSE(asset->trackHasMoreFrames(kQNVAudioTrack)) << "no packet count outlives its sample";
  EXPECT_EQ(asset->currentFrameDataForTrack(kQNVAudioTrack), nullptr);
  ASSERT_EQ(posted.failures.size(), 1U);
  ASSERT_TRUE(posted.failures[0]);
  EXPECT_EQ(posted.failures[0]->code(), kQNVLocalMp4ReaderErrorReadFailed);
  EXPECT_EQ(asset->currentFrameMetadataForTrack(kQNVVideoTrack).size, 0U);
  EXPECT_EQ(posted.failures.size(), 1U) << "reported once";
}

TEST(QNVLocalMp4AssetTest, ARotatedTrackReportsANegativeDimension) {
  auto asset = loadedAsset(clip("rotated.mp4"));
  const platform::Size size = asset->naturalSize();
  EXPECT_EQ(std::abs(size.width), 90.0);
  EXPECT_EQ(std::abs(size.height), 160.0);
  EXPECT_TRUE(size.width < 0 || size.height < 0);
  EXPECT_NE(asset->preferredTransform(), QNVAffineTransform::identity());
}

TEST(QNVLocalMp4AssetTest, AudioThatCannotBeDescribedIsLeftOutWithAWarning) {
  auto asset = QNVLocalMp4Asset::initWithLocalURL(fileURL(clip("opus.mp4")), false, false, {});
  PostedErrors posted(asset.get());
  asset->loadValuesAsynchronouslyForKeys({}, [] {});
  EXPECT_EQ(asset->statusOfValueForKey("duration", nullptr), kQNVKeyValueStatusLoaded);
  EXPECT_FALSE(asset->containsTrack(kQNVAudioTrack));
  EXPECT_EQ(asset->asbd(), platform::AudioStreamBasicDescription{});
  EXPECT_EQ(posted.warnings.size(), 1U);
  EXPECT_TRUE(posted.failures.empty());
  EXPECT_EQ(drainTrack(*asset, kQNVVideoTrack).size(), 30U);
  EXPECT_TRUE(asset->seekToPosition(MediaTime::make(1, 2))) << "the video alone seeks";
  EXPECT_EQ(posted.warnings.size(), 1U);
}

TEST(QNVLocalMp4AssetTest, FilesThatCannotPlayFailTheKeyStatusAndStillCallTheHandler) {
  testing::TempDir dir;
  const auto source = fileBytes(clip("baseline_aac_moov_first.mp4"));
  const auto truncated = dir / "truncated.mp4";
  std::ofstream(truncated, std::ios::binary)
      .write(reinterpret_cast<const char*>(source.data()), static_cast<std::streamsize>(source.size() - 2000));
  const auto garbage = dir / "garbage.mp4";
  std::ofstream(garbage) << "not a movie at all";

  struct Case {
    std::string path;
    int64_t code;
  };
  for (const Case& entry : {Case{truncated.string(), kQNVLocalMp4ReaderErrorSampleOutsideFile},
                            Case{garbage.string(), kQNVLocalMp4ReaderErrorUnreadableFile},
                            Case{(dir / "missing.mp4").string(), kQNVLocalMp4ReaderErrorUnreadableFile}}) {
    SCOPED_TRACE(entry.path);
    bool called = false;
    auto asset = loadedAsset(entry.path, &called);
    EXPECT_TRUE(called);
    std::optional<platform::Error> error;
    EXPECT_EQ(asset->statusOfValueForKey("duration", &error), kQNVKeyValueStatusFailed);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code(), entry.code);
    EXPECT_EQ(asset->status(), kQNVAssetStatusFailed);
    EXPECT_FALSE(asset->trackHasMoreFrames(kQNVVideoTrack));
    EXPECT_EQ(asset->currentFrameMetadataForTrack(kQNVVideoTrack).size, 0U);
    EXPECT_FALSE(asset->seekToPosition(MediaTime::zero()));
  }
}

// A movie whose samples all last zero: each is handed out once, then the
// track ends.
TEST(QNVLocalMp4AssetTest, ZeroDurationSamplesAreDeliveredAndTheTrackEnds) {
  testing::MovieSpec movie;
  movie.duration = 1000;
  testing::TrackSpec video;
  video.sizes = {4, 4, 4};
  video.stts = {{3, 0}};
  video.stsc = {{1, 3, 1}};
  video.chunkOffsets = {0};
  movie.tracks = {video};
  const size_t moovSize = testing::moovBox(movie).size();
  movie.tracks[0].chunkOffsets = {moovSize + 8};
  platform::Bytes file = testing::moovBox(movie);
  const uint8_t mdat[] = {0, 0, 0, 20, 'm', 'd', 'a', 't', 0, 0, 0, 1, 0x65, 0, 0, 0, 0, 0, 0, 0};
  file.insert(file.end(), std::begin(mdat), std::end(mdat));
  testing::TempDir dir;
  const auto path = dir / "zero.mp4";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));

  auto asset = loadedAsset(path.string());
  ASSERT_EQ(asset->statusOfValueForKey("duration", nullptr), kQNVKeyValueStatusLoaded);
  const auto frames = drainTrack(*asset, kQNVVideoTrack, 10);
  ASSERT_EQ(frames.size(), 3U);
  for (const auto& frame : frames) EXPECT_EQ(frame.metadata.duration, MediaTime::make(0, 1000));
  EXPECT_EQ(frames[0].bytes, (std::vector<uint8_t>{0, 0, 0, 1}));
  EXPECT_FALSE(asset->trackHasMoreFrames(kQNVVideoTrack));
}

TEST(QNVLocalMp4AssetTest, ErrorsReachTheOwnerAsNotifications) {
  auto asset = loadedAsset(clip("video_only.mp4"));
  PostedErrors posted(asset.get());
  const platform::Error error("domain", 7);
  asset->addErrorToLog(error, false);
  EXPECT_TRUE(posted.failures.empty());
  ASSERT_EQ(posted.warnings.size(), 1U);
  EXPECT_EQ(posted.warnings[0], error);
  asset->addErrorToLog(error, true);
  ASSERT_EQ(posted.failures.size(), 1U);
  EXPECT_EQ(posted.failures[0], error);
  // The asset itself never fails, whatever others report through it.
  EXPECT_EQ(asset->status(), kQNVAssetStatusReadyToPlay);
  asset->requestErrorNotificationIfNeeded();
  EXPECT_EQ(posted.failures.size(), 1U);
  EXPECT_FALSE(asset->containsTrack(kQNVAudioTrack));
  EXPECT_FALSE(asset->trackHasMoreFrames(kQNVAudioTrack));
}

class RecordingObserver final : public OVAdKeyValueObserver {
 public:
  void observeValueForKeyPath(const std::string& keyPath, OVAdKeyValueObservable*, const platform::Dictionary& change,
                              void*) override {
    changes.emplace_back(keyPath, change);
  }
  std::vector<std::pair<std::string, platform::Dictionary>> changes;
};

TEST(QNVLocalMp4AssetTest, ATimeLoadedRequestAnnouncesTheLoadedRanges) {
  auto asset = loadedAsset(clip("video_only.mp4"));
  auto observer = std::make_shared<RecordingObserver>();
  asset->addObserver(observer, kQNVLoadedTimeRangesKey, kOVAdKeyValueObservingOptionNew, nullptr);
  asset->requestTimeLoadedUpdate();
  ASSERT_EQ(observer->changes.size(), 1U);
  const platform::Value* ranges = observer->changes[0].second.find(kOVAdKeyValueChangeNewKey);
  ASSERT_NE(ranges, nullptr);
  ASSERT_EQ(ranges->asArray().size(), 1U);
  EXPECT_EQ(ranges->asArray()[0].find("start")->toDouble(), 0.0);
  EXPECT_NEAR(ranges->asArray()[0].find("duration")->toDouble(), asset->duration().seconds(), 1e-9);
}

TEST(QNVLocalMp4AssetTest, FrameMarksOfSamples) {
  const auto sample = [](std::optional<platform::Dictionary> attachments) {
    auto buffer = *platform::SampleBuffer::create(platform::BlockBuffer::withBytes({1, 2}), {}, 1, {}, {2});
    if (attachments) buffer.sampleAttachmentsArray(true)->front() = *attachments;
    return buffer;
  };
  struct Case {
    const char* name;
    std::optional<platform::Dictionary> attachments;
    bool is30MS;
    bool isKey;
  };
  const Case cases[] = {
      {"no attachments", std::nullopt, false, false},
      {"empty attachments", platform::Dictionary{}, true, true},
      {"depended on", platform::Dictionary{{kQNVSampleAttachmentIsDependedOnByOthers, true}}, false, true},
      {"key present but false", platform::Dictionary{{kQNVSampleAttachmentIsDependedOnByOthers, false}}, false, true},
      {"not sync", platform::Dictionary{{kQNVSampleAttachmentNotSync, true}}, true, false},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    auto buffer = sample(entry.attachments);
    EXPECT_EQ(QNVLocalMp4Asset::is30MSFrame(buffer), entry.is30MS);
    EXPECT_EQ(QNVLocalMp4Asset::isKeyFrame(buffer), entry.isKey);
  }
}

TEST(QNVLocalMp4AssetTest, DecodedOutputSize) {
  struct Case {
    platform::Size video, container, expected;
  };
  const Case cases[] = {
      {{1920, 1080}, {320, 480}, {854, 480}},  // wider than the container: height fits
      {{320, 180}, {640, 360}, {320, 180}},    // never scaled up
      {{1080, 1920}, {480, 320}, {480, 854}},  // taller: width fits
      {{100, 400}, {480, 320}, {100, 400}},    // taller but narrower already
      {{1280, 720}, {640, 360}, {640, 360}},   // same aspect
  };
  for (const Case& entry : cases) {
    EXPECT_EQ(QNVDecodedOutputSize(entry.video, entry.container), entry.expected)
        << entry.video.width << "x" << entry.video.height;
  }
}

TEST(QNVLocalMp4AssetTest, AudioPacketsMustLieInsideTheirBuffer) {
  struct Case {
    int64_t start;
    uint32_t size;
    uint64_t buffer;
    bool fits;
  };
  const Case cases[] = {
      {0, 10, 10, true},  {5, 5, 10, true},  {5, 6, 10, false},         {-1, 1, 10, false},
      {11, 0, 10, false}, {10, 0, 10, true}, {INT64_MAX, 2, 10, false}, {0, UINT32_MAX, 10, false},
  };
  for (const Case& entry : cases) {
    EXPECT_EQ(QNVAudioPacketFitsBuffer({entry.start, 0, entry.size}, entry.buffer), entry.fits)
        << entry.start << "+" << entry.size << " in " << entry.buffer;
  }
}

TEST(QNVLocalMp4AssetTest, DecodedOutputIsRefusedByTheFileReader) {
  auto asset = QNVLocalMp4Asset::initWithLocalURL(fileURL(clip("video_only.mp4")), false, true, {320, 480});
  asset->loadValuesAsynchronouslyForKeys({}, [] {});
  std::optional<platform::Error> error;
  EXPECT_EQ(asset->statusOfValueForKey("duration", &error), kQNVKeyValueStatusFailed);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), kQNVLocalMp4ReaderErrorDecodedOutputUnavailable);
  EXPECT_TRUE(asset->decompressedFramebuffer());
}

}  // namespace
}  // namespace plexora

namespace plexora {
namespace {

std::string commandOutput(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string output;
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  ::pclose(pipe);
  return output;
}

// A 120-frames-a-second clip; with `bFrames` its B-frames reference nothing.
std::string make120FpsClip(const testing::TempDir& dir, bool bFrames) {
  const std::string path = (dir / (bFrames ? "b120.mp4" : "p120.mp4")).string();
  const std::string codec = bFrames ? "-profile:v main -bf 2 -x264-params b-pyramid=none" : "-profile:v baseline";
  commandOutput(
      "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc=size=160x90:rate=120:duration=0.5 "
      "-c:v libx264 -pix_fmt yuv420p " +
      codec + " '" + path + "'");
  return path;
}

// ffprobe's file positions of the B-frames.
std::set<uint64_t> bFramePositions(const std::string& path) {
  std::set<uint64_t> positions;
  std::istringstream lines(
      commandOutput("ffprobe -v error -select_streams v:0 -show_entries frame=pkt_pos,pict_type "
                    "-of csv=p=0 '" +
                    path + "'"));
  std::string line;
  while (std::getline(lines, line)) {
    const auto comma = line.find(',');
    if (comma == std::string::npos) continue;
    if (line.substr(comma + 1).rfind('B', 0) == 0) positions.insert(std::stoull(line.substr(0, comma)));
  }
  return positions;
}

// Above 60 frames a second only the frames no other frame references are
// handed out, each with its own times.
TEST(QNVLocalMp4AssetTest, ClipsAbove60FramesASecondAreThinned) {
  testing::TempDir dir;
  const std::string withB = make120FpsClip(dir, true);
  const ParsedTrack parsed = parsedTrack(withB, "vide");
  ASSERT_EQ(parsed.frames.size(), 60U);
  const std::set<uint64_t> expected = bFramePositions(withB);
  ASSERT_FALSE(expected.empty());
  ASSERT_LT(expected.size(), parsed.frames.size());

  auto asset = loadedAsset(withB);
  std::set<uint64_t> delivered;
  for (const auto& frame : drainTrack(*asset, kQNVVideoTrack)) {
    const auto record = std::find_if(parsed.frames.begin(), parsed.frames.end(), [&](const QNVMp4FrameRecord& entry) {
      return trackTime(entry.dts, parsed.timescale) == frame.metadata.decodeTime;
    });
    ASSERT_NE(record, parsed.frames.end());
    EXPECT_EQ(frame.metadata.duration, trackTime(record->duration, parsed.timescale)) << "not lengthened";
    delivered.insert(record->offset);
  }
  EXPECT_EQ(delivered, expected);

  // Every frame a reference: nothing to show, and the track ends.
  auto allReferences = loadedAsset(make120FpsClip(dir, false));
  EXPECT_TRUE(drainTrack(*allReferences, kQNVVideoTrack).empty());
  EXPECT_FALSE(allReferences->trackHasMoreFrames(kQNVVideoTrack));
}

}  // namespace
}  // namespace plexora
