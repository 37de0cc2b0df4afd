// The engine's player as the video ad views see it: the operations and the
// observable "status", "currentItem" and "rate" of a system player. Every
// command is queued to the synchronous player on the media-state queue; the
// reads answer at once on the caller's thread.
//
// Thread safety: every operation may be called from any thread. Commands run
// in order on the media-state queue; the reads take a lock (or read the
// synchronous player's locked snapshot), so they never race the queue's
// writes. Key-value-observing notices are posted on the media-state queue.
// Ownership: the facade owns its synchronous player and default audio
// queue; every queued command holds the facade until it has run. The
// synchronous player is released on the media-state queue, where its
// collaborators expect it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NotificationCenter.h"
#include "util/OVAdKeyValueObserving.h"
#include "util/qnv/audio/QNVAudioQueue.h"
#include "util/qnv/render/QNVPlayerLayer.h"
#include "util/qnv/player/QNVSynchronousPlayer.h"

namespace plexora {

inline constexpr const char* kQNVPlayerStatusKey = "status";
inline constexpr const char* kQNVPlayerCurrentItemKey = "currentItem";
inline constexpr const char* kQNVPlayerRateKey = "rate";

class QNVPlayer final : public QNVAVPlayer,
                        public OVAdKeyValueObservable,
                        public QNVSynchronousPlayerDelegate,
                        public std::enable_shared_from_this<QNVPlayer> {
 public:
  using CompletionHandler = QNVSynchronousPlayer::CompletionHandler;
  using TimeBlock = std::function<void(platform::MediaTime)>;

  // A new player is muted; callers unmute it.
  static std::shared_ptr<QNVPlayer> initWithDisplayEngine(std::shared_ptr<QNVPlayerLayer> displayEngine);
  ~QNVPlayer() override;
  QNVPlayer(const QNVPlayer&) = delete;
  QNVPlayer& operator=(const QNVPlayer&) = delete;

  void play() override;
  void pause() override;
  void setRenderer(std::shared_ptr<QNVPlayerRenderer> renderer);
  // Null puts the player's own audio queue back.
  void setAudioEngine(std::shared_ptr<QNVPlayerAudioEngine> audioEngine);
  void replaceCurrentItemWithPlayerItem(std::shared_ptr<QNVAssetForPlayer> item);
  void setMuted(bool muted) override;
  void setVolume(float volume);
  void setVolume(float volume, float rampTime);
  void setRate(float rate);
  void setAllowsExternalPlayback(bool) {}

  float volume() const { return synchronousPlayer_->volume(); }
  float rate() const override;
  bool allowsExternalPlayback() const { return false; }
  bool isMuted() const override { return synchronousPlayer_->isMuted(); }
  std::optional<platform::Error> error() const { return synchronousPlayer_->error(); }
  int64_t status() const;
  std::shared_ptr<QNVAssetForPlayer> currentItem() const;
  platform::MediaTime currentTime() const override { return synchronousPlayer_->currentTime(); }
  platform::MediaTime lastStartingTime() const { return synchronousPlayer_->lastStartingTime(); }
  platform::MediaTime lastRequestedStartTime() const { return synchronousPlayer_->lastRequestedStartTime(); }

  // `block` runs on `queue` with the clock's time each time the observer
  // fires; the answer is the token for removeTimeObserver.
  std::shared_ptr<QNVPlayerTimeObserver> addPeriodicTimeObserverForInterval(const platform::MediaTime& interval,
                                                                            platform::DispatchQueuePtr queue,
                                                                            TimeBlock block);
  void removeTimeObserver(std::shared_ptr<QNVPlayerTimeObserver> observer);

  void seekToTime(const platform::MediaTime& time) override;
  void seekToTime(const platform::MediaTime& time, CompletionHandler completionHandler);
  void seekToTime(const platform::MediaTime& time, const platform::MediaTime& toleranceBefore,
                  const platform::MediaTime& toleranceAfter);
  void seekToTime(const platform::MediaTime& time, const platform::MediaTime& toleranceBefore,
                  const platform::MediaTime& toleranceAfter, CompletionHandler completionHandler);

  void addLevelMeterCallback(QNVPlayerAudioEngine::LevelCallback callback, const platform::MediaTime& timeInterval);
  void removeLevelMeterCallback();
  void addRepresentationChangedCallback(QNVSynchronousPlayer::RepresentationChangedCallback callback);

  std::shared_ptr<QNVPlayerDisplayEngine> layer() const { return synchronousPlayer_->layer(); }

  // QNVSynchronousPlayerDelegate, on the media-state queue.
  void statusUpdated(int64_t status) override;
  void currentItemUpdated(const std::shared_ptr<QNVAssetForPlayer>& item) override;
  void rateUpdated(float rate) override;

  platform::Value valueForKey(const std::string& key) const override;

 private:
  QNVPlayer() = default;
  // Runs `command` with the synchronous player on the media-state queue,
  // keeping the facade alive until it has.
  void enqueue(std::function<void(QNVSynchronousPlayer&)> command);
  void _applicationWillResignActive();
  void _applicationDidBecomeActive();

  std::shared_ptr<QNVSynchronousPlayer> synchronousPlayer_;
  std::shared_ptr<QNVAudioQueue> defaultAudioEngine_;
  std::vector<platform::NotificationCenter::ObserverToken> applicationObservers_;

  mutable std::mutex mutex_;
  int64_t status_ = kQNVPlayerStatusUnknown;
  std::shared_ptr<QNVAssetForPlayer> currentItem_;
  float rate_ = 0.0f;
};

}  // namespace plexora
