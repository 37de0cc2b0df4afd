#include "util/qnv/dash/QNVDashAsset.h"

#include <cstdio>

#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/mp4/QNVVodMp4FrameMetadataCompressor.h"

namespace plexora {

namespace {

constexpr const char* kRangeStartKey = "start";
constexpr const char* kRangeDurationKey = "duration";

QNVDashPlaylistLoaderSettings playlistLoaderSettings(const QNVDashAssetConfig& config) {
  QNVDashPlaylistLoaderSettings settings;
  settings.segmentsFromEndToStartPrefetch = static_cast<int32_t>(config.segmentsFromEndToStartPrefetch);
  settings.segmentsFromEndToStartUpdate = static_cast<int32_t>(config.segmentsFromEndToStartUpdate);
  settings.unfetchedSegmentCap = static_cast<int32_t>(config.unfetchedSegmentCap);
  settings.unfetchedSegmentsAfterCap = static_cast<int32_t>(config.unfetchedSegmentsAfterCap);
  settings.staleMpdUpdatesThreshold = config.staleMpdUpdatesThreshold;
  settings.pushInitialSegmentCount = config.pushInitialSegmentCount;
  settings.pushContinuousSegmentCount = config.pushContinuousSegmentCount;
  settings.minutesToPadAvailEndTime = config.minutesToPadAvailEndTime;
  settings.ignorePrefetchQualitySelection = config.ignorePrefetchQualitySelection;
  settings.enableVP9 = config.enableVP9;
  return settings;
}

}  // namespace

QNVBufferSizeDeciderConfig QNVDashBufferSizeDeciderConfig(const QNVDashAssetConfig& config) {
  QNVBufferSizeDeciderConfig decider;
  decider.firstFetchSizeInSeconds = config.firstFetchSizeInSeconds;
  decider.fetchBufferSizeInSeconds = config.fetchBufferSizeInSeconds;
  decider.fetchMultiplier = config.fetchMultiplier;
  decider.unstallBufferSizeInSeconds = config.unstallBufferSizeInSeconds;
  decider.stallBufferSizeInSeconds = config.stallBufferSizeInSeconds;
  decider.firstUnstallBufferSizeInSeconds = config.firstUnstallBufferSizeInSeconds;
  decider.dynamicUnstallBufferEnabled = config.dynamicUnstallBufferEnabled;
  decider.unstallBufferSizeForExcellentNetwork = config.unstallBufferSizeForExcellentNetwork;
  decider.unstallBufferSizeForGoodNetwork = config.unstallBufferSizeForGoodNetwork;
  decider.unstallBufferSizeForModerateNetwork = config.unstallBufferSizeForModerateNetwork;
  decider.unstallBufferSizeForPoorNetwork = config.unstallBufferSizeForPoorNetwork;
  decider.unstallBufferSizeForUnknownNetwork = config.unstallBufferSizeForUnknownNetwork;
  decider.unstallMultiplier = config.unstallMultiplier;
  return decider;
}

std::shared_ptr<QNVAdaptiveBitrateSelector> QNVMakeAdaptiveBitrateSelector(
    std::shared_ptr<QNVBandwidthProvider> bandwidthProvider, const QNVDashAssetConfig& config) {
  const int64_t type = QNVValidatedSelectorType(config.abrSelectorType);
  QNVAbrParameters parameters;
  parameters.fractionOfAvailableBandwidthToUse =
      type == kQNVAbrSelectorTypeBandwidth ? config.abrSelectorBandwidthFraction : 0.0;
  return std::make_shared<QNVAdaptiveBitrateSelector>(
      type, config.abrFilterSizeScreen ? kQNVAbrFilterScreenResolution : 0, parameters, std::move(bandwidthProvider));
}

std::shared_ptr<QNVDashAsset> QNVDashAsset::initWithConfig(const QNVDashAssetConfig& config, std::string mpdData,
                                                           std::optional<platform::URL> mpdUrl,
                                                           std::shared_ptr<QNVBandwidthProvider> bandwidthProvider) {
  auto asset = std::shared_ptr<QNVDashAsset>(
      new QNVDashAsset(config, std::move(mpdData), std::move(mpdUrl), std::move(bandwidthProvider)));
  asset->adoptDelegates();
  return asset;
}

QNVDashAsset::QNVDashAsset(const QNVDashAssetConfig& config, std::string mpdData, std::optional<platform::URL> mpdUrl,
                           std::shared_ptr<QNVBandwidthProvider> bandwidthProvider)
    : bufferSizeDecider_(QNVDashBufferSizeDeciderConfig(config)) {
  hadInlineManifest_ = !mpdData.empty();

  enableWifiVODDiskCache_ = config.enableWifiVODDiskCache;
  enableCellVODDiskCache_ = config.enableCellVODDiskCache;
  enableDiskCacheForOvCdnOnly_ = config.enableDiskCacheForOvCdnOnly;
  dashVodDiskCacheWifiNetworkConditionMask_ = config.dashVodDiskCacheWifiNetworkConditionMask;
  dashVodDiskCacheCellNetworkConditionMask_ = config.dashVodDiskCacheCellNetworkConditionMask;
  wifiDiskCacheStopBufferSizeInSec_ = static_cast<float>(config.wifiDiskCacheStopBufferSizeInSec);
  cellDiskCacheStopBufferSizeInSec_ = static_cast<float>(config.cellDiskCacheStopBufferSizeInSec);
  wifiDiskCacheRestartBufferSizeInSec_ = static_cast<float>(config.wifiDiskCacheRestartBufferSizeInSec);
  cellDiskCacheRestartBufferSizeInSec_ = static_cast<float>(config.cellDiskCacheRestartBufferSizeInSec);
  dashVodDiskCacheSafeMultiplier_ = static_cast<float>(config.dashVodDiskCacheSafeMultiplier);
  bandwidthProvider_ = bandwidthProvider;

  for (auto& frames : frames_) frames = std::make_unique<QNVVodMp4FrameMetadataCompressor>();
  createNewDataBlockDistributors();

  for (auto& tracker : downloadTrackers_) tracker = std::make_shared<QNVDashDownloadTracker>();
  resourceLoader_ = std::make_shared<QNVAssetResourceLoader>();
  playlistData_ = std::make_shared<QNVDashPlaylistData>();
  abrSelector_ = QNVMakeAdaptiveBitrateSelector(bandwidthProvider, config);

  segmentsFromEndToStartPrefetch_ = static_cast<int32_t>(config.segmentsFromEndToStartPrefetch);
  ignorePrefetchQualitySelection_ = config.ignorePrefetchQualitySelection;

  playlistLoader_ = QNVDashPlaylistLoader::initWithMpdUrl(std::move(mpdUrl), std::move(mpdData), playlistData_,
                                                          resourceLoader_, abrSelector_,
                                                          playlistLoaderSettings(config));
  enableLiveMidstreamSwitch_ = config.enableLiveMidstreamSwitch;
  if (enableLiveMidstreamSwitch_) playlistLoader_->forTestingEnableLiveMidstreamSwitch();
  enableVodMidstreamSwitch_ = config.enableVodMidstreamSwitch;
  if (enableVodMidstreamSwitch_) playlistLoader_->forTestingEnableVodMidstreamSwitch();

  bufferSizeDecider_.setBandwidthProvider(std::move(bandwidthProvider));

  shouldShowBroadcasterInterruptedMessage_ = config.staleMpdUpdatesThreshold > 0;
  enablePrefetchLookupWhenBypassCache_ = config.enablePrefetchLookupWhenBypassCache;
  shouldUsePtsForInitialTime_ = config.shouldUsePtsForInitialTime;
  dispatchQueue_ = QNVMediaStateQueue();

  shouldUpdateLoadedTimeEarlier_ = config.shouldUpdateLoadedTimeEarlier;
  shouldCheckAllHeadersParsedAtDownloadComplete_ = config.shouldCheckAllHeadersParsedAtDownloadComplete;
  shouldFailOnFailedMoofParse_ = config.shouldFailOnFailedMoofParse;
  shouldFailOnUnparsedMoofs_ = config.shouldFailOnUnparsedMoofs;
  embedFrameInfo_ = config.embedFrameInfo || config.enableLiveMidstreamSwitch || config.enableVodMidstreamSwitch;
}

void QNVDashAsset::adoptDelegates() {
  const auto self = shared_from_this();
  bufferSizeDecider_.setRealtimeInfoProvider(self);
  playlistLoader_->setDelegate(self);
  bufferSizeDecider_.setDelegate(self);
}

platform::Value QNVDashAsset::valueForKey(const std::string& key) const {
  if (key != kQNVLoadedTimeRangesKey) return {};
  platform::Array ranges;
  for (const auto& range : bufferSizeDecider_.loadedTimeRanges()) {
    ranges.push_back(
        platform::Dictionary{{kRangeStartKey, range.start.seconds()}, {kRangeDurationKey, range.duration.seconds()}});
  }
  return ranges;
}

}  // namespace plexora
