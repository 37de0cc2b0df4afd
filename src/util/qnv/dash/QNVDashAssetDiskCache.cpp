// Disk cache policy of a DASH asset: whether an on-demand fragmented stream
// may download ahead into the fetcher's disk cache on this network, when
// such a download starts and stops, and how far it reaches.
#include "util/qnv/core/QNVSoftAssertion.h"
#include "util/qnv/dash/QNVDashAsset.h"

namespace plexora {

namespace {

// Connection quality classes, as the bandwidth provider numbers them.
constexpr int64_t kQualityExcellent = 4;
// Bits to bytes.
constexpr float kBytesPerBit = 0.125F;

// The mask bit of a connection quality: excellent 1, good 2, moderate 4,
// poor 8, unknown 16; none for a quality outside the classes, so that a
// provider's out-of-range answer never matches a mask.
int64_t qualityBit(int64_t quality) {
  if (quality < 0 || quality > kQualityExcellent) return 0;
  return int64_t{1} << (kQualityExcellent - quality);
}

}  // namespace

bool QNVDashAsset::isDiskCacheEnabled() const {
  if (!playlistData_->isFragmented()) return false;
  if (enableDiskCacheForOvCdnOnly_ && !playlistData_->isFragmentedUrlOnOvCdn()) return false;
  return isDiskCacheEnabledForCurrentReachabilityState() && isDiskCacheEnabledForCurrentConnectionQuality();
}

bool QNVDashAsset::isDiskCacheEnabledForCurrentReachabilityState() const {
  const int64_t state = bandwidthProvider_ ? bandwidthProvider_->currentReachabilityState() : 0;
  if (state == kQNVReachabilityWiFi) return enableWifiVODDiskCache_;
  if (state == kQNVReachabilityCellular) return enableCellVODDiskCache_;
  return enableWifiVODDiskCache_ && enableCellVODDiskCache_;
}

bool QNVDashAsset::isDiskCacheEnabledForCurrentConnectionQuality() const {
  if (!bandwidthProvider_) return false;
  const int64_t quality = bandwidthProvider_->downloadBandwidthQuality();
  const int64_t mask = bandwidthProvider_->currentReachabilityState() == kQNVReachabilityWiFi
                           ? dashVodDiskCacheWifiNetworkConditionMask_
                           : dashVodDiskCacheCellNetworkConditionMask_;
  if (mask == 0) return true;
  return (mask & qualityBit(quality)) != 0;
}

bool QNVDashAsset::shouldStartDiskCache(QNVTrackIndex track) {
  const size_t slot = trackSlot(track);
  if (!isDiskCacheEnabled() || !parsedHeadersForAnyRepresentation_[slot]) return false;
  QNV_SOFT_ASSERT(playlistData_->isFragmented(), "%s", "Disk cache only for fragmented");
  const auto loader = dataLoaderForTrack(track);
  if (!loader) return false;
  const float ahead = loader->approxDiskCachedSecondsBasedOnBitrate() - loader->approxInMemoryFetchedSecondsBasedOnBitrate();
  const bool wifi = bandwidthProvider_->currentReachabilityState() == kQNVReachabilityWiFi;
  const float restart = wifi ? wifiDiskCacheRestartBufferSizeInSec_ : cellDiskCacheRestartBufferSizeInSec_;
  if (restart < ahead) return false;
  if (loader->diskCacheFetchInProgress()) return false;
  if (loader->diskCachePercentage() == 1.0F) return false;
  return pauseReason_ == 0;
}

bool QNVDashAsset::shouldCancelDiskCache(QNVTrackIndex track) {
  const auto loader = dataLoaderForTrack(track);
  if (!loader) return false;
  const float ahead = loader->approxDiskCachedSecondsBasedOnBitrate() - loader->approxInMemoryFetchedSecondsBasedOnBitrate();
  const bool wifi = bandwidthProvider_ && bandwidthProvider_->currentReachabilityState() == kQNVReachabilityWiFi;
  return ahead >= (wifi ? wifiDiskCacheStopBufferSizeInSec_ : cellDiskCacheStopBufferSizeInSec_);
}

uint64_t QNVDashAsset::diskCacheFetchLength(QNVTrackIndex track) const {
  const std::optional<std::string> id = representationId();
  const auto bitrate = static_cast<float>(id ? playlistData_->bitrateForRepresentation(*id, track) : 0);
  const bool wifi = bandwidthProvider_ && bandwidthProvider_->currentReachabilityState() == kQNVReachabilityWiFi;
  const float stop = wifi ? wifiDiskCacheStopBufferSizeInSec_ : cellDiskCacheStopBufferSizeInSec_;
  const float bytes = bitrate * (dashVodDiskCacheSafeMultiplier_ * stop) * kBytesPerBit;
  return bytes > 0.0F ? static_cast<uint64_t>(bytes) : 0;
}

uint64_t QNVDashAsset::nextDiskCacheOffset(QNVTrackIndex track) {
  const uint64_t length = diskCacheFetchLength(track);
  if (length == 0) return 0;
  const auto loader = dataLoaderForTrack(track);
  return loader ? loader->fetchedOffset() + length : 0;
}

}  // namespace plexora
