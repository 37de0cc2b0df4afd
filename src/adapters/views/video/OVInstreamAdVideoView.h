// The video of an in-stream ad. It always plays through the system's
// player (never the library's engine), shown in its own player layer and
// drawn fit within the view's bounds, and turns the player's state into
// five delegate calls: loaded (the first time playback is likely to keep
// up), tapped, progress (every 0.25 s of playback between start and stop),
// end and failure (the item failed, or a stall did not recover within
// 10 s on the current Clock).
//
// Thread safety: main thread only. The item's observations, the end and
// stall notifications, the progress observer and the stall timer all call
// back on the main queue and hold the view weakly.
// Ownership: the content view owns the video view and is its delegate,
// held weakly. The view owns its player, which owns the item; the view
// watches the item weakly.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/media/MediaTime.h"
#include "platform/media/SystemPlayer.h"
#include "platform/media/SystemPlayerKit.h"
#include "platform/ui/View.h"

namespace plexora {

class OVAdTimer;
class OVInstreamAdVideoView;

inline constexpr double kOVInstreamAdVideoViewStallTimeoutSeconds = 10.0;

// Each operation gets the video view that reports.
class OVInstreamAdVideoViewDelegate {
 public:
  virtual ~OVInstreamAdVideoViewDelegate() = default;

  virtual void videoViewDidLoad(const std::shared_ptr<OVInstreamAdVideoView>& videoView) = 0;
  virtual void videoViewTapped(const std::shared_ptr<OVInstreamAdVideoView>& videoView) = 0;
  virtual void videoViewDidProgress(const std::shared_ptr<OVInstreamAdVideoView>& videoView) = 0;
  virtual void videoViewDidEnd(const std::shared_ptr<OVInstreamAdVideoView>& videoView) = 0;
  // The item's error, when it has one.
  virtual void videoView(const std::shared_ptr<OVInstreamAdVideoView>& videoView,
                         const std::optional<platform::Error>& didFailWithError) = 0;
};

class OVInstreamAdVideoView final : public platform::View {
 public:
  // Paused, nothing loaded, one tap recogniser attached.
  static std::shared_ptr<OVInstreamAdVideoView> init();
  OVInstreamAdVideoView();
  ~OVInstreamAdVideoView() override;

  // The player the layer shows; none before the first start.
  std::shared_ptr<platform::SystemPlayer> player() const;
  void setPlayer(const std::shared_ptr<platform::SystemPlayer>& player);

  // Zero without a player, and never below zero.
  platform::MediaTime currentTime() const;
  // The item's duration as last observed; zero until known.
  const platform::MediaTime& duration() const { return duration_; }
  // The picture size of the item's asset; zero until known.
  platform::Size naturalSize() const;
  // 1 without a player.
  float volume() const;
  // Moving forward, without an error.
  bool isPlaying() const;

  // Drops any earlier player and starts loading the URL, held paused; the
  // delegate hears videoViewDidLoad once it is likely to keep up, or the
  // failure. Without a system player the failure comes at once.
  void loadMovieWithURL(const platform::URL& url);
  // Shows and plays the video, from the beginning again when it had ended.
  void start();
  // Pauses, stops the progress reports and gives up waiting on a stall.
  void stop();

  void setDelegate(std::weak_ptr<OVInstreamAdVideoViewDelegate> delegate) { delegate_ = std::move(delegate); }
  std::shared_ptr<OVInstreamAdVideoViewDelegate> delegate() const { return delegate_.lock(); }
  bool isLoaded() const { return loaded_; }
  bool isPaused() const { return paused_; }
  // Whether a stall is being waited out.
  bool hasStallTimer() const { return stallTimer_ != nullptr; }
  const std::shared_ptr<platform::SystemPlayerLayer>& playerLayer() const { return layer_; }

  void layoutSubviews() override;
  void draw(platform::GraphicsContext& context, platform::Rect rect) const override;

 private:
  std::shared_ptr<OVInstreamAdVideoView> sharedVideoView();
  std::shared_ptr<platform::SystemPlayerItem> currentItem() const;
  void addGestureRecognizers();
  void setupNotifications();
  void addObservers();
  void addProgressTimeObserver();
  void removeAllObservers();
  void removeProgressTimeObserver();
  void cancelStallTimer();
  void startStallTimer();
  void observeValueForKeyPath(const std::string& key);
  void playbackStalled();
  void fail(const std::optional<platform::Error>& error);

  bool loaded_ = false;
  bool paused_ = true;
  std::weak_ptr<OVInstreamAdVideoViewDelegate> delegate_;
  std::shared_ptr<platform::SystemPlayerLayer> layer_;
  std::shared_ptr<platform::SystemPlayer> avPlayer_;
  std::weak_ptr<platform::SystemPlayerItem> avPlayerItem_;
  std::optional<platform::SystemPlayerItem::ObserverToken> itemObservation_;
  std::shared_ptr<platform::SystemPlayer::TimeObserver> progressTimeObserver_;
  std::shared_ptr<OVAdTimer> stallTimer_;
  std::weak_ptr<platform::GestureRecognizer> tapGestureRecognizer_;
  platform::MediaTime duration_ = platform::MediaTime::zero();
};

}  // namespace plexora
