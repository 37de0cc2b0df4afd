// The system player on Linux: plays one GStreamerPlayerItem, with sound
// on by default, and keeps periodic time observers, which fire at each
// multiple of their interval on the item's timeline while playback moves
// (timed on the platform Clock, like the pipeline itself).
//
// Thread safety: the commands on the main thread; the readings from any
// thread. An observer's block runs on its queue.
// Ownership: the player holds its item; each time observer is held by the
// player until removed, and holds the player weakly.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/media/GStreamerPlayerItem.h"
#include "platform/media/SystemPlayer.h"

namespace plexora::platform {

class GStreamerPlayer final : public SystemPlayer, public std::enable_shared_from_this<GStreamerPlayer> {
 public:
  static std::shared_ptr<GStreamerPlayer> create(std::shared_ptr<GStreamerPlayerItem> item);
  ~GStreamerPlayer() override;
  GStreamerPlayer(const GStreamerPlayer&) = delete;
  GStreamerPlayer& operator=(const GStreamerPlayer&) = delete;

  void play() override { item_->setRate(1.0f); }
  void pause() override { item_->setRate(0.0f); }
  void setRate(float rate) override { item_->setRate(rate); }
  float rate() const override { return item_->rate(); }
  void setMuted(bool muted) override;
  bool isMuted() const override;
  void setVolume(float volume) override;
  float volume() const override;
  MediaTime currentTime() const override { return item_->currentTime(); }
  void seekToTime(const MediaTime& time) override { item_->seek(time, nullptr); }
  void seekToTime(const MediaTime& time, SeekCompletion completion) override { item_->seek(time, std::move(completion)); }
  std::shared_ptr<SystemPlayerItem> currentItem() const override { return item_; }
  const std::shared_ptr<GStreamerPlayerItem>& item() const { return item_; }
  std::optional<Error> error() const override { return item_->error(); }

  std::shared_ptr<TimeObserver> addPeriodicTimeObserver(const MediaTime& interval, DispatchQueuePtr queue,
                                                        TimeBlock block) override;
  void removeTimeObserver(const std::shared_ptr<TimeObserver>& observer) override;

 private:
  struct PeriodicObserver;
  explicit GStreamerPlayer(std::shared_ptr<GStreamerPlayerItem> item) : item_(std::move(item)) {}
  // Cancels every observer's next firing and, while playback moves, sets
  // up the next one from where it stands.
  void rearm();
  // From where playback stands, or from the multiple just fired.
  void schedule(const std::shared_ptr<PeriodicObserver>& observer, std::uint64_t generation,
                std::optional<double> firedAt = std::nullopt);

  const std::shared_ptr<GStreamerPlayerItem> item_;
  mutable std::mutex mutex_;  // the fields below
  bool muted_ = false;
  float volume_ = 1.0f;
  std::vector<std::shared_ptr<PeriodicObserver>> observers_;
};

}  // namespace plexora::platform
