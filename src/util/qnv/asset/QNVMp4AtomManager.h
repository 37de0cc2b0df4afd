// The atom manager of a progressive MP4 file: it parses the movie header
// with the MP4 parser as soon as enough of it has arrived (from byte 0 on
// every attempt), builds the video format description and the AAC stream
// description, fills one frame store per track with every frame of the file,
// and serves frames from the data block distributor, moving one head per
// track. Failures reach the delegate once, as errors of the domain
// "QNVAssetLoadingError": 555 (the header cannot be compacted or the video
// format is refused), 556 (the header cannot be parsed), 558 (no video
// track).
//
// Thread safety: every call on the asset's queue; parsedHeaders may be read
// from any thread.
// Ownership: held by the asset through std::shared_ptr; owns its frame
// stores and its distributor, holds the delegate weakly.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "util/qnv/asset/QNVAtomManager.h"
#include "util/qnv/mp4/QNVMp4SampleTables.h"
#include "util/qnv/mp4/QNVVodMp4FrameMetadataCompressor.h"

namespace plexora {

inline constexpr const char* kQNVAssetLoadingError = "QNVAssetLoadingError";
enum : int64_t {
  kQNVAssetLoadingErrorCompactionFailed = 555,
  kQNVAssetLoadingErrorParseFailed = 556,
  kQNVAssetLoadingErrorDownloadFailed = 557,
  kQNVAssetLoadingErrorNoVideoTrack = 558,
};

class QNVMp4AtomManager final : public QNVAtomManager {
 public:
  // `moovAtomSize` 0 when the caller does not know the header's size.
  explicit QNVMp4AtomManager(uint64_t moovAtomSize);

  std::string description() const;

  void setDelegate(std::weak_ptr<QNVAtomManagerDelegate> delegate) override;
  void parseAtomForTrack(QNVTrackIndex track) override;
  uint64_t moovAtomSize() const override { return moovAtomSize_; }
  platform::MediaTime currentVideoPts() override;
  platform::MediaTime videoTrackDuration() const override;
  bool parsedHeaders() const override { return parsedHeader_.load(std::memory_order_seq_cst); }
  platform::MediaTime timeLoadedForOffset(uint64_t offset, QNVTrackIndex track) override;
  bool offsetIsAtLeastLargestOffset(uint64_t offset, QNVTrackIndex track) const override;
  std::shared_ptr<QNVDataBlockDistributor> dataBlockDistributorForTrack(QNVTrackIndex) const override {
    return dataBlockDistributor_;
  }
  void createNewDataBlockDistributors() override;
  uint64_t offsetForTimeInSeconds(float seconds, QNVTrackIndex track) override;
  bool shouldResetAssetToBeginning() const override;
  QNVSeekStatus seekToPosition(const platform::MediaTime& time) override;
  bool trackHasMoreFrames(QNVTrackIndex track, bool isFullyDownloaded) const override;
  bool containsAudio() const override { return trackId_[kQNVAudioTrack] >= 0; }
  std::shared_ptr<const platform::VideoFormatDescription> formatDesc() const override { return formatDesc_; }
  platform::AudioStreamBasicDescription asbd() const override { return asbd_; }
  platform::Dictionary audioStreamExtraParameters() const override { return audioStreamExtraParameters_; }
  platform::MediaTime duration() const override { return duration_; }
  QNVFrameMetadata currentFrameMetadataForTrack(QNVTrackIndex track) override;
  const uint8_t* currentFrameDataForTrack(QNVTrackIndex track) override;
  void advanceFrameForTrack(QNVTrackIndex track) override;
  platform::MediaTime nextAbsoluteAudioTime() const override { return platform::MediaTime::invalid(); }
  uint32_t timescale() const override { return timescale_[kQNVVideoTrack]; }
  uint64_t currentOffsetForTrack(QNVTrackIndex track) override;
  uint64_t headerSearchOffset() const override { return headerSearchOffset_; }
  uint64_t headerBytesNeededEnd() const override;
  uint64_t firstFrameOffset() override;

  // The frame store of a track (0 or 1).
  QNVVodMp4FrameMetadataCompressor& framesForTrack(QNVTrackIndex track) { return frames_[track == 1 ? 1 : 0]; }

 private:
  void fail(int64_t code);
  // Steps after the header is parsed: tracks, formats and frames. False on
  // failure, already reported.
  bool extractFrames(const QNVMP4MoovAtom& moov);
  static bool isTrack(QNVTrackIndex track) { return track == kQNVVideoTrack || track == kQNVAudioTrack; }
  // The end (offset + size) of the sample due at `seconds` in one track.
  uint64_t endOfSampleAt(double seconds, QNVTrackIndex track);
  static uint64_t currentOrLargestOffset(QNVVodMp4FrameMetadataCompressor& store);

  std::weak_ptr<QNVAtomManagerDelegate> delegate_;
  std::shared_ptr<QNVDataBlockDistributor> dataBlockDistributor_;
  QNVMP4MoovAtomCompressed moovAtom_;
  std::array<QNVVodMp4FrameMetadataCompressor, 2> frames_;
  uint64_t moovAtomSize_;
  bool moovAtomParsed_ = false;
  bool failed_ = false;
  std::atomic<bool> parsedHeader_{false};
  platform::MediaTime duration_ = platform::MediaTime::zero();
  std::shared_ptr<const platform::VideoFormatDescription> formatDesc_;
  platform::AudioStreamBasicDescription asbd_;
  platform::Dictionary audioStreamExtraParameters_;
  std::array<int32_t, 2> trackId_{-1, -1};
  std::array<uint32_t, 2> timescale_{};
  uint64_t headerSearchOffset_ = 0;
};

}  // namespace plexora
