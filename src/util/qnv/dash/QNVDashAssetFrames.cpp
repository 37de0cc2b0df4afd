// Frame delivery of a DASH asset: the playlist model applied, the current
// frame of each track with its bytes and its times on the stream's time
// base, the formats, the loaded time at an offset, and the inspection
// accessors.
#include <memory>

#include "util/OVAdLogger.h"
#include "util/qnv/dash/QNVDashAsset.h"
#include "util/qnv/mp4/QNVLiveMp4FrameMetadataCompressor.h"

namespace plexora {

namespace {

// Wide enough for a decode time times a timescale.
__extension__ typedef unsigned __int128 WideUnsigned;

constexpr const char* kPlaylistNotSet = "Playlist data accessed before being set";
constexpr const char* kSwitchingToLive = "%s Switching to QNVLiveMp4FrameMetadataCompressor";
constexpr const char* kBeforeInitialTime = "PTS/DTS always expected to exceed initialTime. Track:%d";
constexpr const char* kNoKeyframeRepresentation = "No representation for given keyframe";
constexpr const char* kSwitchingPlayback = "%s Switching playback quality from %s to %s";
constexpr const char* kVideoBeforeInitialTime = "video.DTS < initialTime";
constexpr const char* kFormatNotReady = "%s formatDesc accessed before ready";
constexpr const char* kTestMethod = "Test method called outside of testing";

platform::MediaTime trackTime(uint64_t value, uint32_t timescale) {
  return platform::MediaTime::make(static_cast<int64_t>(value), static_cast<int32_t>(timescale));
}

}  // namespace

void QNVDashAsset::setDashPlaylistData(const std::shared_ptr<QNVDashPlaylistData>& playlistData) {
  const bool first = !playlistWasParsed_ && playlistData->isParsed;
  if (playlistData->isParsed) playlistWasParsed_ = true;
  playlistData_ = playlistData;
  if (duration_.value == 0 && playlistData_->isParsed && !playlistData_->isLive()) {
    const auto& video = playlistData_->timelineEntries(kQNVVideoTrack);
    if (!video.empty() && video.front() && video.back()) {
      duration_ = platform::subtract(video.back()->range().end(), video.front()->range().start);
    } else {
      duration_ = playlistData_->playlistDuration;
    }
  }
  if (first && playlistData_->isLive()) {
    OV_LOG(kOVAdLogLevelVerbose, kSwitchingToLive, description().c_str());
    for (auto& store : frames_) store = std::make_unique<QNVLiveMp4FrameMetadataCompressor>();
  }
}

bool QNVDashAsset::containsAudio() const {
  if (!playlistData_->isParsed) OV_LOG(kOVAdLogLevelWarn, "%s", kPlaylistNotSet);
  return playlistData_->containsAudioTrack && !audioIsUndecodable_;
}

uint64_t QNVDashAsset::initialTimeForTrack(QNVTrackIndex track) const {
  if (trackSlot(track) == 0 || timescale_[0] == 0 || timescale_[1] == 0 || timescale_[0] == timescale_[1]) {
    return initialTime_;
  }
  return static_cast<uint64_t>(static_cast<WideUnsigned>(initialTime_) * timescale_[1] / timescale_[0]);
}

uint64_t QNVDashAsset::initialTimePtsForTrack(QNVTrackIndex track) const {
  if (trackSlot(track) == 0 || timescale_[0] == 0 || timescale_[1] == 0 || timescale_[0] == timescale_[1]) {
    return initialTimePts_;
  }
  return static_cast<uint64_t>(static_cast<WideUnsigned>(initialTimePts_) * timescale_[1] / timescale_[0]);
}

QNVFrameMetadata QNVDashAsset::currentFrameMetadataForTrack(QNVTrackIndex track) {
  const size_t slot = trackSlot(track);
  QNVMp4FrameMetadataCompressor& store = *frames_[slot];
  if (!initialTimeSet_) return {};
  const uint64_t dtsBase = initialTimeForTrack(track);
  // Audio is shown on its decode timeline; video on its presentation one.
  const uint64_t ptsBase = slot == 0 ? initialTimePtsForTrack(track) : dtsBase;
  // A frame from before the stream's start is never shown: it is passed
  // over, or the track would wait on it for good.
  while (!store.isAtEnd()) {
    const QNVMp4FrameRecord frame = store.currentFrame();
    if (frame.pts >= ptsBase && frame.dts >= dtsBase) break;
    OV_LOG(kOVAdLogLevelWarn, kBeforeInitialTime, static_cast<int>(track));
    store.Next();
  }
  if (store.isAtEnd()) return {};
  const QNVMp4FrameRecord frame = store.currentFrame();

  if (slot == 0 && isCurrentFrameAKeyframe() && !gopKeyframeMetadata_.empty()) {
    const QNVDashKeyframeMetadata& keyframe = gopKeyframeMetadata_.front();
    if (keyframe.representationId.empty()) OV_LOG(kOVAdLogLevelWarn, "%s", kNoKeyframeRepresentation);
    const std::optional<std::string> old = playbackRepIds_[0];
    playbackRepIds_[0] = keyframe.representationId;
    if (!keyframe.representationId.empty() && old != keyframe.representationId) {
      OV_LOG(kOVAdLogLevelDebug, kSwitchingPlayback, description().c_str(),
             qualityLabelForRepresentation(old).value_or("").c_str(),
             qualityLabelForRepresentation(keyframe.representationId).value_or("").c_str());
    }
  }

  QNVFrameMetadata metadata;
  metadata.flags = slot == 0 && embedFrameInfo_ && isCurrentFrameAKeyframe() ? 1 : 0;
  metadata.size = frame.size;
  const uint32_t timescale = timescale_[slot];
  metadata.decodeTime = trackTime(frame.dts - dtsBase, timescale);
  metadata.presentationTime = trackTime(frame.pts - ptsBase, timescale);
  metadata.duration = trackTime(frame.duration, timescale);
  return metadata;
}

const uint8_t* QNVDashAsset::currentFrameDataForTrack(QNVTrackIndex track) {
  const size_t slot = trackSlot(track);
  QNVMp4FrameMetadataCompressor& store = *frames_[slot];
  if (store.isAtEnd()) return nullptr;
  const QNVMp4FrameRecord frame = store.currentFrame();
  if (frame.size == 0) return nullptr;
  const size_t head = slot == 0 ? kQNVDataBlockHeadVideo : kQNVDataBlockHeadAudio;
  dataBlockDistributors_[slot]->moveHeadTo(frame.offset, head);
  return dataBlockDistributors_[slot]->bytesAtHead(frame.size, head);
}

void QNVDashAsset::advanceFrameForTrack(QNVTrackIndex track) { frames_[trackSlot(track)]->Next(); }

platform::MediaTime QNVDashAsset::timeLoadedForOffset(uint64_t offset, QNVTrackIndex track) {
  const size_t slot = trackSlot(track);
  QNVMp4FrameMetadataCompressor& store = *frames_[slot];
  if (store.frameCount() > 0 && store.firstFrame().offset <= offset) {
    const QNVMp4FrameRecord frame = store.frameForOffset(offset);
    if (frame.size != 0) {
      const uint64_t base = initialTimeForTrack(track);
      if (frame.dts >= base) return trackTime(frame.dts - base, timescale_[slot]);
      if (slot == 0) OV_LOG(kOVAdLogLevelWarn, "%s", kVideoBeforeInitialTime);
    }
  }
  return platform::MediaTime::invalid();
}

platform::MediaTime QNVDashAsset::currentVideoPts() {
  QNVMp4FrameMetadataCompressor& store = *frames_[0];
  if (store.frameCount() == 0) return trackTime(0, timescale_[0]);
  const QNVMp4FrameRecord frame = store.isAtEnd() ? store.lastFrame() : store.currentFrame();
  return trackTime(frame.pts, timescale_[0]);
}

platform::MediaTime QNVDashAsset::nextAbsoluteAudioTime() {
  QNVMp4FrameMetadataCompressor& store = *frames_[1];
  if (!containsAudio() || store.frameCount() == 0) return platform::MediaTime::invalid();
  const QNVMp4FrameRecord frame = store.isAtEnd() ? store.lastFrame() : store.currentFrame();
  return trackTime(frame.dts, timescale_[1]);
}

std::shared_ptr<const platform::VideoFormatDescription> QNVDashAsset::formatDesc() const {
  const std::optional<std::string>& id = playbackRepIds_[0] ? playbackRepIds_[0] : fetchingRepIds_[0];
  if (!id) {
    OV_LOG(kOVAdLogLevelDebug, kFormatNotReady, description().c_str());
    return nullptr;
  }
  const auto data = existingDataForRep(id, kQNVVideoTrack);
  return data ? data->formatDesc : nullptr;
}

platform::AudioStreamBasicDescription QNVDashAsset::asbd() const { return asbd_.value_or(platform::AudioStreamBasicDescription{}); }

std::vector<platform::MediaTimeRange> QNVDashAsset::loadedTimeRanges() const {
  return bufferSizeDecider_.loadedTimeRanges();
}

double QNVDashAsset::assetCurrentBitRate() const {
  const std::optional<std::string> id = representationId();
  return id ? static_cast<double>(playlistData_->bitrateForRepresentation(*id, kQNVVideoTrack)) : 0.0;
}

uint64_t QNVDashAsset::currentOffsetForTrack(QNVTrackIndex track) {
  if (track > kQNVAudioTrack) return 0;
  QNVMp4FrameMetadataCompressor& store = *frames_[trackSlot(track)];
  return store.isAtEnd() ? 0 : store.currentFrame().offset;
}

void QNVDashAsset::forTestingMakeSynchronous() {
  async_ = false;
  dispatchQueue_ = platform::DispatchQueue::main();
}

std::shared_ptr<QNVDashDataLoader> QNVDashAsset::dataLoaderForTrack(QNVTrackIndex track) {
  const auto& id = fetchingRepIds_[trackSlot(track)];
  if (!id) return nullptr;
  return dataForRep(id, track)->dataLoader;
}

std::shared_ptr<QNVDashDataLoader> QNVDashAsset::dataLoaderForTrack(QNVTrackIndex track,
                                                                     const std::string& representationId) {
  return dataForRep(representationId, track)->dataLoader;
}

bool QNVDashAsset::parsedHeadersForTrack(QNVTrackIndex track, const std::string& representationId) {
  return dataForRep(representationId, track)->parsedHeaders;
}

uint64_t QNVDashAsset::sidxOffsetForSegmentIndex(size_t index, QNVTrackIndex track,
                                                 const std::string& representationId) {
  const auto& segments = dataForRep(representationId, track)->atomProvider()->sidxAtom.segments;
  return index < segments.size() ? segments[index].offset : 0;
}

uint64_t QNVDashAsset::sidxEndOffsetForTrack(QNVTrackIndex track, const std::string& representationId) {
  const auto& segments = dataForRep(representationId, track)->atomProvider()->sidxAtom.segments;
  return segments.empty() ? 0 : segments.back().offset + segments.back().size;
}

const std::shared_ptr<QNVDataBlockDistributor>& QNVDashAsset::dataBlockDistributorForTrack(QNVTrackIndex track) const {
  OV_LOG(kOVAdLogLevelWarn, "%s", kTestMethod);
  return dataBlockDistributors_[trackSlot(track)];
}

}  // namespace plexora
