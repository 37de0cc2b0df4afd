// The buffering policy of the assets that download their media: the owning
// asset tells it the engine's playback time and how far each track is
// loaded; it keeps the one loaded range the asset publishes and answers
// whether playback must stall, whether a stall may end, whether to fetch
// and up to which time. After a stall it may enlarge its fetch and unstall
// sizes by fixed multipliers (a product of 60 s or more is not taken), or
// follow the connection quality a bandwidth provider reports.
//
// Arithmetic: the stall, fetch and loaded-time tests take the buffered
// amount (loaded seconds minus playback seconds) in single precision and
// compare it, widened, with the double sizes; the unstall test works in
// double throughout.
//
// Thread safety: none; every call comes on the owning asset's queue, and the
// delegate's change notices run inside the call that causes them.
// Ownership: the asset owns its decider; the decider holds its delegate and
// real-time information provider weakly and its bandwidth provider strongly.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/MediaTime.h"
#include "util/qnv/asset/QNVMediaAsset.h"

namespace plexora {

struct QNVBufferSizeDeciderConfig {
  double firstFetchSizeInSeconds = 0.0;
  double fetchBufferSizeInSeconds = 0.0;
  double fetchMultiplier = 1.0;
  double unstallBufferSizeInSeconds = 0.0;
  double stallBufferSizeInSeconds = 0.0;
  double firstUnstallBufferSizeInSeconds = 0.0;
  bool dynamicUnstallBufferEnabled = false;
  double unstallBufferSizeForExcellentNetwork = 0.0;
  double unstallBufferSizeForGoodNetwork = 0.0;
  double unstallBufferSizeForModerateNetwork = 0.0;
  double unstallBufferSizeForPoorNetwork = 0.0;
  double unstallBufferSizeForUnknownNetwork = 0.0;
  double unstallMultiplier = 1.0;
};

// The owning asset: announces its "loadedTimeRanges" around each change.
class QNVTimeLoadedDelegate {
 public:
  virtual ~QNVTimeLoadedDelegate() = default;
  virtual void willChangeValue() = 0;
  virtual void didChangeValue() = 0;
};

// What an asset tells the decider about playback as it stands.
class QNVBufferDeciderRealTimeInfo {
 public:
  virtual ~QNVBufferDeciderRealTimeInfo() = default;
  // 3 after playback has started, 4 before the first start, 0 unstalled.
  virtual int32_t pauseReason() const = 0;
  virtual double assetCurrentBitRate() const = 0;
};

inline constexpr int64_t kQNVReachabilityUnknown = 0;
inline constexpr int64_t kQNVReachabilityCellular = 2;
inline constexpr int64_t kQNVReachabilityWiFi = 4;

// A bandwidth estimator that a DASH asset's creator supplies.
class QNVBandwidthProvider {
 public:
  virtual ~QNVBandwidthProvider() = default;
  // 1 poor, 2 moderate, 3 good, 4 excellent; anything else is unclassified.
  virtual int64_t downloadBandwidthQuality() const = 0;
  virtual double downloadBandwidthEstimateBitsPerSecond() const = 0;
  virtual double downloadLatencyInSecond() const = 0;
  // The network in use: kQNVReachabilityWiFi, kQNVReachabilityCellular, or
  // anything else when neither (or unknown).
  virtual int64_t currentReachabilityState() const { return kQNVReachabilityUnknown; }
};

class QNVBufferSizeDecider final {
 public:
  explicit QNVBufferSizeDecider(const QNVBufferSizeDeciderConfig& config);

  // "<QNVBufferSizeDecider %p loaded-v/a:%f/%f>".
  std::string description() const;
  // Only the first delegate is taken; a second is refused with a warning.
  void setDelegate(std::weak_ptr<QNVTimeLoadedDelegate> delegate);

  // The end of the loaded range; zero without one.
  platform::MediaTime timeLoaded() const;
  float timeLoadedInSeconds() const;
  // Sends the delegate's change notices.
  void requestTimeLoadedUpdate();
  // Answer false for an invalid video time, which changes nothing.
  bool updateTimeLoadedWithLoadedVideoTime(const platform::MediaTime& videoTime, bool videoFullyDownloaded);
  bool updateTimeLoadedWithLoadedVideoTime(const platform::MediaTime& videoTime, bool videoFullyDownloaded,
                                           const platform::MediaTime& audioTime, bool audioFullyDownloaded);
  double calUnstallBufferBasedOnConnection() const;
  bool shouldStall();
  bool shouldUnstall() const;
  bool shouldFetch() const;
  bool shouldFetchForTrack(QNVTrackIndex track) const;
  // Playback seconds plus the fetch buffer.
  float timeToLoadInSeconds() const;
  // Forgets the playback time and the loaded time; the sizes stay.
  void resetPlaybackTimeAndTimeLoaded();
  // The time plus the fetch buffer's whole seconds.
  platform::MediaTime addFetchBufferToTime(const platform::MediaTime& time) const;
  bool hasLoadedTime(const platform::MediaTime& time) const;

  double currentUnstallBuffer() const { return currentUnStallBufferSize_; }
  double currentFetchBuffer() const { return fetchBufferSizeInSeconds_; }
  const std::vector<platform::MediaTimeRange>& loadedTimeRanges() const { return loadedTimeRanges_; }
  const platform::MediaTime& playbackTime() const { return playbackTime_; }
  void setPlaybackTime(const platform::MediaTime& time) { playbackTime_ = time; }
  const platform::MediaTime& timeAfterSeek() const { return timeAfterSeek_; }
  void setTimeAfterSeek(const platform::MediaTime& time) { timeAfterSeek_ = time; }
  double firstFetchSizeInSeconds() const { return firstFetchSizeInSeconds_; }
  const std::shared_ptr<QNVBandwidthProvider>& bandwidthProvider() const { return bandwidthProvider_; }
  void setBandwidthProvider(std::shared_ptr<QNVBandwidthProvider> provider) { bandwidthProvider_ = std::move(provider); }
  void setRealtimeInfoProvider(std::weak_ptr<QNVBufferDeciderRealTimeInfo> provider) {
    realtimeInfoProvider_ = std::move(provider);
  }

 private:
  bool updateTimeLoaded(const platform::MediaTime& time, bool fullyLoaded);
  // Loaded seconds minus playback seconds, in single precision.
  float bufferedAmount() const;
  float bufferedAmountFrom(float loadedSeconds) const;

  double fetchBufferSizeInSeconds_;
  const double defaultFetchBufferSizeInSeconds_;
  const double fetchMultiplier_;
  const double unstallMultiplier_;
  const double stallBufferSizeInSeconds_;
  const double firstUnstallBufferSizeInSeconds_;
  double currentUnStallBufferSize_;
  const bool dynamicUnstallBufferEnabled_;
  const double unstallBufferSizeForExcellentNetwork_;
  const double unstallBufferSizeForGoodNetwork_;
  const double unstallBufferSizeForModerateNetwork_;
  const double unstallBufferSizeForPoorNetwork_;
  const double unstallBufferSizeForUnknownNetwork_;
  std::array<double, 2> furthestTimeLoadedInSeconds_{};
  std::weak_ptr<QNVTimeLoadedDelegate> delegate_;
  std::vector<platform::MediaTimeRange> loadedTimeRanges_;
  const double firstFetchSizeInSeconds_;
  std::shared_ptr<QNVBandwidthProvider> bandwidthProvider_;
  std::weak_ptr<QNVBufferDeciderRealTimeInfo> realtimeInfoProvider_;
  platform::MediaTime playbackTime_ = platform::MediaTime::zero();
  platform::MediaTime timeAfterSeek_ = platform::MediaTime::zero();
};

}  // namespace plexora
