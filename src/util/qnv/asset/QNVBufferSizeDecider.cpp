#include "util/qnv/asset/QNVBufferSizeDecider.h"

#include <cmath>
#include <cstdio>

#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kDescription = "<QNVBufferSizeDecider %p loaded-v/a:%f/%f>";
constexpr const char* kSecondDelegate = "TimeLoadedManager setDelegate called with non-nil delegate";
constexpr const char* kStallCheck = "%s timeloaded: %f playbacktime: %f";
constexpr const char* kBandwidth = "bandwidth is %f latency is %f unstall buffer is %f";
constexpr const char* kFetchGrew = "%s updating fetch buffer to %f";
constexpr const char* kUnstallGrew = "%s updating unstall buffer to %f";
constexpr const char* kStalled = "%s stalled: %f-%f<=%f";
constexpr const char* kTarget = "%s playback time:%f current load time:%f, target loaded time:%f";
constexpr const char* kLoadedWentBack = "time loaded should only increase, was: %f is: %f";

// Grown sizes at or beyond this are not taken.
constexpr double kGrowthLimit = 60.0;
constexpr int32_t kPauseReasonStallBeforeStart = 4;

enum : int64_t { kQualityPoor = 1, kQualityModerate = 2, kQualityGood = 3, kQualityExcellent = 4 };

}  // namespace

QNVBufferSizeDecider::QNVBufferSizeDecider(const QNVBufferSizeDeciderConfig& config)
    : fetchBufferSizeInSeconds_(config.fetchBufferSizeInSeconds),
      defaultFetchBufferSizeInSeconds_(config.fetchBufferSizeInSeconds),
      fetchMultiplier_(config.fetchMultiplier),
      unstallMultiplier_(config.unstallMultiplier),
      stallBufferSizeInSeconds_(config.stallBufferSizeInSeconds),
      firstUnstallBufferSizeInSeconds_(config.firstUnstallBufferSizeInSeconds),
      currentUnStallBufferSize_(config.unstallBufferSizeInSeconds),
      dynamicUnstallBufferEnabled_(config.dynamicUnstallBufferEnabled),
      unstallBufferSizeForExcellentNetwork_(config.unstallBufferSizeForExcellentNetwork),
      unstallBufferSizeForGoodNetwork_(config.unstallBufferSizeForGoodNetwork),
      unstallBufferSizeForModerateNetwork_(config.unstallBufferSizeForModerateNetwork),
      unstallBufferSizeForPoorNetwork_(config.unstallBufferSizeForPoorNetwork),
      unstallBufferSizeForUnknownNetwork_(config.unstallBufferSizeForUnknownNetwork),
      firstFetchSizeInSeconds_(config.firstFetchSizeInSeconds) {}

std::string QNVBufferSizeDecider::description() const {
  char text[128];
  std::snprintf(text, sizeof text, kDescription, static_cast<const void*>(this), furthestTimeLoadedInSeconds_[0],
                furthestTimeLoadedInSeconds_[1]);
  return text;
}

void QNVBufferSizeDecider::setDelegate(std::weak_ptr<QNVTimeLoadedDelegate> delegate) {
  if (delegate_.lock()) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kSecondDelegate);
    return;
  }
  delegate_ = std::move(delegate);
}

platform::MediaTime QNVBufferSizeDecider::timeLoaded() const {
  return loadedTimeRanges_.empty() ? platform::MediaTime::zero() : loadedTimeRanges_.back().duration;
}

float QNVBufferSizeDecider::timeLoadedInSeconds() const {
  return loadedTimeRanges_.empty() ? 0.0F : static_cast<float>(loadedTimeRanges_.back().duration.seconds());
}

void QNVBufferSizeDecider::requestTimeLoadedUpdate() {
  if (auto delegate = delegate_.lock()) {
    delegate->willChangeValue();
    delegate->didChangeValue();
  }
}

float QNVBufferSizeDecider::bufferedAmountFrom(float loadedSeconds) const {
  return loadedSeconds - static_cast<float>(playbackTime_.seconds());
}

float QNVBufferSizeDecider::bufferedAmount() const { return bufferedAmountFrom(timeLoadedInSeconds()); }

bool QNVBufferSizeDecider::updateTimeLoadedWithLoadedVideoTime(const platform::MediaTime& videoTime,
                                                               bool videoFullyDownloaded) {
  if (!videoTime.isValid()) return false;
  furthestTimeLoadedInSeconds_[kQNVVideoTrack] = videoTime.seconds();
  return updateTimeLoaded(videoTime, videoFullyDownloaded);
}

bool QNVBufferSizeDecider::updateTimeLoadedWithLoadedVideoTime(const platform::MediaTime& videoTime,
                                                               bool videoFullyDownloaded,
                                                               const platform::MediaTime& audioTime,
                                                               bool audioFullyDownloaded) {
  if (videoTime.isValid()) furthestTimeLoadedInSeconds_[kQNVVideoTrack] = videoTime.seconds();
  if (audioTime.isValid()) furthestTimeLoadedInSeconds_[kQNVAudioTrack] = audioTime.seconds();
  if (!videoTime.isValid()) return false;
  if (!audioTime.isValid()) return updateTimeLoaded(platform::MediaTime::zero(), false);

  // A track that is wholly at hand does not hold the other back.
  platform::MediaTime loaded;
  if (videoFullyDownloaded && audioFullyDownloaded) {
    loaded = audioTime > videoTime ? audioTime : videoTime;
  } else if (videoFullyDownloaded) {
    loaded = audioTime;
  } else if (audioFullyDownloaded) {
    loaded = videoTime;
  } else {
    loaded = audioTime < videoTime ? audioTime : videoTime;
  }
  return updateTimeLoaded(loaded, videoFullyDownloaded && audioFullyDownloaded);
}

bool QNVBufferSizeDecider::updateTimeLoaded(const platform::MediaTime& time, bool fullyLoaded) {
  if (!loadedTimeRanges_.empty() && time < loadedTimeRanges_.back().duration) {
    OV_LOG(kOVAdLogLevelWarn, kLoadedWentBack, loadedTimeRanges_.back().duration.seconds(), time.seconds());
  }
  loadedTimeRanges_ = {platform::MediaTimeRange::make(platform::MediaTime::zero(), time)};
  if (static_cast<double>(bufferedAmount()) > currentUnStallBufferSize_ || fullyLoaded) requestTimeLoadedUpdate();
  return true;
}

double QNVBufferSizeDecider::calUnstallBufferBasedOnConnection() const {
  switch (bandwidthProvider_ ? bandwidthProvider_->downloadBandwidthQuality() : 0) {
    case kQualityPoor:
      return unstallBufferSizeForPoorNetwork_;
    case kQualityModerate:
      return unstallBufferSizeForModerateNetwork_;
    case kQualityGood:
      return unstallBufferSizeForGoodNetwork_;
    case kQualityExcellent:
      return unstallBufferSizeForExcellentNetwork_;
    default:
      return unstallBufferSizeForUnknownNetwork_;
  }
}

bool QNVBufferSizeDecider::shouldStall() {
  const float loaded = timeLoadedInSeconds();
  const double playback = playbackTime_.seconds();
  OV_LOG(kOVAdLogLevelVerbose, kStallCheck, description().c_str(), static_cast<double>(loaded), playback);
  // A buffered amount that is not a number counts as above the threshold.
  if (!(static_cast<double>(bufferedAmountFrom(loaded)) <= stallBufferSizeInSeconds_)) return false;

  if (dynamicUnstallBufferEnabled_) {
    const double unstall = calUnstallBufferBasedOnConnection();
    if (unstall != currentUnStallBufferSize_) {
      currentUnStallBufferSize_ = unstall;
      fetchBufferSizeInSeconds_ = std::fmax(2.0 * unstall, defaultFetchBufferSizeInSeconds_);
    }
    OV_LOG(kOVAdLogLevelDebug, kBandwidth,
           bandwidthProvider_ ? bandwidthProvider_->downloadBandwidthEstimateBitsPerSecond() : 0.0,
           bandwidthProvider_ ? bandwidthProvider_->downloadLatencyInSecond() : 0.0, currentUnStallBufferSize_);
  } else if ((unstallMultiplier_ > 1.0 || fetchMultiplier_ > 1.0) && playbackTime_ > timeAfterSeek_) {
    if (fetchMultiplier_ > 1.0) {
      const double grown = fetchMultiplier_ * fetchBufferSizeInSeconds_;
      if (grown < kGrowthLimit) {
        fetchBufferSizeInSeconds_ = grown;
        OV_LOG(kOVAdLogLevelDebug, kFetchGrew, description().c_str(), grown);
      }
    }
    if (unstallMultiplier_ > 1.0) {
      const double grown = unstallMultiplier_ * currentUnStallBufferSize_;
      if (grown < kGrowthLimit) {
        currentUnStallBufferSize_ = grown;
        OV_LOG(kOVAdLogLevelDebug, kUnstallGrew, description().c_str(), grown);
      }
    }
    // Leaving a stall needs room to fetch beyond the unstall buffer.
    if (fetchBufferSizeInSeconds_ / 2.0 < currentUnStallBufferSize_) {
      fetchBufferSizeInSeconds_ = 2.0 * currentUnStallBufferSize_;
      OV_LOG(kOVAdLogLevelDebug, kFetchGrew, description().c_str(), fetchBufferSizeInSeconds_);
    }
  }
  OV_LOG(kOVAdLogLevelDebug, kStalled, description().c_str(), static_cast<double>(loaded), playback,
         currentUnStallBufferSize_);
  return true;
}

bool QNVBufferSizeDecider::shouldUnstall() const {
  const auto info = realtimeInfoProvider_.lock();
  const double threshold = info && info->pauseReason() == kPauseReasonStallBeforeStart
                               ? firstUnstallBufferSizeInSeconds_
                               : currentUnStallBufferSize_;
  const double buffered = (loadedTimeRanges_.empty() ? 0.0 : loadedTimeRanges_.back().duration.seconds()) -
                          playbackTime_.seconds();
  return buffered > threshold;
}

bool QNVBufferSizeDecider::shouldFetch() const {
  const float buffered = bufferedAmount();
  if (static_cast<double>(buffered) > fetchBufferSizeInSeconds_ / 2.0) return false;
  if (static_cast<float>(playbackTime_.seconds()) > 0.0F) return true;
  return static_cast<double>(buffered) < firstFetchSizeInSeconds_;
}

bool QNVBufferSizeDecider::shouldFetchForTrack(QNVTrackIndex track) const {
  if (track != kQNVVideoTrack && track != kQNVAudioTrack) return false;
  const float buffered = bufferedAmountFrom(static_cast<float>(furthestTimeLoadedInSeconds_[track]));
  if (static_cast<double>(buffered) > fetchBufferSizeInSeconds_ / 2.0) return false;
  if (static_cast<float>(playbackTime_.seconds()) > 0.0F) return true;
  return static_cast<double>(buffered) < firstFetchSizeInSeconds_;
}

float QNVBufferSizeDecider::timeToLoadInSeconds() const {
  const double playback = playbackTime_.seconds();
  const auto target = static_cast<float>(fetchBufferSizeInSeconds_ + playback);
  OV_LOG(kOVAdLogLevelVerbose, kTarget, description().c_str(), playback, static_cast<double>(timeLoadedInSeconds()),
         static_cast<double>(target));
  return target;
}

void QNVBufferSizeDecider::resetPlaybackTimeAndTimeLoaded() {
  playbackTime_ = platform::MediaTime::zero();
  const auto delegate = delegate_.lock();
  if (delegate) delegate->willChangeValue();
  loadedTimeRanges_.clear();
  furthestTimeLoadedInSeconds_ = {};
  if (delegate) delegate->didChangeValue();
}

platform::MediaTime QNVBufferSizeDecider::addFetchBufferToTime(const platform::MediaTime& time) const {
  return platform::add(time, platform::MediaTime::make(static_cast<int64_t>(fetchBufferSizeInSeconds_), 1));
}

bool QNVBufferSizeDecider::hasLoadedTime(const platform::MediaTime& time) const {
  for (const auto& range : loadedTimeRanges_) {
    if (range.containsTime(time)) return true;
  }
  return false;
}

}  // namespace plexora
