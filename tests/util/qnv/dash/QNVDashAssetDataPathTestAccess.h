// Reaches the DASH asset's data path for unit tests: bytes delivered straight
// into a track's byte store, the fetch and disk-cache decisions, and the
// frame stores and time base that frame delivery reads.
//
// Thread safety: the asset's queue, like the asset.
// Ownership: borrows the asset.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "util/qnv/dash/QNVDashAsset.h"

namespace plexora {

class QNVDashAssetDataPathTestAccess {
 public:
  explicit QNVDashAssetDataPathTestAccess(QNVDashAsset& asset) : asset_(asset) {}

  // Lays `bytes` into the track's byte store at `offset`, as a data loader
  // does, and reports them as arrived for the representation.
  void receive(QNVTrackIndex track, const std::string& representationId, std::vector<uint8_t> bytes, uint64_t offset,
               bool isComplete = false) {
    asset_.dataBlockDistributors_[QNVDashAsset::trackSlot(track)]->deliverData(
        std::make_shared<const std::vector<uint8_t>>(std::move(bytes)), offset);
    asset_.dataWasReceivedForTrack(track, representationId, isComplete, isComplete, false);
  }

  // A data loader's report alone, for bytes already delivered.
  void report(QNVTrackIndex track, const std::string& representationId, bool forDiskCache = false) {
    asset_.dataWasReceivedForTrack(track, representationId, false, false, forDiskCache);
  }

  bool shouldFetchDataForTrack(QNVTrackIndex track) { return asset_.shouldFetchDataForTrack(track); }
  bool isDiskCacheEnabled() const { return asset_.isDiskCacheEnabled(); }
  uint64_t diskCacheFetchLength(QNVTrackIndex track) const { return asset_.diskCacheFetchLength(track); }
  bool fullyDownloaded() const { return asset_.fullyDownloaded(); }

  QNVMp4FrameMetadataCompressor& frames(QNVTrackIndex track) { return *asset_.frames_[QNVDashAsset::trackSlot(track)]; }
  void setTimescale(QNVTrackIndex track, uint32_t timescale) {
    asset_.timescale_[QNVDashAsset::trackSlot(track)] = timescale;
  }
  void setInitialTime(uint64_t dts, uint64_t pts) {
    asset_.initialTime_ = dts;
    asset_.initialTimePts_ = pts;
    asset_.initialTimeSet_ = true;
  }
  bool hasFailed() const { return asset_.hasFailed_; }
  bool parsedHeadersForEachTrack() const { return asset_.parsedHeadersForEachTrack_; }

 private:
  QNVDashAsset& asset_;
};

}  // namespace plexora
