// What the loader does with a received manifest: refuse empty, unreadable,
// untyped, expired and track-less ones, choose the video representation,
// record representation data and qualities, and merge the timelines.
#include <algorithm>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/asset/QNVMp4AtomManager.h"
#include "util/qnv/dash/QNVDashPlaylistLoader.h"

namespace plexora {
namespace {

constexpr const char* kIgnoringRefreshFormat = "%s Ignoring request to refresh non-live MPD data";
constexpr const char* kFailedToParseMessage = "Failed to parse MPD";
constexpr const char* kUnknownTypeMessage = "Unknown video type when parsing MPD";
constexpr const char* kExpiredFormat = "%s mpd is expired. mpdExpirationTime: %s expiredCount:%d";
constexpr const char* kNoVideoTrackForMpdFormat = "No video track for %s mpd";
constexpr const char* kFragmented = "fragmented";
constexpr const char* kNonFragmented = "non-fragmented";
constexpr const char* kSegmented = "segmented";
constexpr const char* kOutOfAlignmentMessage = "MPD timelines are out of alignment";
constexpr const char* kAudioContextFormat = "%s Audio context - trackExists:%d, numEntries:%lu";
constexpr const char* kSwitchingMpdUrlFormat = "%s Switching to representation-specific MPD URL:%s";
constexpr const char* kNilOriginalUrlMessage = "Original MPD URL was nil for dynamic playlist";
constexpr const char* kNoUrlToRefreshMessage = "Dynamic playlist with no MPD URL to refresh";
constexpr const char* kNoVideoTrackForVideoFormat = "No video track for %s video";
constexpr const char* kGivingUpFormat = "%s No video track -- giving up";
constexpr const char* kNoEntriesMessage = "Playlist with no video entries";
constexpr const char* kNoEntriesGivingUpFormat = "%s No video timeline entries -- giving up";
constexpr const char* kNoEntriesContinuingFormat = "%s No video timeline entries but prior exist -- continuing on";
constexpr const char* kMultipleAudioFormat = "%s Multiple audio tracks returned, count:%lu, reps:%s bw:%s";
constexpr const char* kMultipleAudioMessage = "Multiple audio tracks returned";
constexpr const char* kCountsDifferMessage = "Timeline entries count for A/V don't match";
constexpr const char* kSwitchingVideoFormat =
    "%s Switching representationId mid-stream from representationId:%s->%s qualityLabel:%s->%s";
constexpr const char* kSwitchingVideoMessage = "Switching representationId for segmented";
constexpr const char* kSwitchingAudioFormat = "%s Switching representationId mid-stream from representationId:%s->%s";
constexpr const char* kSwitchingAudioMessage = "Switching audioRepresentationId for segmented";
constexpr const char* kNoAudioAnyMoreMessage = "No audio data after seeing some previously";
constexpr const char* kSeparator = ",";
constexpr double kSecondsPerMinute = 60;
constexpr int32_t kExpiriesBeforeFailing = 3;

size_t entryCount(const QNVDashTrackMetadata* track) {
  return track && track->timelineEntries() ? track->timelineEntries()->size() : 0;
}

}  // namespace

void QNVDashPlaylistLoader::failWithCode(int64_t code) {
  if (const auto delegate = delegate_.lock())
    delegate->loadingDidFailWithError(platform::Error(kQNVAssetLoadingError, code));
}

void QNVDashPlaylistLoader::warnWithCode(int64_t code, platform::Dictionary userInfo) {
  if (const auto delegate = delegate_.lock()) {
    delegate->reportWarning(platform::Error(kQNVDashPlaylistLoaderDomain, code, std::move(userInfo)));
  }
}

bool QNVDashPlaylistLoader::handleMpdData(const std::string& bytes) {
  QNV_SOFT_ASSERT(!platform::DispatchQueue::isMainThread(), "%s", "a manifest is parsed off the main thread");
  if (!playlistData_->isLive() && playlistData_->isParsed) {
    OV_LOG(kOVAdLogLevelVerbose, kIgnoringRefreshFormat, description().c_str());
    return false;
  }
  if (bytes.empty()) {
    failWithCode(kQNVAssetLoadingErrorEmptyManifest);
    return false;
  }
  int32_t count = settings_.segmentsFromEndToStartUpdate;
  if (!playlistData_->isParsed) count = std::min(settings_.segmentsFromEndToStartPrefetch, count);
  std::optional<platform::Error> error;
  const auto mpd = QNVMediaPresentationDescription::presentationDescriptionWithContentsOfXml(
      bytes, mpdURL_, static_cast<uint32_t>(std::max(count, 0)), settings_.enableVP9, &error);
  if (error || !mpd) {
    logManifestWithMessage(kFailedToParseMessage, bytes);
    OV_LOG(kOVAdLogLevelWarn, "%s", kFailedToParseMessage);
    if (const auto delegate = delegate_.lock()) {
      delegate->loadingDidFailWithError(error ? *error
                                              : platform::Error(kQNVXmlParserErrorDomain, kQNVXmlParserErrorCode));
    }
    return false;
  }
  if (mpd->videoType() == kQNVDashVideoTypeNone) {
    logManifestWithMessage(kUnknownTypeMessage, bytes);
    OV_LOG(kOVAdLogLevelWarn, "%s", kUnknownTypeMessage);
    failWithCode(kQNVAssetLoadingErrorUnknownVideoType);
    return false;
  }
  if (mpd->videoType() != kQNVDashVideoTypeFragmented && settings_.minutesToPadAvailEndTime > 0 &&
      mpd->availabilityEndTime()) {
    const double expiry = *mpd->availabilityEndTime() + settings_.minutesToPadAvailEndTime * kSecondsPerMinute;
    if (expiry < platform::Clock::current()->wallTime()) {
      OV_LOG(kOVAdLogLevelDebug, kExpiredFormat, description().c_str(), std::to_string(expiry).c_str(), expiredCount_);
      ++expiredCount_;
      if (expiredCount_ >= kExpiriesBeforeFailing) {
        failWithCode(kQNVAssetLoadingErrorManifestExpired);
      } else {
        updatePlaylist();
      }
      return false;
    }
  }
  expiredCount_ = 0;
  playlistData_->isParsed = true;
  playlistData_->playlistDuration = platform::MediaTime::make(mpd->durationMS(), 1000);
  playlistData_->videoType = mpd->videoType();
  if (mpd->isDynamic()) playlistData_->hasBeenDynamic = true;
  if (!playlistData_->mpdAccessibilityDescription) {
    playlistData_->mpdAccessibilityDescription = mpd->mpdAccessibilityDescription();
  }
  if (mpd->videoTracks().empty()) {
    char message[64];
    std::snprintf(message, sizeof message, kNoVideoTrackForMpdFormat,
                  mpd->videoType() == kQNVDashVideoTypeFragmented ? kFragmented : kNonFragmented);
    logManifestWithMessage(message, bytes);
    OV_LOG(kOVAdLogLevelWarn, "%s", message);
    failWithCode(kQNVAssetLoadingErrorNoVideoTrack);
    return false;
  }
  validateTrackListsForMpd(*mpd);
  markAvailableQualitiesForMpd(*mpd);
  const QNVDashTrackMetadata* audioTrack = mpd->audioTracks().empty() ? nullptr : &mpd->audioTracks().front();
  if (mpd->videoType() == kQNVDashVideoTypeFragmented) return handleFragmentedMpd(*mpd, audioTrack);
  return handleSegmentedMpd(*mpd, audioTrack, bytes);
}

bool QNVDashPlaylistLoader::handleFragmentedMpd(const QNVMediaPresentationDescription& mpd,
                                                const QNVDashTrackMetadata* audioTrack) {
  std::vector<const QNVDashTrackMetadata*> tracks;
  if (vodMidstreamSwitchEnabled_) {
    for (const QNVDashTrackMetadata& track : mpd.videoTracks()) tracks.push_back(&track);
  } else {
    const QNVDashTrackMetadata* track = selectFragmentedVideoTrackFromMpd(mpd);
    if (!isValidEnoughToContinueWithVideoTrack(track, kQNVDashVideoTypeFragmented)) return false;
    markCbrSelectedQuality(track);
    tracks.push_back(track);
  }
  for (const QNVDashTrackMetadata* track : tracks) {
    playlistData_->addRepresentationProperties(QNVDashRepresentationProperties(*track), kQNVVideoTrack);
    playlistData_->addFragmentedUrl(track->initializationUrl(), track->representationId(), kQNVVideoTrack);
    playlistData_->addFragmentedInitializationLength(track->indexRange().location + track->indexRange().length,
                                                     track->representationId(), kQNVVideoTrack);
  }
  if (audioTrack) {
    extractMetadataFromAudioTrack(audioTrack);
    playlistData_->addFragmentedUrl(audioTrack->initializationUrl(), audioTrack->representationId(), kQNVAudioTrack);
    playlistData_->addFragmentedInitializationLength(
        audioTrack->indexRange().location + audioTrack->indexRange().length, audioTrack->representationId(),
        kQNVAudioTrack);
  }
  return true;
}

bool QNVDashPlaylistLoader::handleSegmentedMpd(const QNVMediaPresentationDescription& mpd,
                                               const QNVDashTrackMetadata* audioTrack, const std::string& bytes) {
  publishFrameTimeMS_ = static_cast<uint64_t>(mpd.publishFrameTimeMS());
  const bool wasDynamic = playlistData_->expectsFutureUpdates;
  playlistData_->expectsFutureUpdates = mpd.isDynamic();
  const size_t heldBefore = playlistData_->timelineEntries(kQNVVideoTrack).size();

  if (!loggedManifest_ && playlistData_->expectsFutureUpdates) {
    uint64_t audioTime = 0;
    uint64_t audioDuration = 0;
    if (entryCount(audioTrack) > 0) {
      audioTime = audioTrack->timelineEntries()->back().time();
      audioDuration = audioTrack->timelineEntries()->back().duration();
    }
    for (const QNVDashTrackMetadata& track : mpd.videoTracks()) {
      if (entryCount(&track) == 0) continue;
      const QNVMpdTimelineEntry& last = track.timelineEntries()->back();
      if (last.time() != audioTime || last.duration() != audioDuration) {
        logManifestWithMessage(kOutOfAlignmentMessage, bytes);
        OV_LOG(kOVAdLogLevelWarn, "%s", kOutOfAlignmentMessage);
        break;
      }
    }
  }

  std::vector<const QNVDashTrackMetadata*> tracks;
  if (liveMidstreamSwitchEnabled_) {
    for (const QNVDashTrackMetadata& track : mpd.videoTracks()) tracks.push_back(&track);
  } else {
    const QNVDashTrackMetadata* track = selectSegmentedVideoTrackFromMpd(mpd);
    if (!isValidEnoughToContinueWithVideoTrack(track, mpd.videoType())) {
      OV_LOG(kOVAdLogLevelDebug, kAudioContextFormat, description().c_str(), audioTrack ? 1 : 0,
             static_cast<unsigned long>(entryCount(audioTrack)));
      return false;
    }
    markCbrSelectedQuality(track);
    const bool differs =
        track->mpdUrl() && (!mpdURL_ || track->mpdUrl()->absoluteString() != mpdURL_->absoluteString());
    if (differs) {
      OV_LOG(kOVAdLogLevelDebug, kSwitchingMpdUrlFormat, description().c_str(),
             track->mpdUrl()->absoluteString().c_str());
      if (playlistData_->expectsFutureUpdates && !mpdURL_) OV_LOG(kOVAdLogLevelWarn, "%s", kNilOriginalUrlMessage);
      mpdURL_ = track->mpdUrl();
    } else if (playlistData_->expectsFutureUpdates && !mpdURL_) {
      OV_LOG(kOVAdLogLevelWarn, "%s", kNoUrlToRefreshMessage);
    }
    tracks.push_back(track);
  }
  for (const QNVDashTrackMetadata* track : tracks) {
    validateVideoTrack(*track, audioTrack);
    playlistData_->addRepresentationProperties(QNVDashRepresentationProperties(*track), kQNVVideoTrack);
    playlistData_->addEncodedInitData(track->encodedInitData().value_or(""), track->representationId(), kQNVVideoTrack);
    playlistData_->addSegmentedInitUrl(track->initializationUrl(), track->representationId(), kQNVVideoTrack);
    addEntriesFromTrackMetadata(track, kQNVVideoTrack);
  }
  extractMetadataFromAudioTrack(audioTrack);
  addEntriesFromTrackMetadata(audioTrack, kQNVAudioTrack);

  if (playlistData_->timelineEntries(kQNVVideoTrack).size() <= heldBefore) {
    ++consecutiveStaleUpdates_;
  } else {
    consecutiveStaleUpdates_ = 0;
  }
  logStalenessForVideoTrack(tracks.front());
  capUnfetchedSegmentsIfNecessary();
  updatePlaylistTimerForPlaylistWasDynamic(wasDynamic);
  return true;
}

const QNVDashTrackMetadata* QNVDashPlaylistLoader::selectFragmentedVideoTrackFromMpd(
    const QNVMediaPresentationDescription& mpd) {
  QNV_SOFT_ASSERT(abrSelector_ != nullptr, "Nil abrSelector");
  if (!abrSelector_) return mpd.videoTracks().empty() ? nullptr : &mpd.videoTracks().front();
  if (!settings_.ignorePrefetchQualitySelection && mpd.videoTracks().size() > 1 &&
      abrSelector_->type() != kQNVAbrSelectorTypeHighest) {
    if (const auto* prefetched = abrSelector_->ifAvailableSelectPrefetchedVideoTrackFromMpd(mpd, resourceLoader_)) {
      playlistData_->usedPrefetchQuality = true;
      return prefetched;
    }
  }
  return abrSelector_->selectVideoTrackFromList(mpd.videoTracks());
}

const QNVDashTrackMetadata* QNVDashPlaylistLoader::selectSegmentedVideoTrackFromMpd(
    const QNVMediaPresentationDescription& mpd) {
  QNV_SOFT_ASSERT(!(mpd.videoType() == kQNVDashVideoTypeLive && liveMidstreamSwitchEnabled_),
                  "Track selected in PlaylistLoader when live midstream switch enabled");
  if (!playlistData_->representationId.empty()) {
    for (const QNVDashTrackMetadata& track : mpd.videoTracks()) {
      if (track.representationId() == playlistData_->representationId) return &track;
    }
  }
  QNV_SOFT_ASSERT(abrSelector_ != nullptr, "Nil abrSelector");
  if (!abrSelector_) return mpd.videoTracks().empty() ? nullptr : &mpd.videoTracks().front();
  if (!settings_.ignorePrefetchQualitySelection && mpd.videoTracks().size() > 1) {
    if (const auto* prefetched = abrSelector_->ifAvailableSelectPrefetchedVideoTrackFromMpd(mpd, resourceLoader_)) {
      playlistData_->usedPrefetchQuality = true;
      return prefetched;
    }
  }
  return abrSelector_->selectVideoTrackFromList(mpd.videoTracks());
}

bool QNVDashPlaylistLoader::isValidEnoughToContinueWithVideoTrack(const QNVDashTrackMetadata* track, int64_t type) {
  if (!track) {
    OV_LOG(kOVAdLogLevelWarn, kNoVideoTrackForVideoFormat,
           type == kQNVDashVideoTypeFragmented ? kFragmented : kSegmented);
    OV_LOG(kOVAdLogLevelDebug, kGivingUpFormat, description().c_str());
    failWithCode(kQNVAssetLoadingErrorNoVideoTrack);
    return false;
  }
  if (type == kQNVDashVideoTypeFragmented || track->timelineEntries()) return true;
  OV_LOG(kOVAdLogLevelWarn, "%s", kNoEntriesMessage);
  if (playlistData_->timelineEntries(kQNVVideoTrack).empty()) {
    OV_LOG(kOVAdLogLevelDebug, kNoEntriesGivingUpFormat, description().c_str());
    failWithCode(kQNVAssetLoadingErrorNoTimeline);
    return false;
  }
  OV_LOG(kOVAdLogLevelDebug, kNoEntriesContinuingFormat, description().c_str());
  warnWithCode(kQNVDashWarningNoTimelineButHeld);
  return true;
}

void QNVDashPlaylistLoader::validateTrackListsForMpd(const QNVMediaPresentationDescription& mpd) {
  if (mpd.audioTracks().size() >= 2) {
    std::string ids;
    std::string bandwidths;
    for (const QNVDashTrackMetadata& track : mpd.audioTracks()) {
      if (!ids.empty()) {
        ids += kSeparator;
        bandwidths += kSeparator;
      }
      ids += track.representationId();
      bandwidths += std::to_string(track.bandwidth());
    }
    OV_LOG(kOVAdLogLevelDebug, kMultipleAudioFormat, description().c_str(),
           static_cast<unsigned long>(mpd.audioTracks().size()), ids.c_str(), bandwidths.c_str());
    OV_LOG(kOVAdLogLevelWarn, "%s", kMultipleAudioMessage);
    warnWithCode(kQNVDashWarningMultipleAudioTracks);
  }
  if (mpd.videoType() == kQNVDashVideoTypeLive && !liveMidstreamSwitchEnabled_ && mpd.videoTracks().size() >= 2 &&
      !playlistData_->representationId.empty()) {
    warnWithCode(kQNVDashWarningLiveVideoTrackChoice);
  }
}

void QNVDashPlaylistLoader::validateVideoTrack(const QNVDashTrackMetadata& videoTrack,
                                               const QNVDashTrackMetadata* audioTrack) {
  if (audioTrack && entryCount(audioTrack) != entryCount(&videoTrack)) {
    warnWithCode(kQNVDashWarningTimelineCountMismatch);
    OV_LOG(kOVAdLogLevelWarn, "%s", kCountsDifferMessage);
  }
}

void QNVDashPlaylistLoader::markAvailableQualitiesForMpd(const QNVMediaPresentationDescription& mpd) {
  if (playlistData_->availableQualities) return;
  std::string labels;
  for (const QNVDashTrackMetadata& track : mpd.videoTracks()) {
    if (!labels.empty()) labels += kSeparator;
    labels += track.qualityLabel();
  }
  playlistData_->availableQualitiesCount = static_cast<uint32_t>(mpd.videoTracks().size());
  playlistData_->availableQualities = labels;
}

void QNVDashPlaylistLoader::markCbrSelectedQuality(const QNVDashTrackMetadata* track) {
  if (!track) {
    QNV_SOFT_ASSERT(false, "Can't select nil track");
    return;
  }
  if (!playlistData_->representationId.empty() && playlistData_->representationId != track->representationId()) {
    OV_LOG(kOVAdLogLevelDebug, kSwitchingVideoFormat, description().c_str(), playlistData_->representationId.c_str(),
           track->representationId().c_str(), playlistData_->qualityLabel.c_str(), track->qualityLabel().c_str());
    OV_LOG(kOVAdLogLevelWarn, "%s", kSwitchingVideoMessage);
  }
  playlistData_->qualityLabel = track->qualityLabel();
  playlistData_->representationId = track->representationId();
  playlistData_->projection = track->projection();
}

void QNVDashPlaylistLoader::extractMetadataFromAudioTrack(const QNVDashTrackMetadata* track) {
  if (!track) {
    if (playlistData_->containsAudioTrack) OV_LOG(kOVAdLogLevelWarn, "%s", kNoAudioAnyMoreMessage);
    return;
  }
  playlistData_->containsAudioTrack = true;
  playlistData_->audioChannelConfiguration = track->audioChannelConfiguration();
  if (!playlistData_->audioRepresentationId.empty() &&
      playlistData_->audioRepresentationId != track->representationId()) {
    OV_LOG(kOVAdLogLevelDebug, kSwitchingAudioFormat, description().c_str(),
           playlistData_->audioRepresentationId.c_str(), track->representationId().c_str());
    OV_LOG(kOVAdLogLevelWarn, "%s", kSwitchingAudioMessage);
  }
  playlistData_->audioRepresentationId = track->representationId();
  playlistData_->addRepresentationProperties(QNVDashRepresentationProperties(*track), kQNVAudioTrack);
  playlistData_->addEncodedInitData(track->encodedInitData().value_or(""), track->representationId(), kQNVAudioTrack);
  playlistData_->addSegmentedInitUrl(track->initializationUrl(), track->representationId(), kQNVAudioTrack);
}

}  // namespace plexora
