// One playback of a system-player asset on Linux: the GStreamer pipeline
// and its state as the ad views observe it. The item starts loading (the
// pipeline prerolls, paused) as soon as it is made. Its status turns ready
// at the first preroll, or failed on GStreamer's first error; its buffering
// state follows GStreamer's buffering messages: below 100 % playback is
// neither likely to keep up nor is the buffer full, and a player that was
// playing stops there (a stall) until it reaches 100 % again. A source
// that never buffers (a local file) is likely to keep up once ready, with
// nothing buffered ahead. At the end the item pauses where it stands.
//
// Thread safety: the player's commands (setRate, seek, volume) and the
// item's observers run on the main thread; every reading may come from
// any thread. GStreamer's messages are handed to the main queue, where
// every change is made, observers are told and notifications posted.
// Ownership: the item owns its pipeline, which it stops when it goes; its
// player holds it strongly; the handlers it gives GStreamer hold it weakly.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/GStreamerPipeline.h"
#include "platform/media/GStreamerPlayerAsset.h"
#include "platform/media/SystemPlayer.h"
#include "platform/ui/Image.h"

namespace plexora::platform {

// The newest frame a pipeline delivered, kept for whichever layer shows it.
// Written on GStreamer's streaming threads, read from any thread.
class GStreamerFrameStore final {
 public:
  void store(std::shared_ptr<Image> frame, MediaTime time);
  std::shared_ptr<Image> frame() const;
  // The frame's time on the item's timeline; none before the first.
  std::optional<MediaTime> time() const;

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<Image> frame_;
  std::optional<MediaTime> time_;
};

class GStreamerPlayerItem final : public SystemPlayerItem, public std::enable_shared_from_this<GStreamerPlayerItem> {
 public:
  static std::shared_ptr<GStreamerPlayerItem> create(std::shared_ptr<GStreamerPlayerAsset> asset);
  ~GStreamerPlayerItem() override;
  GStreamerPlayerItem(const GStreamerPlayerItem&) = delete;
  GStreamerPlayerItem& operator=(const GStreamerPlayerItem&) = delete;

  // PlayerItem and SystemPlayerItem.
  MediaTime currentTime() const override;
  bool isPlaybackLikelyToKeepUp() const override;
  bool isPlaybackBufferFull() const override;
  SystemPlayerItemStatus status() const override;
  std::optional<Error> error() const override;
  MediaTime duration() const override;
  std::shared_ptr<PlayerAsset> asset() const override { return asset_; }
  ObserverToken addObserver(Observer observer) override;
  void removeObserver(ObserverToken token) override;

  // For the item's player, on the main thread. A rate of zero pauses. At
  // the end of the item a play is refused until a seek moves it back.
  void setRate(float rate);
  // The rate playback moves at now: zero while paused, ended, failed or
  // stalled.
  float rate() const;
  void seek(const MediaTime& time, SystemPlayer::SeekCompletion completion);
  void setVolume(float volume);
  void setMuted(bool muted);
  // Whether the pipeline plays now (its time moves with the clock).
  bool isAdvancing() const;
  // Whether a seek (or a change of rate, which seeks) has yet to land.
  bool isSeeking() const;
  // Called on the main queue whenever playback starts or stops moving or
  // its time jumps (a seek has landed).
  void setPlaybackChangeHandler(std::function<void()> handler);

  const std::shared_ptr<GStreamerFrameStore>& frames() const { return frames_; }

 private:
  explicit GStreamerPlayerItem(std::shared_ptr<GStreamerPlayerAsset> asset) : asset_(std::move(asset)) {}
  void handle(const GStreamerPipelineEvent& event);
  void prerolled(std::vector<std::string>& changed);
  // The seek under way has landed: playback stands at its time.
  void landSeek();
  void buffering(int percent, std::vector<std::string>& changed);
  void ended();
  void failed(const Error& error, std::vector<std::string>& changed);
  void completeSeeks(bool finished);
  // Plays or pauses the pipeline as the state asks.
  void applyState();
  void tell(const std::vector<std::string>& keys);
  void playbackChanged();

  const std::shared_ptr<GStreamerPlayerAsset> asset_;
  const std::shared_ptr<GStreamerFrameStore> frames_ = std::make_shared<GStreamerFrameStore>();
  // Set once in create(), stopped in the destructor.
  std::unique_ptr<GStreamerPipeline> pipeline_;

  mutable std::mutex mutex_;  // the fields below
  SystemPlayerItemStatus status_ = SystemPlayerItemStatus::kUnknown;
  std::optional<Error> error_;
  MediaTime duration_ = MediaTime::zero();
  bool likelyToKeepUp_ = false;
  bool bufferFull_ = false;
  bool sawBuffering_ = false;
  bool buffering_ = false;
  bool stalled_ = false;
  bool ended_ = false;
  bool wantsToPlay_ = false;
  bool advancing_ = false;
  float rate_ = 1.0f;
  // The time asked for by the seek under way (or waiting for the item to
  // be ready); playback reads it until the seek lands.
  std::optional<MediaTime> seekTarget_;
  bool seekWaitsForReady_ = false;
  // A seek made while playing lands only once the pipeline plays again:
  // its time runs from then, not from the preroll.
  bool seekWaitsForPlaying_ = false;
  std::vector<SystemPlayer::SeekCompletion> seekCompletions_;
  MediaTime lastPosition_ = MediaTime::zero();

  // Main thread only.
  std::map<ObserverToken, std::shared_ptr<Observer>> observers_;
  ObserverToken nextToken_ = 1;
  std::function<void()> playbackChangeHandler_;
};

}  // namespace plexora::platform
