// The parser and frame source behind a progressive asset: it turns the
// downloaded bytes into headers and frames, and answers the asset's time,
// offset and seek questions.
//
// Thread safety: every call on the asset's queue, except parsedHeaders,
// which the asset's key status may read from another thread.
// Ownership: the asset owns its manager; the manager holds the asset weakly.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/foundation/Error.h"
#include "platform/media/MediaTime.h"
#include "util/qnv/asset/QNVDataBlockDistributor.h"
#include "util/qnv/asset/QNVMediaAsset.h"

namespace plexora {

// Where a seek resumes, and which loaders move where.
struct QNVSeekStatus {
  bool seekSucceeded = false;
  platform::MediaTime seekTime;
  bool seekVideo = false;
  bool seekAudio = false;
  bool shouldUpdateOffset = false;
  uint64_t videoOffset = 0;
  uint64_t audioOffset = 0;
};

class QNVAtomManagerDelegate {
 public:
  virtual ~QNVAtomManagerDelegate() = default;
  virtual void parsingDidFailWithError(const platform::Error& error) = 0;
  // A seek went backwards: the asset makes fresh distributors and starts
  // its download again.
  virtual void resetDataForSeekBack() = 0;
  virtual void reportWarning(const platform::Error& error) = 0;
};

class QNVAtomManager {
 public:
  virtual ~QNVAtomManager() = default;

  virtual void setDelegate(std::weak_ptr<QNVAtomManagerDelegate> delegate) = 0;
  // Parses what has arrived, once the header is whole.
  virtual void parseAtomForTrack(QNVTrackIndex track) = 0;
  virtual uint64_t moovAtomSize() const = 0;
  virtual platform::MediaTime currentVideoPts() = 0;
  virtual platform::MediaTime videoTrackDuration() const = 0;
  virtual bool parsedHeaders() const = 0;
  // The decode time of the last frame starting at or before the offset;
  // invalid before the track's first frame.
  virtual platform::MediaTime timeLoadedForOffset(uint64_t offset, QNVTrackIndex track) = 0;
  virtual bool offsetIsAtLeastLargestOffset(uint64_t offset, QNVTrackIndex track) const = 0;
  virtual std::shared_ptr<QNVDataBlockDistributor> dataBlockDistributorForTrack(QNVTrackIndex track) const = 0;
  virtual void createNewDataBlockDistributors() = 0;
  // The end of the frames due by the time, over both tracks.
  virtual uint64_t offsetForTimeInSeconds(float seconds, QNVTrackIndex track) = 0;
  virtual bool shouldResetAssetToBeginning() const = 0;
  virtual QNVSeekStatus seekToPosition(const platform::MediaTime& time) = 0;
  virtual bool trackHasMoreFrames(QNVTrackIndex track, bool isFullyDownloaded) const = 0;
  virtual bool containsAudio() const = 0;
  virtual std::shared_ptr<const platform::VideoFormatDescription> formatDesc() const = 0;
  virtual platform::AudioStreamBasicDescription asbd() const = 0;
  virtual platform::Dictionary audioStreamExtraParameters() const = 0;
  virtual platform::MediaTime duration() const = 0;
  virtual QNVFrameMetadata currentFrameMetadataForTrack(QNVTrackIndex track) = 0;
  virtual const uint8_t* currentFrameDataForTrack(QNVTrackIndex track) = 0;
  virtual void advanceFrameForTrack(QNVTrackIndex track) = 0;
  virtual platform::MediaTime nextAbsoluteAudioTime() const = 0;
  virtual uint32_t timescale() const = 0;
  virtual uint64_t currentOffsetForTrack(QNVTrackIndex track) = 0;

  // While the header is not parsed: the file offset of the box the parser
  // waits at, and the end of the bytes it needs next (the whole header once
  // its size is known, else the waiting box's header).
  virtual uint64_t headerSearchOffset() const = 0;
  virtual uint64_t headerBytesNeededEnd() const = 0;
  // Once parsed: the offset of the first frame of either track.
  virtual uint64_t firstFrameOffset() = 0;
};

}  // namespace plexora
