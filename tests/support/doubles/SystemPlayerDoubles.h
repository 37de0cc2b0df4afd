// The system's player as the platform would make it, driven by the test:
// the item's status, duration and error, the player's position, and its
// periodic time observers (fired by tick()) are the test's to set. The kit
// keeps the last asset, item, player and layer it made.
#pragma once

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/media/SystemPlayer.h"
#include "platform/media/SystemPlayerKit.h"

namespace plexora::testing {

struct SystemAssetDouble final : platform::SystemPlayerAsset {
  explicit SystemAssetDouble(platform::URL url) : url(std::move(url)) {}
  void loadValuesAsynchronouslyForKeys(const std::vector<std::string>&, std::function<void()> handler) override {
    handler();
  }
  platform::MediaTime duration() const override { return platform::MediaTime::make(30, 1); }
  void cancelLoading() override {}
  platform::Size naturalSize() const override { return {640, 360}; }
  std::optional<platform::Error> error() const override { return std::nullopt; }
  platform::URL url;
};

struct SystemItemDouble final : platform::SystemPlayerItem {
  explicit SystemItemDouble(std::shared_ptr<platform::PlayerAsset> asset) : asset_(std::move(asset)) {}
  platform::MediaTime currentTime() const override { return platform::MediaTime::zero(); }
  bool isPlaybackLikelyToKeepUp() const override { return true; }
  bool isPlaybackBufferFull() const override { return false; }
  platform::SystemPlayerItemStatus status() const override { return itemStatus; }
  std::optional<platform::Error> error() const override { return itemError; }
  platform::MediaTime duration() const override { return itemDuration; }
  std::shared_ptr<platform::PlayerAsset> asset() const override { return asset_; }
  ObserverToken addObserver(Observer observer) override {
    observers.emplace_back(++lastToken, std::move(observer));
    return lastToken;
  }
  void removeObserver(ObserverToken token) override {
    std::erase_if(observers, [token](const auto& entry) { return entry.first == token; });
  }

  void fail(std::optional<platform::Error> error) {
    itemStatus = platform::SystemPlayerItemStatus::kFailed;
    itemError = std::move(error);
    const auto current = observers;
    for (const auto& entry : current) entry.second(platform::kSystemPlayerItemStatusKey);
  }
  void reachEnd() {
    platform::NotificationCenter::defaultCenter().post(platform::kAVPlayerItemDidPlayToEndTimeNotification,
                                                       dynamic_cast<const void*>(this));
  }

  platform::SystemPlayerItemStatus itemStatus = platform::SystemPlayerItemStatus::kReadyToPlay;
  std::optional<platform::Error> itemError;
  platform::MediaTime itemDuration = platform::MediaTime::make(30, 1);
  std::vector<std::pair<ObserverToken, Observer>> observers;
  ObserverToken lastToken = 0;

 private:
  std::shared_ptr<platform::PlayerAsset> asset_;
};

struct SystemPlayerDouble final : platform::SystemPlayer {
  struct Observer final : TimeObserver {
    Observer(platform::DispatchQueuePtr queue, TimeBlock block) : queue(std::move(queue)), block(std::move(block)) {}
    platform::DispatchQueuePtr queue;
    TimeBlock block;
  };

  explicit SystemPlayerDouble(std::shared_ptr<platform::PlayerItem> item)
      : item(std::dynamic_pointer_cast<SystemItemDouble>(item)) {}
  void play() override {
    ++plays;
    playerRate = 1.0F;
  }
  void pause() override {
    ++pauses;
    playerRate = 0.0F;
  }
  void setMuted(bool value) override { muted = value; }
  bool isMuted() const override { return muted; }
  float rate() const override { return playerRate; }
  platform::MediaTime currentTime() const override { return position; }
  void seekToTime(const platform::MediaTime& time) override {
    seeks.push_back(time);
    position = time;
  }
  void setRate(float value) override { playerRate = value; }
  void setVolume(float value) override { playerVolume = value; }
  float volume() const override { return playerVolume; }
  void seekToTime(const platform::MediaTime& time, SeekCompletion completion) override {
    seekToTime(time);
    if (completion) completion(true);
  }
  std::shared_ptr<platform::SystemPlayerItem> currentItem() const override { return item; }
  std::optional<platform::Error> error() const override { return std::nullopt; }
  std::shared_ptr<TimeObserver> addPeriodicTimeObserver(const platform::MediaTime&, platform::DispatchQueuePtr queue,
                                                        TimeBlock block) override {
    auto observer = std::make_shared<Observer>(std::move(queue), std::move(block));
    timeObservers.push_back(observer);
    return observer;
  }
  void removeTimeObserver(const std::shared_ptr<TimeObserver>& observer) override {
    std::erase_if(timeObservers, [&](const auto& held) { return held == observer; });
  }

  // Every periodic observer hears the time, at once (the queue is the main
  // queue in these tests and the caller runs on it).
  void tick(platform::MediaTime time) {
    position = time;
    const auto current = timeObservers;
    for (const auto& observer : current) observer->block(time);
  }

  std::shared_ptr<SystemItemDouble> item;
  std::vector<std::shared_ptr<Observer>> timeObservers;
  std::vector<platform::MediaTime> seeks;
  platform::MediaTime position = platform::MediaTime::zero();
  float playerRate = 0.0F;
  float playerVolume = 1.0F;
  int plays = 0;
  int pauses = 0;
  bool muted = false;
};

struct SystemLayerDouble final : platform::SystemPlayerLayer {
  void setBounds(platform::Rect bounds) override { bounds_ = bounds; }
  platform::Rect bounds() const override { return bounds_; }
  void setPlayer(std::shared_ptr<platform::Player> player) override { player_ = std::move(player); }
  std::shared_ptr<platform::Player> player() const override { return player_; }
  platform::Rect bounds_;
  std::shared_ptr<platform::Player> player_;
};

struct SystemKitDouble final : platform::SystemPlayerKit {
  std::shared_ptr<platform::PlayerAsset> makeURLAsset(const platform::URL& url) override {
    asset = std::make_shared<SystemAssetDouble>(url);
    return asset;
  }
  std::shared_ptr<platform::PlayerItem> makePlayerItem(std::shared_ptr<platform::PlayerAsset> made) override {
    item = std::make_shared<SystemItemDouble>(std::move(made));
    return item;
  }
  std::shared_ptr<platform::Player> makePlayer(std::shared_ptr<platform::PlayerItem> made) override {
    player = std::make_shared<SystemPlayerDouble>(std::move(made));
    return player;
  }
  std::shared_ptr<platform::SystemPlayerLayer> makePlayerLayer() override {
    layer = std::make_shared<SystemLayerDouble>();
    return layer;
  }
  std::shared_ptr<SystemAssetDouble> asset;
  std::shared_ptr<SystemItemDouble> item;
  std::shared_ptr<SystemPlayerDouble> player;
  std::shared_ptr<SystemLayerDouble> layer;
};

}  // namespace plexora::testing
