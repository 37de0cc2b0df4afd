#include "util/qnv/asset/QNVLoopingAsset.h"

#include <cmath>
#include <cstdio>

#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {

namespace {

constexpr const char* kNotLoopable = "Asset must conform to looping protocol";
constexpr const char* kDealloc = "%p deallocing QNVLoopingAsset";
constexpr const char* kResourceLoader = "resourceLoader accessed in LoopingAsset";
constexpr const char* kDebugDetails = "Looping asset %s";
constexpr const char* kRangeStartKey = "start";
constexpr const char* kRangeDurationKey = "duration";

QNVAVAsset* avAsset(const std::shared_ptr<QNVAssetForPlayer>& asset) {
  return dynamic_cast<QNVAVAsset*>(asset.get());
}

QNVAVPlayerItem* playerItem(const std::shared_ptr<QNVAssetForPlayer>& asset) {
  return dynamic_cast<QNVAVPlayerItem*>(asset.get());
}

// `count` times `time`, in its timescale.
platform::MediaTime times(const platform::MediaTime& time, int64_t count) {
  if (!time.isNumeric()) return time;
  return platform::MediaTime::make(time.value * count, time.timescale);
}

}  // namespace

std::shared_ptr<QNVLoopingAsset> QNVLoopingAsset::initWithAssetBlock(const AssetBlock& assetBlock,
                                                                     int32_t loopCount) {
  if (!assetBlock) return nullptr;
  auto looping = std::shared_ptr<QNVLoopingAsset>(new QNVLoopingAsset(loopCount));
  looping->observation_ = OVAdKVOController::initWithObserver(looping, false);
  looping->originalAsset_ = assetBlock();
  looping->backupAsset_ = assetBlock();
  // Without two loopable engine assets there is nothing to loop.
  for (const auto* asset : {&looping->originalAsset_, &looping->backupAsset_}) {
    const bool loopable = *asset && dynamic_cast<QNVInfoForLoopableAsset*>(asset->get()) != nullptr &&
                          avAsset(*asset) != nullptr && playerItem(*asset) != nullptr;
    QNV_SOFT_ASSERT(loopable, "%s", kNotLoopable);
    if (!loopable) return nullptr;
    looping->observeLoadedTimeRanges(*asset);
  }
  return looping;
}

QNVLoopingAsset::~QNVLoopingAsset() {
  OV_LOG(kOVAdLogLevelVerbose, kDealloc, static_cast<const void*>(this));
  if (observation_) observation_->unobserveAll();
}

void QNVLoopingAsset::observeLoadedTimeRanges(const std::shared_ptr<QNVAssetForPlayer>& asset) {
  auto observable = std::dynamic_pointer_cast<OVAdKeyValueObservable>(asset);
  if (!observable) return;
  QNVAVPlayerItem* item = playerItem(asset);
  std::weak_ptr<QNVLoopingAsset> weakSelf = weak_from_this();
  observation_->observe(observable, kQNVLoadedTimeRangesKey, kOVAdKeyValueObservingOptionNew,
                        [weakSelf, item](const std::shared_ptr<OVAdKeyValueObserver>&, OVAdKeyValueObservable*,
                                         const platform::Dictionary&) {
                          if (auto self = weakSelf.lock()) self->loadedTimeRangesChanged(*item);
                        });
}

void QNVLoopingAsset::loadedTimeRangesChanged(QNVAVPlayerItem& item) {
  const std::vector<platform::MediaTimeRange> ranges = item.loadedTimeRanges();
  if (ranges.empty()) return;
  willChangeValueForKey(kQNVLoadedTimeRangesKey);
  loadedTimeRanges_ = {platform::MediaTimeRange::make(platform::MediaTime::zero(),
                                                      platform::add(loopOffset(), ranges.back().duration))};
  didChangeValueForKey(kQNVLoadedTimeRangesKey);
}

void QNVLoopingAsset::loadValuesAsynchronouslyForKeys(const std::vector<std::string>& keys,
                                                      std::function<void()> completionHandler) {
  std::weak_ptr<QNVLoopingAsset> weakSelf = weak_from_this();
  avAsset(originalAsset_)->loadValuesAsynchronouslyForKeys(keys, [weakSelf, keys, handler = std::move(completionHandler)] {
    const auto self = weakSelf.lock();
    if (!self) return;
    self->videoRealDuration_ = dynamic_cast<QNVInfoForLoopableAsset&>(*self->originalAsset_).videoTrackDuration();
    if (handler) handler();
    avAsset(self->backupAsset_)->loadValuesAsynchronouslyForKeys(keys, [] {});
  });
}

QNVKeyValueStatus QNVLoopingAsset::statusOfValueForKey(const std::string& key,
                                                       std::optional<platform::Error>* outError) const {
  return avAsset(originalAsset_)->statusOfValueForKey(key, outError);
}

platform::MediaTime QNVLoopingAsset::duration() const {
  if (loopCount_ == -1) return platform::MediaTime::positiveInfinity();
  return times(videoRealDuration_, int64_t{loopCount_} + 1);
}

std::shared_ptr<QNVAssetResourceLoader> QNVLoopingAsset::resourceLoader() {
  OV_LOG(kOVAdLogLevelWarn, "%s", kResourceLoader);
  return nullptr;
}

void QNVLoopingAsset::requestTimeLoadedUpdate() {
  playerItem(usingBackup_ ? backupAsset_ : originalAsset_)->requestTimeLoadedUpdate();
}

void QNVLoopingAsset::requestErrorNotificationIfNeeded() {
  playerItem(usingBackup_ ? backupAsset_ : originalAsset_)->requestErrorNotificationIfNeeded();
}

QNVAssetStatus QNVLoopingAsset::status() const {
  const bool ready = originalAsset_->status() == kQNVAssetStatusReadyToPlay &&
                     backupAsset_->status() == kQNVAssetStatusReadyToPlay;
  return ready ? kQNVAssetStatusReadyToPlay : kQNVAssetStatusFailed;
}

std::shared_ptr<const platform::VideoFormatDescription> QNVLoopingAsset::formatDesc() const {
  return originalAsset_->formatDesc();
}

platform::AudioStreamBasicDescription QNVLoopingAsset::asbd() const { return originalAsset_->asbd(); }

platform::Dictionary QNVLoopingAsset::audioStreamExtraParameters() const {
  return originalAsset_->audioStreamExtraParameters();
}

bool QNVLoopingAsset::containsTrack(QNVTrackIndex track) const { return originalAsset_->containsTrack(track); }

void QNVLoopingAsset::addErrorToLog(const platform::Error& error, bool shouldStopPlayback) {
  QNVPostAssetError(this, error, shouldStopPlayback);
}

std::optional<std::string> QNVLoopingAsset::representationId() const { return active().representationId(); }

platform::MediaTime QNVLoopingAsset::loopOffset() const { return times(videoRealDuration_, currentLoopCount_); }

void QNVLoopingAsset::switchLoopIfNeeded() {
  if (active().trackHasMoreFrames(kQNVVideoTrack) || !loopsRemain()) return;
  QNVAssetForPlayer& finished = active();
  usingBackup_ = !usingBackup_;
  ++currentLoopCount_;
  state_ = 2;
  // It waits at the start as the next backup.
  finished.seekToPosition(platform::MediaTime::zero());
}

bool QNVLoopingAsset::trackHasMoreFrames(QNVTrackIndex track) {
  return loopsRemain() || active().trackHasMoreFrames(track);
}

QNVFrameMetadata QNVLoopingAsset::currentFrameMetadataForTrack(QNVTrackIndex track) {
  if (!trackHasMoreFrames(track)) return {};
  QNVFrameMetadata metadata = active().currentFrameMetadataForTrack(track);
  switchLoopIfNeeded();
  if (track == kQNVAudioTrack) {
    if (state_ == 2) {
      metadata.flags |= kQNVFrameFlagFirstAudioPacketOfRun;
      state_ = 0;
    } else if (state_ == 1) {
      return {};
    } else if (platform::add(metadata.presentationTime, metadata.duration) >= videoRealDuration_) {
      state_ = 1;
      metadata.flags |= kQNVFrameFlagLastAudioPacketOfRun;
    }
  }
  const platform::MediaTime offset = loopOffset();
  metadata.decodeTime = platform::add(metadata.decodeTime, offset);
  metadata.presentationTime = platform::add(metadata.presentationTime, offset);
  return metadata;
}

const uint8_t* QNVLoopingAsset::currentFrameDataForTrack(QNVTrackIndex track) {
  return trackHasMoreFrames(track) ? active().currentFrameDataForTrack(track) : nullptr;
}

void QNVLoopingAsset::advanceFrameForTrack(QNVTrackIndex track) {
  active().advanceFrameForTrack(track);
  switchLoopIfNeeded();
}

void QNVLoopingAsset::updatePlaybackTime(const platform::MediaTime& time) {
  playbackTime_ = time;
  active().updatePlaybackTime(platform::subtract(time, loopOffset()));
}

bool QNVLoopingAsset::shouldPauseForStallingWithNextCheckCallback(StallCheckCallback callback, int32_t stallReason) {
  return active().shouldPauseForStallingWithNextCheckCallback(std::move(callback), stallReason);
}

bool QNVLoopingAsset::shouldRestartAfterStalling() { return active().shouldRestartAfterStalling(); }

bool QNVLoopingAsset::seekToPosition(const platform::MediaTime& time) {
  // Before loading the video's duration is not known: no loop to seek in.
  if (!time.isNumeric() || time < platform::MediaTime::zero() || !videoRealDuration_.isNumeric() ||
      !(videoRealDuration_ > platform::MediaTime::zero())) {
    return false;
  }
  const auto loops = static_cast<int64_t>(std::floor(time.seconds() / videoRealDuration_.seconds()));
  // Exact: the time less whole loops, not seconds rounded to a timescale.
  const platform::MediaTime withinLoop = platform::subtract(time, times(videoRealDuration_, loops));
  originalAsset_->seekToPosition(withinLoop);
  backupAsset_->seekToPosition(platform::MediaTime::zero());
  currentLoopCount_ = static_cast<int32_t>(loops);
  usingBackup_ = false;
  state_ = 2;
  return true;
}

bool QNVLoopingAsset::resetAssetToBeginningIfNeeded() {
  originalAsset_->resetAssetToBeginningIfNeeded();
  backupAsset_->resetAssetToBeginningIfNeeded();
  currentLoopCount_ = 0;
  usingBackup_ = false;
  return false;
}

platform::MediaTime QNVLoopingAsset::timeAfterSeek() const {
  return platform::add(active().timeAfterSeek(), loopOffset());
}

QNVAffineTransform QNVLoopingAsset::preferredTransform() const { return originalAsset_->preferredTransform(); }

std::string QNVLoopingAsset::debugDetails() const {
  const std::string inner = originalAsset_->debugDetails();
  std::vector<char> text(inner.size() + 32);
  std::snprintf(text.data(), text.size(), kDebugDetails, inner.c_str());
  return text.data();
}

bool QNVLoopingAsset::decompressedFramebuffer() const { return originalAsset_->decompressedFramebuffer(); }

bool QNVLoopingAsset::embedFrameInfo() const { return originalAsset_->embedFrameInfo(); }

int32_t QNVLoopingAsset::pauseReason() const { return active().pauseReason(); }

platform::Value QNVLoopingAsset::valueForKey(const std::string& key) const {
  if (key != kQNVLoadedTimeRangesKey) return {};
  platform::Array ranges;
  for (const auto& range : loadedTimeRanges_) {
    ranges.push_back(
        platform::Dictionary{{kRangeStartKey, range.start.seconds()}, {kRangeDurationKey, range.duration.seconds()}});
  }
  return ranges;
}

}  // namespace plexora
