// The engine's record of tuning parameters for buffering, DASH playback,
// disk caching, bitrate selection and decoding. No configuration source
// fills it yet, so every parameter keeps its zero default.
//
// Thread safety: immutable once made; share it freely.
#pragma once

#include <cstdint>
#include <memory>

namespace plexora {

class QNVExperimentContext final {
 public:
  // The session is accepted for the callers' sake and not read.
  static std::shared_ptr<const QNVExperimentContext> contextWithSession(const std::shared_ptr<const void>& session) {
    static_cast<void>(session);
    return std::shared_ptr<const QNVExperimentContext>(new QNVExperimentContext());
  }

  // Always none: nothing supplies a configuration source.
  std::shared_ptr<const void> configurationSource() const { return configurationSource_; }

  double fetchBufferSizeInSeconds() const { return fetchBufferSizeInSeconds_; }
  double unstallBufferSizeInSeconds() const { return unstallBufferSizeInSeconds_; }
  double stallBufferSizeInSeconds() const { return stallBufferSizeInSeconds_; }
  double firstFetchSizeInSeconds() const { return firstFetchSizeInSeconds_; }
  double firstUnstallBufferSizeInSeconds() const { return firstUnstallBufferSizeInSeconds_; }
  double fetchBufferMultiplier() const { return fetchBufferMultiplier_; }
  double unstallBufferMultiplier() const { return unstallBufferMultiplier_; }
  double bufferDeciderNetworkFraction() const { return bufferDeciderNetworkFraction_; }
  double dashLiveFetchBufferSizeInSeconds() const { return dashLiveFetchBufferSizeInSeconds_; }
  double dashLiveUnstallBufferSizeInSeconds() const { return dashLiveUnstallBufferSizeInSeconds_; }
  double dashLiveStallBufferSizeInSeconds() const { return dashLiveStallBufferSizeInSeconds_; }
  double dashLiveFirstFetchSizeInSeconds() const { return dashLiveFirstFetchSizeInSeconds_; }
  double dashLiveFetchBufferMultiplier() const { return dashLiveFetchBufferMultiplier_; }
  double dashLiveUnstallBufferMultiplier() const { return dashLiveUnstallBufferMultiplier_; }
  double expectedPlayTimeAfterStall() const { return expectedPlayTimeAfterStall_; }
  double dashLiveUnstallBufferSizeExcellent() const { return dashLiveUnstallBufferSizeExcellent_; }
  double dashLiveUnstallBufferSizeGood() const { return dashLiveUnstallBufferSizeGood_; }
  double dashLiveUnstallBufferSizeModerate() const { return dashLiveUnstallBufferSizeModerate_; }
  double dashLiveUnstallBufferSizePoor() const { return dashLiveUnstallBufferSizePoor_; }
  double dashLiveUnstallBufferSizeUnknown() const { return dashLiveUnstallBufferSizeUnknown_; }
  double dashVODUnstallBufferSizeExcellent() const { return dashVODUnstallBufferSizeExcellent_; }
  double dashVODUnstallBufferSizeGood() const { return dashVODUnstallBufferSizeGood_; }
  double dashVODUnstallBufferSizeModerate() const { return dashVODUnstallBufferSizeModerate_; }
  double dashVODUnstallBufferSizePoor() const { return dashVODUnstallBufferSizePoor_; }
  double dashVODUnstallBufferSizeUnknown() const { return dashVODUnstallBufferSizeUnknown_; }
  double dashVodFetchBufferSizeInSeconds() const { return dashVodFetchBufferSizeInSeconds_; }
  double dashVodUnstallBufferSizeInSeconds() const { return dashVodUnstallBufferSizeInSeconds_; }
  double dashVodStallBufferSizeInSeconds() const { return dashVodStallBufferSizeInSeconds_; }
  double dashVodFirstFetchSizeInSeconds() const { return dashVodFirstFetchSizeInSeconds_; }
  double dashVodFetchBufferMultiplier() const { return dashVodFetchBufferMultiplier_; }
  double dashVodUnstallBufferMultiplier() const { return dashVodUnstallBufferMultiplier_; }
  double dashVodDiskCacheSafeMultiplier() const { return dashVodDiskCacheSafeMultiplier_; }
  double dashVodDiskCacheAbrThreshold() const { return dashVodDiskCacheAbrThreshold_; }
  double abrSelectorBandwidthFraction() const { return abrSelectorBandwidthFraction_; }
  uint64_t videoNetworkerInMemoryCacheInBytes() const { return videoNetworkerInMemoryCacheInBytes_; }
  uint64_t videoNetworkerPrefetchInMemoryCacheInBytes() const { return videoNetworkerPrefetchInMemoryCacheInBytes_; }
  uint32_t videoPrefetchMaxByteSize() const { return videoPrefetchMaxByteSize_; }
  uint32_t dashLiveSegmentsToPrefetch() const { return dashLiveSegmentsToPrefetch_; }
  uint32_t dashNotificationDelayBeforeIgnore() const { return dashNotificationDelayBeforeIgnore_; }
  uint32_t dashLiveSegmentsFromEndToStart() const { return dashLiveSegmentsFromEndToStart_; }
  uint32_t abrSelectorType() const { return abrSelectorType_; }
  bool filterByIndex() const { return filterByIndex_; }
  bool dashLivePrefetchEnabled() const { return dashLivePrefetchEnabled_; }
  bool dashLivePrefetchEnabledOnVelmo() const { return dashLivePrefetchEnabledOnVelmo_; }
  bool vodDashPrefetchEnabled() const { return vodDashPrefetchEnabled_; }
  bool enableLiveDynamicUnstallBufferSize() const { return enableLiveDynamicUnstallBufferSize_; }
  bool enableVODDynamicUnstallBufferSize() const { return enableVODDynamicUnstallBufferSize_; }
  bool dashVodEnableDiskCacheWifi() const { return dashVodEnableDiskCacheWifi_; }
  bool dashVodEnableDiskCacheCell() const { return dashVodEnableDiskCacheCell_; }
  bool dashVodDiskCacheOVCdnOnly() const { return dashVodDiskCacheOVCdnOnly_; }
  bool dashShouldUpdateLoadedTimeEarlier() const { return dashShouldUpdateLoadedTimeEarlier_; }
  bool abrFilterSizeScreen() const { return abrFilterSizeScreen_; }
  bool dashLiveUsePtsForInitialTime() const { return dashLiveUsePtsForInitialTime_; }
  bool enableVodMidstreamSwitch() const { return enableVodMidstreamSwitch_; }
  bool enableLiveMidstreamSwitch() const { return enableLiveMidstreamSwitch_; }
  bool logRepresentationEnded() const { return logRepresentationEnded_; }
  bool enableVP9() const { return enableVP9_; }
  bool localFileEnabled() const { return localFileEnabled_; }
  bool isBufferDecompressed() const { return isBufferDecompressed_; }
  bool is360Enabled() const { return is360Enabled_; }
  bool seamlessLoopEnabled() const { return seamlessLoopEnabled_; }
  bool scaleRemoteAssets() const { return scaleRemoteAssets_; }
  bool shouldCheckAllHeadersParsedAtDownloadComplete() const { return shouldCheckAllHeadersParsedAtDownloadComplete_; }
  bool shouldFailOnFailedMoofParse() const { return shouldFailOnFailedMoofParse_; }
  bool shouldFailOnUnparsedMoofs() const { return shouldFailOnUnparsedMoofs_; }
  int64_t dashVodDiskCacheWifiNetworkConditionMask() const { return dashVodDiskCacheWifiNetworkConditionMask_; }
  int64_t dashVodDiskCacheCellNetworkConditionMask() const { return dashVodDiskCacheCellNetworkConditionMask_; }
  int64_t dashVodDiskCacheWifiMaxSize() const { return dashVodDiskCacheWifiMaxSize_; }
  int64_t dashVodDiskCacheCellMaxSize() const { return dashVodDiskCacheCellMaxSize_; }
  int64_t dashVodDiskCacheWifiRestartSize() const { return dashVodDiskCacheWifiRestartSize_; }
  int64_t dashVodDiskCacheCellRestartSize() const { return dashVodDiskCacheCellRestartSize_; }
  int32_t dashLiveStaleMpdUpdatesThreshold() const { return dashLiveStaleMpdUpdatesThreshold_; }
  int32_t dashLivePushInitialSegmentCount() const { return dashLivePushInitialSegmentCount_; }
  int32_t dashLivePushContinuousSegmentCount() const { return dashLivePushContinuousSegmentCount_; }
  int32_t dashLiveMinutesToPadAvailabilityEndTime() const { return dashLiveMinutesToPadAvailabilityEndTime_; }
  int32_t decompressedBufferSize() const { return decompressedBufferSize_; }

 private:
  QNVExperimentContext() = default;

  std::shared_ptr<const void> configurationSource_;
  double fetchBufferSizeInSeconds_ = 0.0;
  double unstallBufferSizeInSeconds_ = 0.0;
  double stallBufferSizeInSeconds_ = 0.0;
  double firstFetchSizeInSeconds_ = 0.0;
  double firstUnstallBufferSizeInSeconds_ = 0.0;
  double fetchBufferMultiplier_ = 0.0;
  double unstallBufferMultiplier_ = 0.0;
  double bufferDeciderNetworkFraction_ = 0.0;
  double dashLiveFetchBufferSizeInSeconds_ = 0.0;
  double dashLiveUnstallBufferSizeInSeconds_ = 0.0;
  double dashLiveStallBufferSizeInSeconds_ = 0.0;
  double dashLiveFirstFetchSizeInSeconds_ = 0.0;
  double dashLiveFetchBufferMultiplier_ = 0.0;
  double dashLiveUnstallBufferMultiplier_ = 0.0;
  double expectedPlayTimeAfterStall_ = 0.0;
  double dashLiveUnstallBufferSizeExcellent_ = 0.0;
  double dashLiveUnstallBufferSizeGood_ = 0.0;
  double dashLiveUnstallBufferSizeModerate_ = 0.0;
  double dashLiveUnstallBufferSizePoor_ = 0.0;
  double dashLiveUnstallBufferSizeUnknown_ = 0.0;
  double dashVODUnstallBufferSizeExcellent_ = 0.0;
  double dashVODUnstallBufferSizeGood_ = 0.0;
  double dashVODUnstallBufferSizeModerate_ = 0.0;
  double dashVODUnstallBufferSizePoor_ = 0.0;
  double dashVODUnstallBufferSizeUnknown_ = 0.0;
  double dashVodFetchBufferSizeInSeconds_ = 0.0;
  double dashVodUnstallBufferSizeInSeconds_ = 0.0;
  double dashVodStallBufferSizeInSeconds_ = 0.0;
  double dashVodFirstFetchSizeInSeconds_ = 0.0;
  double dashVodFetchBufferMultiplier_ = 0.0;
  double dashVodUnstallBufferMultiplier_ = 0.0;
  double dashVodDiskCacheSafeMultiplier_ = 0.0;
  double dashVodDiskCacheAbrThreshold_ = 0.0;
  double abrSelectorBandwidthFraction_ = 0.0;
  uint64_t videoNetworkerInMemoryCacheInBytes_ = 0;
  uint64_t videoNetworkerPrefetchInMemoryCacheInBytes_ = 0;
  uint32_t videoPrefetchMaxByteSize_ = 0;
  uint32_t dashLiveSegmentsToPrefetch_ = 0;
  uint32_t dashNotificationDelayBeforeIgnore_ = 0;
  uint32_t dashLiveSegmentsFromEndToStart_ = 0;
  uint32_t abrSelectorType_ = 0;
  bool filterByIndex_ = false;
  bool dashLivePrefetchEnabled_ = false;
  bool dashLivePrefetchEnabledOnVelmo_ = false;
  bool vodDashPrefetchEnabled_ = false;
  bool enableLiveDynamicUnstallBufferSize_ = false;
  bool enableVODDynamicUnstallBufferSize_ = false;
  bool dashVodEnableDiskCacheWifi_ = false;
  bool dashVodEnableDiskCacheCell_ = false;
  bool dashVodDiskCacheOVCdnOnly_ = false;
  bool dashShouldUpdateLoadedTimeEarlier_ = false;
  bool abrFilterSizeScreen_ = false;
  bool dashLiveUsePtsForInitialTime_ = false;
  bool enableVodMidstreamSwitch_ = false;
  bool enableLiveMidstreamSwitch_ = false;
  bool logRepresentationEnded_ = false;
  bool enableVP9_ = false;
  bool localFileEnabled_ = false;
  bool isBufferDecompressed_ = false;
  bool is360Enabled_ = false;
  bool seamlessLoopEnabled_ = false;
  bool scaleRemoteAssets_ = false;
  bool shouldCheckAllHeadersParsedAtDownloadComplete_ = false;
  bool shouldFailOnFailedMoofParse_ = false;
  bool shouldFailOnUnparsedMoofs_ = false;
  int64_t dashVodDiskCacheWifiNetworkConditionMask_ = 0;
  int64_t dashVodDiskCacheCellNetworkConditionMask_ = 0;
  int64_t dashVodDiskCacheWifiMaxSize_ = 0;
  int64_t dashVodDiskCacheCellMaxSize_ = 0;
  int64_t dashVodDiskCacheWifiRestartSize_ = 0;
  int64_t dashVodDiskCacheCellRestartSize_ = 0;
  int32_t dashLiveStaleMpdUpdatesThreshold_ = 0;
  int32_t dashLivePushInitialSegmentCount_ = 0;
  int32_t dashLivePushContinuousSegmentCount_ = 0;
  int32_t dashLiveMinutesToPadAvailabilityEndTime_ = 0;
  int32_t decompressedBufferSize_ = 0;
};

}  // namespace plexora
