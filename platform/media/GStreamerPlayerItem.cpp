#include "platform/media/GStreamerPlayerItem.h"

#include <algorithm>
#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"

namespace plexora::platform {

namespace {

constexpr int kBufferedPercent = 100;

}  // namespace

void GStreamerFrameStore::store(std::shared_ptr<Image> frame, MediaTime time) {
  std::lock_guard lock(mutex_);
  frame_ = std::move(frame);
  time_ = time;
}

std::shared_ptr<Image> GStreamerFrameStore::frame() const {
  std::lock_guard lock(mutex_);
  return frame_;
}

std::optional<MediaTime> GStreamerFrameStore::time() const {
  std::lock_guard lock(mutex_);
  return time_;
}

std::shared_ptr<GStreamerPlayerItem> GStreamerPlayerItem::create(std::shared_ptr<GStreamerPlayerAsset> asset) {
  if (!asset) return nullptr;
  std::shared_ptr<GStreamerPlayerItem> item(new GStreamerPlayerItem(asset));
  const std::weak_ptr<GStreamerPlayerItem> weakItem = item;
  // GStreamer's threads only hand over: the item is used, and may be let
  // go, on the main queue alone.
  auto onEvent = [weakItem](const GStreamerPipelineEvent& event) {
    DispatchQueue::main()->async([weakItem, event] {
      if (const auto strong = weakItem.lock()) strong->handle(event);
    });
  };
  auto onFrame = [frames = item->frames_](std::shared_ptr<Image> frame, MediaTime time) {
    frames->store(std::move(frame), time);
  };
  item->pipeline_ = GStreamerPipeline::create(asset->url().absoluteString(), std::move(onEvent), std::move(onFrame));
  if (!item->pipeline_) {
    std::lock_guard lock(item->mutex_);
    item->status_ = SystemPlayerItemStatus::kFailed;
    item->error_ = Error(kGStreamerPlayerErrorDomain, kGStreamerPlayerErrorUnavailable,
                         {{kLocalizedDescriptionKey, std::string(kGStreamerUnavailableMessage)}});
  }
  return item;
}

GStreamerPlayerItem::~GStreamerPlayerItem() {
  if (pipeline_) pipeline_->stop();
}

// ---- Readings ----

MediaTime GStreamerPlayerItem::currentTime() const {
  std::lock_guard lock(mutex_);
  if (ended_) return duration_;
  if (seekTarget_) return *seekTarget_;
  if (status_ != SystemPlayerItemStatus::kReadyToPlay || !pipeline_) return lastPosition_;
  const std::optional<MediaTime> position = pipeline_->position();
  if (!position) return lastPosition_;
  MediaTime time = *position;
  if (duration_ > MediaTime::zero() && time > duration_) time = duration_;
  return time;
}

bool GStreamerPlayerItem::isPlaybackLikelyToKeepUp() const {
  std::lock_guard lock(mutex_);
  return likelyToKeepUp_;
}

bool GStreamerPlayerItem::isPlaybackBufferFull() const {
  std::lock_guard lock(mutex_);
  return bufferFull_;
}

SystemPlayerItemStatus GStreamerPlayerItem::status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

std::optional<Error> GStreamerPlayerItem::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

MediaTime GStreamerPlayerItem::duration() const {
  std::lock_guard lock(mutex_);
  return duration_;
}

float GStreamerPlayerItem::rate() const {
  std::lock_guard lock(mutex_);
  const bool moving = wantsToPlay_ && !ended_ && !stalled_ && status_ != SystemPlayerItemStatus::kFailed;
  return moving ? rate_ : 0.0f;
}

bool GStreamerPlayerItem::isAdvancing() const {
  std::lock_guard lock(mutex_);
  return advancing_;
}

bool GStreamerPlayerItem::isSeeking() const {
  std::lock_guard lock(mutex_);
  return seekTarget_.has_value();
}

// ---- Observers ----

SystemPlayerItem::ObserverToken GStreamerPlayerItem::addObserver(Observer observer) {
  const ObserverToken token = nextToken_++;
  observers_.emplace(token, std::make_shared<Observer>(std::move(observer)));
  return token;
}

void GStreamerPlayerItem::removeObserver(ObserverToken token) { observers_.erase(token); }

void GStreamerPlayerItem::setPlaybackChangeHandler(std::function<void()> handler) {
  playbackChangeHandler_ = std::move(handler);
}

void GStreamerPlayerItem::tell(const std::vector<std::string>& keys) {
  for (const std::string& key : keys) {
    // A copy: an observer may add or remove observers while it is told.
    const auto observers = observers_;
    for (const auto& [token, observer] : observers) {
      if (observers_.count(token) != 0) (*observer)(key);
    }
  }
}

void GStreamerPlayerItem::playbackChanged() {
  if (playbackChangeHandler_) playbackChangeHandler_();
}

// ---- Commands ----

void GStreamerPlayerItem::setRate(float rate) {
  bool rateSeek = false;
  {
    std::lock_guard lock(mutex_);
    if (rate <= 0.0f) {
      wantsToPlay_ = false;
    } else if (!ended_) {
      rateSeek = rate != rate_ && status_ == SystemPlayerItemStatus::kReadyToPlay;
      rate_ = rate;
      wantsToPlay_ = true;
    }
  }
  // GStreamer changes speed through a seek from where playback stands.
  if (rateSeek) seek(currentTime(), nullptr);
  applyState();
}

void GStreamerPlayerItem::seek(const MediaTime& time, SystemPlayer::SeekCompletion completion) {
  const MediaTime target = time.isNumeric() && time > MediaTime::zero() ? time : MediaTime::zero();
  completeSeeks(false);
  bool failedNow = false;
  {
    std::lock_guard lock(mutex_);
    if (status_ == SystemPlayerItemStatus::kFailed) {
      failedNow = true;
    } else {
      ended_ = false;
      seekTarget_ = target;
      seekWaitsForPlaying_ = false;
      if (completion) seekCompletions_.push_back(std::move(completion));
      seekWaitsForReady_ = status_ == SystemPlayerItemStatus::kUnknown;
    }
  }
  if (failedNow) {
    if (completion) DispatchQueue::main()->async([completion] { completion(false); });
    return;
  }
  bool waits = false;
  float rate = 1.0f;
  {
    std::lock_guard lock(mutex_);
    waits = seekWaitsForReady_;
    rate = rate_;
  }
  if (!waits && !pipeline_->seek(target, rate)) {
    {
      std::lock_guard lock(mutex_);
      seekTarget_.reset();
    }
    completeSeeks(false);
  }
  applyState();
}

void GStreamerPlayerItem::completeSeeks(bool finished) {
  std::vector<SystemPlayer::SeekCompletion> completions;
  {
    std::lock_guard lock(mutex_);
    completions.swap(seekCompletions_);
  }
  for (const auto& completion : completions) completion(finished);
}

void GStreamerPlayerItem::setVolume(float volume) {
  if (pipeline_) pipeline_->setVolume(std::clamp(volume, 0.0f, 1.0f));
}

void GStreamerPlayerItem::setMuted(bool muted) {
  if (pipeline_) pipeline_->setMuted(muted);
}

void GStreamerPlayerItem::applyState() {
  bool changed = false;
  bool play = false;
  bool landsNow = false;
  {
    std::lock_guard lock(mutex_);
    play = status_ == SystemPlayerItemStatus::kReadyToPlay && wantsToPlay_ && !ended_ && !buffering_ &&
           !seekWaitsForReady_;
    changed = play != advancing_;
    advancing_ = play;
    // Paused before it played again: the seek stands where it was asked.
    landsNow = !play && seekWaitsForPlaying_;
  }
  if (changed) pipeline_->setPlaying(play);
  if (landsNow) {
    landSeek();
  } else if (changed) {
    playbackChanged();
  }
}

// ---- GStreamer's messages, on the main queue ----

void GStreamerPlayerItem::handle(const GStreamerPipelineEvent& event) {
  if (status() == SystemPlayerItemStatus::kFailed) return;
  std::vector<std::string> changed;
  switch (event.kind) {
    case GStreamerPipelineEvent::Kind::kPrerolled:
      prerolled(changed);
      break;
    case GStreamerPipelineEvent::Kind::kPlaying: {
      bool lands = false;
      {
        std::lock_guard lock(mutex_);
        lands = seekWaitsForPlaying_;
      }
      if (lands) landSeek();
      break;
    }
    case GStreamerPipelineEvent::Kind::kBuffering:
      buffering(event.bufferingPercent, changed);
      break;
    case GStreamerPipelineEvent::Kind::kEndOfStream:
      ended();
      break;
    case GStreamerPipelineEvent::Kind::kError:
      failed(event.error.value_or(Error(kGStreamerPlayerErrorDomain, 0)), changed);
      break;
    case GStreamerPipelineEvent::Kind::kDurationChanged:
      if (const auto duration = pipeline_->duration()) {
        std::lock_guard lock(mutex_);
        if (!(duration_ == *duration)) {
          duration_ = *duration;
          changed.push_back(kSystemPlayerItemDurationKey);
        }
      }
      break;
  }
  tell(changed);
}

void GStreamerPlayerItem::prerolled(std::vector<std::string>& changed) {
  if (status() == SystemPlayerItemStatus::kUnknown && !pipeline_->hasPlayableStreams()) {
    failed(Error(kGStreamerPlayerErrorDomain, kGStreamerPlayerErrorNothingToPlay,
                 {{kLocalizedDescriptionKey, std::string(kGStreamerNothingToPlayMessage)}}),
           changed);
    return;
  }
  bool firstTime = false;
  std::optional<MediaTime> pendingSeek;
  const std::optional<MediaTime> duration = pipeline_->duration();
  {
    std::lock_guard lock(mutex_);
    firstTime = status_ == SystemPlayerItemStatus::kUnknown;
    if (firstTime) {
      status_ = SystemPlayerItemStatus::kReadyToPlay;
      changed.push_back(kSystemPlayerItemStatusKey);
      if (duration && !(duration_ == *duration)) {
        duration_ = *duration;
        changed.push_back(kSystemPlayerItemDurationKey);
      }
      if (!sawBuffering_ && !likelyToKeepUp_) {
        likelyToKeepUp_ = true;
        changed.push_back(kSystemPlayerItemLikelyToKeepUpKey);
      }
      if (seekWaitsForReady_) {
        seekWaitsForReady_ = false;
        pendingSeek = seekTarget_;
      }
    }
  }
  if (pendingSeek) {
    float rate = 1.0f;
    {
      std::lock_guard lock(mutex_);
      rate = rate_;
    }
    if (!pipeline_->seek(*pendingSeek, rate)) {
      {
        std::lock_guard lock(mutex_);
        seekTarget_.reset();
      }
      completeSeeks(false);
    }
  }
  bool landsNow = false;
  {
    std::lock_guard lock(mutex_);
    if (!firstTime && seekTarget_ && !seekWaitsForReady_) {
      seekWaitsForPlaying_ = advancing_;
      landsNow = !advancing_;
    }
  }
  if (landsNow) landSeek();
  applyState();
}

void GStreamerPlayerItem::landSeek() {
  {
    std::lock_guard lock(mutex_);
    if (seekTarget_) lastPosition_ = *seekTarget_;
    seekTarget_.reset();
    seekWaitsForPlaying_ = false;
  }
  completeSeeks(true);
  playbackChanged();
}

void GStreamerPlayerItem::buffering(int percent, std::vector<std::string>& changed) {
  const bool buffered = percent >= kBufferedPercent;
  bool stalledNow = false;
  {
    std::lock_guard lock(mutex_);
    sawBuffering_ = true;
    buffering_ = !buffered;
    if (likelyToKeepUp_ != buffered) {
      likelyToKeepUp_ = buffered;
      changed.push_back(kSystemPlayerItemLikelyToKeepUpKey);
    }
    if (bufferFull_ != buffered) {
      bufferFull_ = buffered;
      changed.push_back(kSystemPlayerItemBufferFullKey);
    }
    if (!buffered && advancing_ && !stalled_) stalled_ = stalledNow = true;
    if (buffered) stalled_ = false;
  }
  applyState();
  if (stalledNow) NotificationCenter::defaultCenter().post(kAVPlayerItemPlaybackStalledNotification, this);
}

void GStreamerPlayerItem::ended() {
  {
    std::lock_guard lock(mutex_);
    if (const auto duration = pipeline_->duration()) duration_ = *duration;
    ended_ = true;
    wantsToPlay_ = false;
  }
  applyState();
  NotificationCenter::defaultCenter().post(kAVPlayerItemDidPlayToEndTimeNotification, this);
}

void GStreamerPlayerItem::failed(const Error& error, std::vector<std::string>& changed) {
  bool wasReady = false;
  {
    std::lock_guard lock(mutex_);
    wasReady = status_ == SystemPlayerItemStatus::kReadyToPlay;
    status_ = SystemPlayerItemStatus::kFailed;
    error_ = error;
    wantsToPlay_ = false;
    advancing_ = false;
    seekTarget_.reset();
    changed.push_back(kSystemPlayerItemStatusKey);
  }
  pipeline_->stop();
  completeSeeks(false);
  playbackChanged();
  if (wasReady) NotificationCenter::defaultCenter().post(kAVPlayerItemFailedToPlayToEndTimeNotification, this);
}

}  // namespace plexora::platform
