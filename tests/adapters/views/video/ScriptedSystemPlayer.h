// A system player a test scripts: the test sets the item's state and tells
// its observers, posts its notifications, and reads what the views asked
// of the player. For what a real player only does when the network
// falters (stalls, refilled buffers) and for times chosen by the test.
//
// Thread safety: main thread only, like the views that use it.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/media/SystemPlayer.h"
#include "platform/media/SystemPlayerKit.h"

namespace plexora::testing {

using platform::MediaTime;

class ScriptedSystemPlayerItem final : public platform::SystemPlayerItem {
 public:
  MediaTime currentTime() const override { return time; }
  bool isPlaybackLikelyToKeepUp() const override { return likelyToKeepUp; }
  bool isPlaybackBufferFull() const override { return bufferFull; }
  platform::SystemPlayerItemStatus status() const override { return itemStatus; }
  std::optional<platform::Error> error() const override { return itemError; }
  MediaTime duration() const override { return itemDuration; }
  std::shared_ptr<platform::PlayerAsset> asset() const override { return nullptr; }
  ObserverToken addObserver(Observer observer) override {
    observers[next] = std::move(observer);
    return next++;
  }
  void removeObserver(ObserverToken token) override { observers.erase(token); }

  void tell(const std::string& key) {
    for (const auto& [token, observer] : std::map(observers)) observer(key);
  }
  void keepsUp(bool keeps) {
    likelyToKeepUp = keeps;
    tell(platform::kSystemPlayerItemLikelyToKeepUpKey);
  }
  void fills(bool full) {
    bufferFull = full;
    tell(platform::kSystemPlayerItemBufferFullKey);
  }
  void stalls() {
    platform::NotificationCenter::defaultCenter().post(platform::kAVPlayerItemPlaybackStalledNotification, this);
  }

  MediaTime time = MediaTime::zero();
  MediaTime itemDuration = MediaTime::make(30, 1);
  bool likelyToKeepUp = false;
  bool bufferFull = false;
  platform::SystemPlayerItemStatus itemStatus = platform::SystemPlayerItemStatus::kUnknown;
  std::optional<platform::Error> itemError;
  std::map<ObserverToken, Observer> observers;
  ObserverToken next = 1;
};

class ScriptedSystemPlayer final : public platform::SystemPlayer {
 public:
  explicit ScriptedSystemPlayer(std::shared_ptr<ScriptedSystemPlayerItem> item) : item_(std::move(item)) {}
  void play() override {
    ++plays;
    playRate = 1.0F;
  }
  void pause() override { playRate = 0.0F; }
  void setMuted(bool) override {}
  bool isMuted() const override { return false; }
  float rate() const override { return playRate; }
  MediaTime currentTime() const override { return item_->time; }
  void seekToTime(const MediaTime& time) override { item_->time = time; }
  void seekToTime(const MediaTime& time, SeekCompletion) override { item_->time = time; }
  void setRate(float rate) override { playRate = rate; }
  void setVolume(float volume) override { playVolume = volume; }
  float volume() const override { return playVolume; }
  std::shared_ptr<platform::SystemPlayerItem> currentItem() const override { return item_; }
  std::optional<platform::Error> error() const override { return playerError; }
  std::shared_ptr<TimeObserver> addPeriodicTimeObserver(const MediaTime&, platform::DispatchQueuePtr,
                                                        TimeBlock) override {
    return std::make_shared<TimeObserver>();
  }
  void removeTimeObserver(const std::shared_ptr<TimeObserver>&) override {}

  int plays = 0;
  float playRate = 0.0F;
  float playVolume = 0.75F;
  std::optional<platform::Error> playerError;

 private:
  std::shared_ptr<ScriptedSystemPlayerItem> item_;
};

class ScriptedSystemPlayerLayer final : public platform::SystemPlayerLayer {
 public:
  void setBounds(platform::Rect bounds) override { layerBounds = bounds; }
  platform::Rect bounds() const override { return layerBounds; }
  void setPlayer(std::shared_ptr<platform::Player> player) override { shown = std::move(player); }
  std::shared_ptr<platform::Player> player() const override { return shown; }

  platform::Rect layerBounds;
  std::shared_ptr<platform::Player> shown;
};

class ScriptedSystemPlayerKit final : public platform::SystemPlayerKit {
 public:
  std::shared_ptr<platform::PlayerAsset> makeURLAsset(const platform::URL& url) override {
    urls.push_back(url.absoluteString());
    return nullptr;
  }
  std::shared_ptr<platform::PlayerItem> makePlayerItem(std::shared_ptr<platform::PlayerAsset>) override { return item; }
  std::shared_ptr<platform::Player> makePlayer(std::shared_ptr<platform::PlayerItem>) override { return player; }
  std::shared_ptr<platform::SystemPlayerLayer> makePlayerLayer() override {
    return std::make_shared<ScriptedSystemPlayerLayer>();
  }

  std::vector<std::string> urls;
  std::shared_ptr<ScriptedSystemPlayerItem> item = std::make_shared<ScriptedSystemPlayerItem>();
  std::shared_ptr<ScriptedSystemPlayer> player = std::make_shared<ScriptedSystemPlayer>(item);
};

// Installs a kit for the scope and puts the one before back.
class ScopedSystemPlayerKit {
 public:
  explicit ScopedSystemPlayerKit(std::shared_ptr<platform::SystemPlayerKit> kit)
      : previous_(platform::SystemPlayerKit::installed()) {
    platform::SystemPlayerKit::install(std::move(kit));
  }
  ~ScopedSystemPlayerKit() { platform::SystemPlayerKit::install(previous_); }
  ScopedSystemPlayerKit(const ScopedSystemPlayerKit&) = delete;
  ScopedSystemPlayerKit& operator=(const ScopedSystemPlayerKit&) = delete;

 private:
  std::shared_ptr<platform::SystemPlayerKit> previous_;
};

}  // namespace plexora::testing
