// Errors, warnings and the descriptive read-outs of the stream.
#include <cstdio>

#include "util/OVAdLogger.h"
#include "util/qnv/dash/QNVDashAsset.h"

namespace plexora {

namespace {

constexpr const char* kDescription =
    "<%s %p vid:%s a-frames:%u,%u v-frames:%u,%u init:%llu/%llu rep:%s/%s buff:%s>";
constexpr const char* kClassName = "QNVDashAsset";
constexpr const char* kNull = "(null)";
constexpr const char* kDealloc = "%s deallocing QNVAsset";
constexpr const char* kAddingWarning = "%s adding warning: %s";
constexpr const char* kDownloadFailed = "%s download failed with error: %s";
constexpr const char* kCauseCodeKey = "code";
constexpr const char* kCauseDomainKey = "domain";
constexpr const char* kUnexpectedStatus = "Unexpected playlistData status";
constexpr const char* kUnhandledSelector = "Unhandled selector type:%d";

constexpr const char* kUnknownDetails = "unknown";
constexpr const char* kLiveDynamic = "live_d";
constexpr const char* kLiveStatic = "live_s";
constexpr const char* kSegmentedVod = "qd";
constexpr const char* kInlineManifest = "_i";
constexpr const char* kRemoteManifest = "_r";
constexpr const char* kVod = "vod";
constexpr const char* kPrefetchQuality = "_p";
constexpr const char* kAbrQuality = "_a";
constexpr const char* kSeparator = "_";
constexpr const char* kSelectorTypeTags[] = {"_0:", "_1:", "_2:", "_3:"};

// Warnings posted; later ones are only logged, so a stream that keeps
// misbehaving cannot flood the observers.
constexpr int32_t kPostedWarnings = 9;

using ull = unsigned long long;

const char* orNull(const std::optional<std::string>& text) { return text ? text->c_str() : kNull; }

}  // namespace

QNVDashAsset::~QNVDashAsset() { OV_LOG(kOVAdLogLevelVerbose, kDealloc, description().c_str()); }

std::string QNVDashAsset::description() const {
  const auto& audio = *frames_[1];
  const auto& video = *frames_[0];
  const std::string buffer = bufferSizeDecider_.description();
  char text[512];
  std::snprintf(text, sizeof text, kDescription, kClassName, static_cast<const void*>(this),
                orNull(resourceLoader_ ? resourceLoader_->videoID() : std::nullopt), audio.currentFrameIndex(),
                audio.frameCount(), video.currentFrameIndex(), video.frameCount(), static_cast<ull>(initialTime_),
                static_cast<ull>(initialTimePts_), orNull(playbackRepIds_[0]), orNull(fetchingRepIds_[0]),
                buffer.c_str());
  return text;
}

void QNVDashAsset::addErrorToLog(const platform::Error& error, bool shouldStopPlayback) {
  QNVPostAssetError(this, error, shouldStopPlayback);
}

void QNVDashAsset::parsingDidFailWithError(const platform::Error& error) { handleError(error); }

void QNVDashAsset::loadingDidFailWithError(const platform::Error& error) { handleError(error); }

void QNVDashAsset::reportWarning(const platform::Error& warning) { handleWarning(warning); }

void QNVDashAsset::handleWarning(const platform::Error& warning) {
  OV_LOG(kOVAdLogLevelDebug, kAddingWarning, description().c_str(), warning.localizedDescription().c_str());
  warningCount_ += 1;
  if (warningCount_ <= kPostedWarnings) addErrorToLog(warning, false);
}

void QNVDashAsset::handleError(const platform::Error& error) {
  OV_LOG(kOVAdLogLevelDebug, kDownloadFailed, description().c_str(), error.localizedDescription().c_str());
  addErrorToLog(error, true);
  error_ = error;
  hasFailed_ = true;
  if (parsedHeadersForEachTrack_) {
    // Nothing completes a pending load after a failure: its hold on the
    // asset must not outlive the asset's owners. Released on return, once
    // nothing here touches the asset any more.
    auto keepAlive = std::move(loadKeepAlive_);
    return;
  }
  platform::Dictionary details = error.userInfo();
  details.set(kCauseCodeKey, error.code());
  details.set(kCauseDomainKey, error.domain());
  loadingError_ = platform::Error(kQNVAssetLoadingError, kQNVAssetLoadingErrorDownloadFailed, std::move(details));
  completeLoad();
}

std::string QNVDashAsset::debugDetails() const {
  const QNVDashPlaylistData& playlist = *playlistData_;
  if (!playlist.isParsed) return kUnknownDetails;
  std::string details;
  if (playlist.isSegmented()) {
    details = playlist.expectsFutureUpdates ? kLiveDynamic : (playlist.isLive() ? kLiveStatic : kSegmentedVod);
    details += hadInlineManifest_ ? kInlineManifest : kRemoteManifest;
  } else {
    if (!playlist.isFragmented()) OV_LOG(kOVAdLogLevelWarn, "%s", kUnexpectedStatus);
    details = kVod;
  }
  details += playlist.usedPrefetchQuality ? kPrefetchQuality : kAbrQuality;
  if (abrSelector_ && playbackRepIds_[0]) {
    details += kSeparator;
    details += qualityLabelForRepresentation(playbackRepIds_[0]).value_or("");
    const int64_t type = abrSelector_->type();
    if (type >= kQNVAbrSelectorTypeDefault && type <= kQNVAbrSelectorTypeRandom) {
      details += kSelectorTypeTags[type];
    } else {
      OV_LOG(kOVAdLogLevelWarn, kUnhandledSelector, static_cast<int>(type));
    }
    details += playlist.availableQualities.value_or("");
  }
  return details;
}

std::optional<std::string> QNVDashAsset::qualityLabelForRepresentation(
    const std::optional<std::string>& representationId) const {
  if (!representationId) return std::nullopt;
  const auto& properties = playlistData_->properties();
  const auto found = properties.find(*representationId);
  if (found == properties.end()) return std::nullopt;
  return found->second.qualityLabel();
}

std::optional<std::string> QNVDashAsset::qualityLabel() const {
  return qualityLabelForRepresentation(representationId());
}

std::optional<std::string> QNVDashAsset::representationId() const {
  if (playbackRepIds_[0]) return playbackRepIds_[0];
  if (playlistData_->representationId.empty()) return std::nullopt;
  return playlistData_->representationId;
}

uint32_t QNVDashAsset::availableQualitiesCount() const { return playlistData_->availableQualitiesCount; }

bool QNVDashAsset::isAbrEnabled() const { return abrSelector_->type() == kQNVAbrSelectorTypeBandwidth; }

uint64_t QNVDashAsset::receivedBytesCount() const {
  return downloadTrackers_[0]->bytesReceived + downloadTrackers_[1]->bytesReceived;
}

uint64_t QNVDashAsset::requestedBytesCount() const {
  return downloadTrackers_[0]->bytesRequested + downloadTrackers_[1]->bytesRequested;
}

uint32_t QNVDashAsset::unfetchedSegmentCapHitCount() const { return playlistLoader_->unfetchedSegmentCapHitCount(); }

int32_t QNVDashAsset::unfetchedSegmentCountForTrack(QNVTrackIndex track) const {
  return static_cast<int32_t>(playlistData_->timelineEntries(track).size()) - playlistData_->fetchIndexForTrack(track);
}

QNVDashAssetPrefetchMetadata QNVDashAsset::getUpdatedPrefetchMetadataIfPossible() {
  if (!prefetchMetadata_.isInMemoryCached) {
    prefetchMetadata_.prefetchBytesReceived =
        downloadTrackers_[0]->bytesFromPrefetchCache + downloadTrackers_[1]->bytesFromPrefetchCache;
    if (prefetchMetadata_.prefetchBytesReceived != 0) {
      prefetchMetadata_.isPrefetched = true;
      prefetchMetadata_.isPreviouslyKnownURL = true;
    }
  }
  return prefetchMetadata_;
}

const std::string& QNVDashAsset::projection() const { return playlistData_->projection; }

const std::string& QNVDashAsset::audioChannelConfiguration() const { return playlistData_->audioChannelConfiguration; }

const std::optional<std::string>& QNVDashAsset::mpdAccessibilityDescription() const {
  return playlistData_->mpdAccessibilityDescription;
}

}  // namespace plexora
