// Key load, status, playback-time updates, the public seek entry, stalls,
// pause and resume, live timestamps and the stream-dry notices.
#include <cmath>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/NotificationCenter.h"
#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"
#include "util/qnv/dash/QNVDashAsset.h"

namespace plexora {

namespace {

constexpr const char* kPlaybackTime = "%s setting playback time to: %f";
constexpr const char* kSeekUnloaded = "%s seek is not supported if the asset is unloaded";
constexpr const char* kPlaylistBeforeSet = "Playlist data accessed before being set";
constexpr const char* kNonNumericSeek =
    "Attempting to seek non-live DASH to non-numeric time:%f, invalid:%d, indefinite:%d, fragmented:%d";
constexpr const char* kSegmentedSeek = "%s segmented seek for time:%f newTime:%f";
constexpr const char* kUnstalled = "%s unstalled: enough data loaded or or fullyDownloaded:%d";
constexpr const char* kCancelOnPause = "%s Canceling requests due to pause";
constexpr const char* kLiveResumed = "%s Live playback resumed. unplayedDataMs:%llu";
constexpr const char* kDryWithoutShow = "Stream dry notification sent with shouldShow==NO";

using ull = unsigned long long;

}  // namespace

void QNVDashAsset::loadValuesAsynchronouslyForKeys(const std::vector<std::string>& /*keys*/,
                                                   std::function<void()> completionHandler) {
  auto self = shared_from_this();
  QNVDispatchAsyncIfNeeded(async_, dispatchQueue_, [self, handler = std::move(completionHandler)]() mutable {
    if (self->assetLoaded_) {
      if (handler) handler();
      return;
    }
    // A later request replaces the earlier handler, which is never called.
    self->assetLoadedHandler_ = std::move(handler);
    self->loadKeepAlive_ = self;
    if (self->waitingOnLoad_) return;
    self->loadingStartedTimestamp_ = platform::Clock::current()->monotonicTime();
    self->waitingOnLoad_ = true;
    self->hasFailed_ = false;
    self->potentiallyStartRequest();
  });
}

void QNVDashAsset::completeLoad() {
  assetLoaded_ = true;
  auto handler = std::move(assetLoadedHandler_);
  assetLoadedHandler_ = nullptr;
  // Released last: the asset may go with it.
  auto keepAlive = std::move(loadKeepAlive_);
  if (handler) handler();
}

QNVKeyValueStatus QNVDashAsset::statusOfValueForKey(const std::string& /*key*/,
                                                    std::optional<platform::Error>* outError) const {
  return QNVKeyStatusForLoadingError(loadingError_, parsedHeadersForEachTrack_, outError);
}

platform::MediaTime QNVDashAsset::duration() const {
  if (!playlistData_->isLive()) return duration_;
  return fullyDownloaded() ? bufferSizeDecider_.timeLoaded() : platform::MediaTime::indefinite();
}

platform::MediaTime QNVDashAsset::currentTime() const { return bufferSizeDecider_.playbackTime(); }

platform::MediaTime QNVDashAsset::timeAfterSeek() const { return bufferSizeDecider_.timeAfterSeek(); }

void QNVDashAsset::updatePlaybackTime(const platform::MediaTime& time) {
  QNV_SOFT_ASSERT(dispatchQueue_->isCurrent(), "%s", "");
  bufferSizeDecider_.setPlaybackTime(time);
  OV_LOG(kOVAdLogLevelVerbose, kPlaybackTime, description().c_str(), time.seconds());
  potentiallyStartRequest();
}

void QNVDashAsset::requestTimeLoadedUpdate() {
  auto self = shared_from_this();
  QNVDispatchAsyncIfNeeded(async_, dispatchQueue_, [self] { self->bufferSizeDecider_.requestTimeLoadedUpdate(); });
}

void QNVDashAsset::requestErrorNotificationIfNeeded() {
  auto self = shared_from_this();
  QNVDispatchAsyncIfNeeded(async_, dispatchQueue_, [self] {
    if (self->hasFailed_ && self->error_) self->addErrorToLog(*self->error_, true);
  });
}

bool QNVDashAsset::resetAssetToBeginningIfNeeded() {
  if (!shouldResetAssetToBeginning()) return false;
  const bool sought = seekToPosition(platform::MediaTime::zero());
  return sought && playlistData_->isLive();
}

bool QNVDashAsset::seekToPosition(const platform::MediaTime& time) {
  QNV_SOFT_ASSERT(dispatchQueue_->isCurrent(), "%s", "");
  if (!parsedHeadersForEachTrack_) {
    OV_LOG(kOVAdLogLevelDebug, kSeekUnloaded, description().c_str());
    return false;
  }
  if (!playlistData_->isParsed) OV_LOG(kOVAdLogLevelWarn, "%s", kPlaylistBeforeSet);
  if (!playlistData_->isLive() && !time.isNumeric()) {
    OV_LOG(kOVAdLogLevelWarn, kNonNumericSeek, time.seconds(), time.isValid() ? 0 : 1, time.isIndefinite() ? 1 : 0,
           playlistData_->isFragmented() ? 1 : 0);
    // There is no position to go to: a segment lookup or a byte offset
    // computed from it would be garbage.
    return false;
  }
  if (playlistData_->isFragmented()) return fragmentedSeekToPosition(time);
  if (playlistData_->isLive()) return liveSeekToNextKeyFrame();

  const QNVSeekStatus status = segmentedVodSeekToPosition(time);
  if (!status.seekSucceeded) return false;
  OV_LOG(kOVAdLogLevelDebug, kSegmentedSeek, description().c_str(), time.seconds(), status.seekTime.seconds());
  if (status.seekVideo) {
    seekDataLoaderToTime(status.seekTime, status.videoOffset, status.shouldUpdateOffset, kQNVVideoTrack);
  }
  if (status.seekAudio) {
    seekDataLoaderToTime(status.seekTime, status.audioOffset, status.shouldUpdateOffset, kQNVAudioTrack);
  }
  return true;
}

bool QNVDashAsset::containsTrack(QNVTrackIndex track) const {
  if (track == kQNVVideoTrack) return true;
  return track == kQNVAudioTrack && containsAudio();
}

bool QNVDashAsset::trackHasMoreFrames(QNVTrackIndex track) {
  if (!isFullyDownloadedForTrack(track)) return true;
  return !frames_[trackSlot(track)]->isAtEnd();
}

bool QNVDashAsset::shouldPauseForStallingWithNextCheckCallback(StallCheckCallback callback, int32_t stallReason) {
  if (fullyDownloaded() || !bufferSizeDecider_.shouldStall()) return false;
  playerCheckForStallCallback_ = std::move(callback);
  isStalled_ = true;
  pauseReason_ = stallReason;
  sendDryNotificationIfApplicable();
  return true;
}

bool QNVDashAsset::shouldRestartAfterStalling() {
  const bool isFullyDownloaded = fullyDownloaded();
  if (!isFullyDownloaded && !bufferSizeDecider_.shouldUnstall()) {
    sendDryNotificationIfApplicable();
    potentiallyStartRequest();
    return false;
  }
  playerCheckForStallCallback_ = nullptr;
  isStalled_ = false;
  pauseReason_ = 0;
  sendUndryNotificationIfApplicable();
  OV_LOG(kOVAdLogLevelVerbose, kUnstalled, description().c_str(), isFullyDownloaded ? 1 : 0);
  return true;
}

uint32_t QNVDashAsset::unplayedVideoMilliseconds() {
  auto& video = *frames_[0];
  if (video.isAtEnd() || timescale_[0] == 0) return 0;
  const uint64_t last = video.lastFrame().dts;
  const uint64_t current = video.currentFrame().dts;
  if (last <= current) return 0;
  // Decode times are in the track's units; the playlist loader counts in
  // milliseconds.
  return static_cast<uint32_t>((last - current) * 1000 / timescale_[0]);
}

void QNVDashAsset::playbackPauseRequested(int32_t reason) {
  sendUndryNotificationIfApplicable();
  pauseReason_ = reason;
  if (isDiskCacheEnabled()) {
    OV_LOG(kOVAdLogLevelDebug, kCancelOnPause, description().c_str());
    for (const QNVTrackIndex track : {kQNVVideoTrack, kQNVAudioTrack}) {
      const auto& id = fetchingRepIds_[trackSlot(track)];
      if (!id) continue;
      if (const auto data = existingDataForRep(id, track); data && data->dataLoader) data->dataLoader->cancelRequests();
    }
  }
  if (!playlistData_->isLive() && playlistData_->isParsed) return;
  playlistLoader_->pauseWithUnplayedData(unplayedVideoMilliseconds());
  potentiallyStartRequest();
}

void QNVDashAsset::playbackStarted() {
  if (playlistData_->isLive()) {
    const uint32_t unplayed = frames_[0]->frameCount() == 0 ? 0 : unplayedVideoMilliseconds();
    OV_LOG(kOVAdLogLevelDebug, kLiveResumed, description().c_str(), static_cast<ull>(unplayed));
  }
  playlistLoader_->resume();
  pauseReason_ = 0;
}

void QNVDashAsset::playlistUpdated() { potentiallyStartRequest(); }

double QNVDashAsset::nextLiveAudioTimestamp() {
  if (!assetLoaded_ || !playlistData_->isSegmented()) return -1.0;
  const platform::MediaTime next = nextAbsoluteAudioTime();
  if (!next.isValid()) return -1.0;
  return next.seconds() * 1000.0;
}

double QNVDashAsset::elapsedVideoTimestamp() {
  const double elapsed = nextLiveAudioTimestamp() - playlistLoader_->publishFrameTimeMS();
  return elapsed < 0.0 ? 0.0 : elapsed;
}

bool QNVDashAsset::isCurrentFrameAKeyframe() {
  const uint32_t current = frames_[0]->currentFrameIndex();
  while (!gopKeyframeMetadata_.empty() && current > static_cast<uint32_t>(gopKeyframeMetadata_.front().index)) {
    gopKeyframeMetadata_.erase(gopKeyframeMetadata_.begin());
  }
  const int32_t first = gopKeyframeMetadata_.empty() ? 0 : gopKeyframeMetadata_.front().index;
  return current == static_cast<uint32_t>(first);
}

void QNVDashAsset::sendDryNotificationIfApplicable() {
  if (!shouldShowBroadcasterInterruptedMessage_ || sentStreamDryNotification_ || !playlistLoader_->isStreamDry()) {
    return;
  }
  sentStreamDryNotification_ = true;
  platform::NotificationCenter::defaultCenter().post(kAVPlayerItemStreamDryNotification, this);
}

void QNVDashAsset::sendUndryNotificationIfApplicable() {
  if (!sentStreamDryNotification_) return;
  if (!shouldShowBroadcasterInterruptedMessage_) OV_LOG(kOVAdLogLevelWarn, "%s", kDryWithoutShow);
  sentStreamDryNotification_ = false;
  platform::NotificationCenter::defaultCenter().post(kAVPlayerItemStreamUnDryNotification, this);
}

}  // namespace plexora
