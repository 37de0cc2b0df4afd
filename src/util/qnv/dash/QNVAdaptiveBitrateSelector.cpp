#include "util/qnv/dash/QNVAdaptiveBitrateSelector.h"

#include <algorithm>
#include <cstdio>

#include "platform/ui/Screen.h"
#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {
namespace {

constexpr const char* kDescriptionFormat = "<%s %p type:%ld filter:%ld>";
constexpr const char* kClassName = "QNVAdaptiveBitrateSelector";
constexpr const char* kInvalidSelectorFormat = "Invalid selector:%d";
constexpr const char* kNoProviderMessage = "SelectorTypeBandwidth with nil BandwidthProvider";
constexpr const char* kInvalidFractionMessage = "invalid percentageOfAvailableBandwidthToUse, defaulting to 0.5";
constexpr const char* kPrefetchedVodFormat =
    "%s Selecting DASH VOD quality we've already prefetched, rep_id:%s, quality:%s";
constexpr const char* kPrefetchedLiveFormat =
    "%s Selecting DASH Live quality we've already prefetched, rep_id:%s, quality:%s";
constexpr const char* kTrackCountFormat = "%s Retrieved video track count: %lu";
constexpr const char* kEstimateFormat = "%s Bandwidth estimate (bps): %f";
constexpr const char* kFirstQualityFormat = "%s Selected first quality:%s, bandwidth:%u, threshold:%f";
constexpr const char* kHigherQualityFormat = "%s Selected higher quality:%s, bandwidth:%u, threshold:%f";
constexpr const char* kLowerQualityFormat = "%s Selected lower quality:%s, bandwidth:%u, threshold:%f";
constexpr const char* kNoProcessMessage = "No track selection process specified";
constexpr const char* kFailedToPickMessage = "Selector failed to pick a track, selecting first";
constexpr const char* kWidthBelowHeightMessage = "Expected width >= height, should have been enforced by mpd parser";
constexpr const char* kScreenWidthBelowHeightMessage =
    "Expected screen width >= height, should have been enforced by selector";
constexpr const char* kScreenUnsetMessage = "Height/Width not set";
constexpr const char* kScreenFilterFormat = "%s Screen resolution filter reducing quality from %s to %s";
constexpr const char* kSelectedFormat = "%s Selected quality:%s available:%s";
constexpr const char* kDefaultSuffix = "d";
constexpr double kDefaultFraction = 0.5;

const QNVDashRepresentationProperties& propertiesOf(const QNVRepresentationPropertiesById& metadata,
                                                    const std::string& id) {
  static const QNVDashRepresentationProperties kEmpty("", 0, "", 0, 0);
  const auto found = metadata.find(id);
  if (found == metadata.end()) {
    QNV_SOFT_ASSERT(false, "Property data unavailable for selected representation: %s", id.c_str());
    return kEmpty;
  }
  return found->second;
}

std::optional<std::string> firstEndingInD(const std::vector<std::string>& available,
                                          const std::optional<std::string>& defaultId) {
  for (const std::string& id : available) {
    if (id.ends_with(kDefaultSuffix)) return id;
  }
  return defaultId;
}

}  // namespace

int64_t QNVValidatedSelectorType(uint32_t value) {
  if (value < 4) return value;
  OV_LOG(kOVAdLogLevelWarn, kInvalidSelectorFormat, static_cast<int>(value));
  return kQNVAbrSelectorTypeDefault;
}

QNVAdaptiveBitrateSelector::QNVAdaptiveBitrateSelector(int64_t type, int64_t filter, QNVAbrParameters parameters,
                                                       std::shared_ptr<QNVBandwidthProvider> bandwidthProvider,
                                                       std::optional<uint64_t> randomSeed)
    : type_(type), filter_(filter), random_(randomSeed ? *randomSeed : std::random_device{}()) {
  if (type_ == kQNVAbrSelectorTypeBandwidth) {
    if (!bandwidthProvider) {
      OV_LOG(kOVAdLogLevelWarn, "%s", kNoProviderMessage);
      type_ = kQNVAbrSelectorTypeDefault;
    } else {
      bandwidthProvider_ = std::move(bandwidthProvider);
      fractionOfAvailableBandwidthToUse_ = parameters.fractionOfAvailableBandwidthToUse;
      if (!(fractionOfAvailableBandwidthToUse_ > 0 && fractionOfAvailableBandwidthToUse_ <= 1)) {
        OV_LOG(kOVAdLogLevelWarn, "%s", kInvalidFractionMessage);
        fractionOfAvailableBandwidthToUse_ = kDefaultFraction;
      }
    }
  }
  if ((filter_ & kQNVAbrFilterScreenResolution) != 0) {
    if (const auto screen = platform::Screen::main()) {
      const platform::Rect bounds = screen->nativeBounds();
      screenWidth_ = std::max(bounds.size.width, bounds.size.height);
      screenHeight_ = std::min(bounds.size.width, bounds.size.height);
    }
  }
}

std::string QNVAdaptiveBitrateSelector::description() const {
  char text[160];
  std::snprintf(text, sizeof text, kDescriptionFormat, kClassName, static_cast<const void*>(this),
                static_cast<long>(type_), static_cast<long>(filter_));
  return text;
}

const QNVDashTrackMetadata* QNVAdaptiveBitrateSelector::ifAvailableSelectPrefetchedVideoTrackFromMpd(
    const QNVMediaPresentationDescription& mpd, const std::shared_ptr<QNVAssetResourceLoader>& resourceLoader) {
  const auto fetcher = resourceLoader ? resourceLoader->delegate() : nullptr;
  if (!fetcher) return nullptr;
  const auto held = [&](const std::optional<platform::URL>& url) {
    return url && fetcher->resourceLoaderHasPrefetchedDataForUrl(resourceLoader, *url);
  };
  for (const QNVDashTrackMetadata& track : mpd.videoTracks()) {
    if (mpd.isFragmented()) {
      if (held(track.initializationUrl())) {
        OV_LOG(kOVAdLogLevelVerbose, kPrefetchedVodFormat, description().c_str(), track.representationId().c_str(),
               track.qualityLabel().c_str());
        return &track;
      }
    } else if (mpd.videoType() == kQNVDashVideoTypeLive && track.timelineEntries()) {
      for (const QNVMpdTimelineEntry& entry : *track.timelineEntries()) {
        if (held(entry.mediaUrl())) {
          OV_LOG(kOVAdLogLevelVerbose, kPrefetchedLiveFormat, description().c_str(), track.representationId().c_str(),
                 track.qualityLabel().c_str());
          return &track;
        }
      }
    }
  }
  return nullptr;
}

const QNVDashTrackMetadata* QNVAdaptiveBitrateSelector::selectVideoTrackFromList(
    const std::vector<QNVDashTrackMetadata>& tracks) {
  OV_LOG(kOVAdLogLevelVerbose, kTrackCountFormat, description().c_str(), static_cast<unsigned long>(tracks.size()));
  if (tracks.size() < 2) return tracks.empty() ? nullptr : &tracks.front();
  QNVRepresentationPropertiesById metadata;
  std::vector<std::string> available;
  for (const QNVDashTrackMetadata& track : tracks) {
    if (metadata.insert_or_assign(track.representationId(), QNVDashRepresentationProperties(track)).second) {
      available.push_back(track.representationId());
    }
  }
  const std::optional<std::string> chosen =
      selectRepresentationIdFromMetadata(metadata, available, tracks.front().representationId());
  if (!chosen) {
    QNV_SOFT_ASSERT(false, "Failed to select a representation");
    return nullptr;
  }
  for (const QNVDashTrackMetadata& track : tracks) {
    if (track.representationId() == *chosen) return &track;
  }
  QNV_SOFT_ASSERT(false, "Failed to match representationId with track");
  return nullptr;
}

std::optional<std::string> QNVAdaptiveBitrateSelector::selectRepresentationIdFromMetadata(
    const QNVRepresentationPropertiesById& metadata, const std::vector<std::string>& available,
    const std::optional<std::string>& defaultId) {
  OV_LOG(kOVAdLogLevelVerbose, kTrackCountFormat, description().c_str(), static_cast<unsigned long>(available.size()));
  if (available.size() < 2) {
    if (available.empty()) return std::nullopt;
    return available.front();
  }
  std::optional<std::string> chosen = chooseByType(metadata, available, defaultId);
  if (chosen && (filter_ & kQNVAbrFilterScreenResolution) != 0) {
    chosen = filterByScreen(metadata, available, std::move(*chosen));
  }
  QNV_SOFT_ASSERT(chosen.has_value(), "Track filtered to nil");
  std::string labels;
  for (const auto& [id, properties] : metadata) {
    if (!labels.empty()) labels += ",";
    labels += properties.qualityLabel();
  }
  const std::string chosenLabel = chosen ? propertiesOf(metadata, *chosen).qualityLabel() : std::string();
  OV_LOG(kOVAdLogLevelDebug, kSelectedFormat, description().c_str(), chosenLabel.c_str(), labels.c_str());
  return chosen;
}

std::optional<std::string> QNVAdaptiveBitrateSelector::chooseByType(const QNVRepresentationPropertiesById& metadata,
                                                                    const std::vector<std::string>& available,
                                                                    const std::optional<std::string>& defaultId) {
  std::optional<std::string> chosen;
  switch (type_) {
    case kQNVAbrSelectorTypeDefault:
      return firstEndingInD(available, defaultId);
    case kQNVAbrSelectorTypeBandwidth:
      return chooseByBandwidth(metadata, available, defaultId);
    case kQNVAbrSelectorTypeHighest: {
      uint32_t best = 0;
      for (const std::string& id : available) {
        const uint32_t bandwidth = propertiesOf(metadata, id).bandwidth();
        if (bandwidth >= best) {
          best = bandwidth;
          chosen = id;
        }
      }
      break;
    }
    case kQNVAbrSelectorTypeRandom: {
      std::uniform_int_distribution<size_t> pick(0, available.size() - 1);
      chosen = available[pick(random_)];
      break;
    }
    default:
      OV_LOG(kOVAdLogLevelWarn, "%s", kNoProcessMessage);
      break;
  }
  if (!chosen) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kFailedToPickMessage);
    return defaultId;
  }
  return chosen;
}

std::optional<std::string> QNVAdaptiveBitrateSelector::chooseByBandwidth(
    const QNVRepresentationPropertiesById& metadata, const std::vector<std::string>& available,
    const std::optional<std::string>& defaultId) {
  const double estimate = bandwidthProvider_ ? bandwidthProvider_->downloadBandwidthEstimateBitsPerSecond() : 0;
  lastBandwidthEstimateInBitsPerSecond_ = estimate;
  OV_LOG(kOVAdLogLevelVerbose, kEstimateFormat, description().c_str(), estimate);
  if (!(estimate > 0)) return firstEndingInD(available, defaultId);
  const double threshold = estimate * fractionOfAvailableBandwidthToUse_;
  const std::string* chosen = nullptr;
  uint32_t chosenBandwidth = 0;
  for (const std::string& id : available) {
    const QNVDashRepresentationProperties& properties = propertiesOf(metadata, id);
    const uint32_t bandwidth = properties.bandwidth();
    if (chosen == nullptr) {
      OV_LOG(kOVAdLogLevelVerbose, kFirstQualityFormat, description().c_str(), properties.qualityLabel().c_str(),
             bandwidth, threshold);
    } else if (chosenBandwidth <= threshold) {
      if (!(bandwidth <= threshold && bandwidth > chosenBandwidth)) continue;
      OV_LOG(kOVAdLogLevelVerbose, kHigherQualityFormat, description().c_str(), properties.qualityLabel().c_str(),
             bandwidth, threshold);
    } else {
      if (!(bandwidth < chosenBandwidth)) continue;
      OV_LOG(kOVAdLogLevelVerbose, kLowerQualityFormat, description().c_str(), properties.qualityLabel().c_str(),
             bandwidth, threshold);
    }
    chosen = &id;
    chosenBandwidth = bandwidth;
  }
  if (chosen == nullptr) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kFailedToPickMessage);
    return defaultId;
  }
  return *chosen;
}

std::string QNVAdaptiveBitrateSelector::filterByScreen(const QNVRepresentationPropertiesById& metadata,
                                                       const std::vector<std::string>& available,
                                                       std::string chosen) const {
  const QNVDashRepresentationProperties& current = propertiesOf(metadata, chosen);
  const double width = current.width();
  const double height = current.height();
  if (width < height) OV_LOG(kOVAdLogLevelWarn, "%s", kWidthBelowHeightMessage);
  if (screenWidth_ < screenHeight_) OV_LOG(kOVAdLogLevelWarn, "%s", kScreenWidthBelowHeightMessage);
  if (screenWidth_ == 0 || screenHeight_ == 0) OV_LOG(kOVAdLogLevelWarn, "%s", kScreenUnsetMessage);
  if (width < screenWidth_ || height < screenHeight_ || (width == screenWidth_ && height == screenHeight_)) {
    return chosen;
  }
  const QNVDashRepresentationProperties* candidate = nullptr;
  for (const std::string& id : available) {
    const QNVDashRepresentationProperties& properties = propertiesOf(metadata, id);
    if (properties.width() < screenWidth_ || properties.height() < screenHeight_) continue;
    if (candidate == nullptr || properties.width() < candidate->width() || properties.height() < candidate->height()) {
      candidate = &properties;
    }
  }
  if (candidate == nullptr || candidate->representationId() == chosen) return chosen;
  OV_LOG(kOVAdLogLevelDebug, kScreenFilterFormat, description().c_str(), current.qualityLabel().c_str(),
         candidate->qualityLabel().c_str());
  return candidate->representationId();
}

void QNVAdaptiveBitrateSelector::forTestingOverrideScreenWidth(double width, double height) {
  QNV_SOFT_ASSERT(false, "Test method called outside of testing");
  screenWidth_ = std::max(width, height);
  screenHeight_ = std::min(width, height);
}

void QNVAdaptiveBitrateSelector::forTestingOverrideBandwidthProvider(std::shared_ptr<QNVBandwidthProvider> provider) {
  QNV_SOFT_ASSERT(false, "Test method called outside of testing");
  bandwidthProvider_ = std::move(provider);
}

}  // namespace plexora
