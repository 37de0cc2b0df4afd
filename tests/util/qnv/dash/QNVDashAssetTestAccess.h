// Reaches the DASH asset's internal decisions and state for unit tests, and
// builds the small states they start from: a playlist with its kind and
// representations, a representation whose headers and segment index are
// parsed, video frames with their keyframes.
//
// Thread safety: the asset's queue, like the asset.
// Ownership: borrows the asset.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "util/qnv/dash/QNVDashAsset.h"

namespace plexora {

class QNVDashAssetTestAccess {
 public:
  explicit QNVDashAssetTestAccess(QNVDashAsset& asset) : asset_(asset) {}

  // ---- Configuration read-outs.
  bool hadInlineManifest() const { return asset_.hadInlineManifest_; }
  bool dryNotificationsOn() const { return asset_.shouldShowBroadcasterInterruptedMessage_; }
  float wifiDiskCacheStopBufferSizeInSec() const { return asset_.wifiDiskCacheStopBufferSizeInSec_; }
  float cellDiskCacheRestartBufferSizeInSec() const { return asset_.cellDiskCacheRestartBufferSizeInSec_; }
  float dashVodDiskCacheSafeMultiplier() const { return asset_.dashVodDiskCacheSafeMultiplier_; }
  int32_t pauseReason() const { return asset_.pauseReason_; }

  // ---- State.
  void setParsedHeadersForEachTrack(bool parsed) { asset_.parsedHeadersForEachTrack_ = parsed; }
  void setPlaybackRepresentation(std::optional<std::string> id) { asset_.playbackRepIds_[0] = std::move(id); }
  void setFetchingRepresentation(QNVTrackIndex track, std::optional<std::string> id) {
    asset_.fetchingRepIds_[QNVDashAsset::trackSlot(track)] = std::move(id);
  }
  void setTimescale(QNVTrackIndex track, uint32_t timescale) {
    asset_.timescale_[QNVDashAsset::trackSlot(track)] = timescale;
  }
  void setInitialTime(uint64_t dts, uint64_t pts) {
    asset_.initialTime_ = dts;
    asset_.initialTimePts_ = pts;
    asset_.initialTimeSet_ = true;
  }
  QNVMp4FrameMetadataCompressor& frames(QNVTrackIndex track) { return *asset_.frames_[QNVDashAsset::trackSlot(track)]; }
  void addKeyframe(int32_t index, std::string representationId) {
    asset_.gopKeyframeMetadata_.push_back({index, std::move(representationId)});
  }
  size_t keyframeCount() const { return asset_.gopKeyframeMetadata_.size(); }
  OVAssetLinearReader& reader(QNVTrackIndex track) { return *asset_.readers_[QNVDashAsset::trackSlot(track)]; }
  // A video representation (an audio one for track 1) whose headers and
  // segment index are parsed: segments of `size` bytes, each `duration`
  // track units long, the first at `firstOffset`.
  std::shared_ptr<QNVDashRepresentationSpecificData> addParsedRepresentation(QNVTrackIndex track, const std::string& id,
                                                                             size_t segments, uint32_t size,
                                                                             uint64_t duration,
                                                                             uint64_t firstOffset = 1000) {
    auto data = std::make_shared<QNVDashRepresentationSpecificData>(id);
    data->parsedMoovAtom = true;
    data->parsedHeaders = true;
    QNVMP4SidxAtom& sidx = data->atomProvider()->sidxAtom;
    for (size_t index = 0; index < segments; ++index) {
      sidx.segments.push_back({firstOffset + index * size, index * duration, size});
    }
    if (track == kQNVAudioTrack) {
      asset_.audioRepData_ = data;
    } else {
      asset_.videoRepDatas_[id] = data;
    }
    asset_.parsedHeadersForAnyRepresentation_[QNVDashAsset::trackSlot(track)] = true;
    return data;
  }

  // ---- Decisions.
  void selectRepresentationForTrack(QNVTrackIndex track) { asset_.selectRepresentationForTrack(track); }
  bool previousRequestFinishedAtBoundary(QNVTrackIndex track) {
    return asset_.previousFragmentedRequestFinishedAtBoundaryForTrack(track);
  }
  QNVSeekStatus segmentedVodSeek(const platform::MediaTime& time) { return asset_.segmentedVodSeekToPosition(time); }
  bool liveSeek() { return asset_.liveSeekToNextKeyFrame(); }
  void sendDryNotification() { asset_.sendDryNotificationIfApplicable(); }
  void sendUndryNotification() { asset_.sendUndryNotificationIfApplicable(); }

 private:
  QNVDashAsset& asset_;
};

}  // namespace plexora
