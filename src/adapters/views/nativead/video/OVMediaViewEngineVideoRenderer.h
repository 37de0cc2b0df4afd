// The media view's own renderer over the video players. A load takes the
// choice between the library's engine and the system's player once, fetches
// the video through the resource cache to a local file, opens it as an
// asset of the chosen kind (unless the cache already answers one), builds
// the item, player and layer through the engine-selection factories, and
// reports the video ready; with autoplay the video starts once the renderer
// is in a window. A chosen player that cannot be built (no system player on
// the platform) fails the load like an unreadable video. The renderer draws the layer's presented frame fit in its bounds,
// with the poster image over it while the video does not play, and a mute
// button in the corner. A tap anywhere else tells the delegate while the
// renderer is inline; full screen it means nothing. A video
// that cannot be fetched, read or played runs the failure block, with the
// error in the media-view domain kept as lastError().
//
// A new player is muted; the mute button turns the sound on and off, and
// going inline mutes it again.
//
// Each load starts a video logger for the client token (none without a
// token) over the renderer's video view, a plain subview filling its
// bounds: every 0.25 s while a player exists it reports the playback
// position, and it hears of each play after the first (a resume), each
// pause, the end, and the renderer's release (a stop).
//
// Thread safety: main thread only. The player's reports arrive on the
// media-state queue and are carried to the main queue.
// Ownership: the media view owns the renderer; the renderer owns its player,
// progress timer, video logger and layer (an engine layer is invalidated; both are released with the
// renderer or at the next load), keeps
// the two blocks of its load and the poster, and holds its delegate weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "adapters/views/nativead/video/OVMediaViewDefaultVideoRenderer.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/media/Player.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "plexora/OVAdErrorDomain.h"
#include "util/OVAdKeyValueObserving.h"
#include "util/compatibility/OVAdQNVCompatibility.h"

namespace plexora {

class OVAdTimer;
class OVAdVideoLogger;
class QNVAssetForCache;
class QNVPlayer;
class QNVPlayerLayer;

class OVMediaViewEngineVideoRenderer final : public OVMediaViewDefaultVideoRenderer {
 public:
  static constexpr double kMuteButtonSize = 32.0;
  // How often the playback position goes to the video logger.
  static constexpr double kProgressInterval = 0.25;

  static std::shared_ptr<OVMediaViewEngineVideoRenderer> create();
  ~OVMediaViewEngineVideoRenderer() override;

  void loadVideoURL(const platform::URL& videoURL, const std::string& clientToken, bool autoplayEnabled,
                    Block loadedBlock, Block failureBlock) override;
  // Width over height of the loaded video; 0 before.
  double aspectRatio() const override;
  // 0 while muted.
  float volume() const override;
  // From the start again after the end.
  void playVideo() override;
  void pauseVideo();
  void setDelegate(std::weak_ptr<OVMediaViewDefaultVideoRendererDelegate> delegate) override {
    delegate_ = std::move(delegate);
  }
  void setPosterImage(std::shared_ptr<OVAdImage> posterImage) override;
  void setInlineMode(bool inlineMode) override;
  bool isInlineMode() const { return inlineMode_; }
  // Tells the delegate the volume set.
  void setVolume(float volume) override;

  bool isPlaying() const { return playing_; }
  const std::optional<platform::Error>& lastError() const { return lastError_; }
  // The player of the chosen kind; null before a load is ready.
  const std::shared_ptr<platform::Player>& player() const { return player_; }
  // The engine's layer; null while the system's player plays.
  std::shared_ptr<QNVPlayerLayer> playerLayer() const;
  std::shared_ptr<platform::ImageView> posterView() const { return posterView_.lock(); }
  std::shared_ptr<platform::Button> muteButton() const { return muteButton_.lock(); }
  // The view whose geometry and viewability the video events report.
  std::shared_ptr<platform::View> videoView() const { return videoView_.lock(); }
  // The logger of the current load; null before the first or without a
  // client token.
  const std::shared_ptr<OVAdVideoLogger>& videoLogger() const { return videoLogger_; }

  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;
  void didMoveToWindow() override;
  void draw(platform::GraphicsContext& context, platform::Rect rect) const override;

 private:
  class PlayerObserver;

  void build();
  void layout();
  std::shared_ptr<OVMediaViewEngineVideoRenderer> self();
  void releasePlayer();
  QNVPlayer* enginePlayer() const;
  void assetArrived(std::uint64_t load, const platform::URL& videoURL, const std::shared_ptr<QNVAssetForCache>& asset);
  // Checks the chosen player can play the asset of `url`, then builds the
  // player.
  void startPlayer(std::uint64_t load, const std::shared_ptr<platform::PlayerAsset>& asset, const platform::URL& url);
  void observeEnginePlayer(std::uint64_t load, QNVPlayer& player, const platform::PlayerItem& item);
  void fail(std::int64_t code, const std::string& description);
  void playerRateChanged(float rate);
  void playerFailed();
  void playerReachedEnd();
  void playIfAutoplayDue();
  void toggleMute();
  void tapped();
  void reportProgress();
  // The player's position, never beyond the video's duration.
  platform::MediaTime currentTime() const;

  std::weak_ptr<OVMediaViewDefaultVideoRendererDelegate> delegate_;
  std::shared_ptr<OVAdImage> posterImage_;
  std::weak_ptr<platform::ImageView> posterView_;
  std::weak_ptr<platform::Button> muteButton_;
  std::weak_ptr<platform::View> videoView_;
  std::shared_ptr<OVAdVideoLogger> videoLogger_;
  std::shared_ptr<OVAdTimer> progressTimer_;
  // Played since the load: a later play is a resume. The renderer's own
  // intent, ahead of the player's rate, which follows on its queue.
  bool started_ = false;
  bool intendsToPlay_ = false;
  Block loadedBlock_;
  Block failureBlock_;
  bool autoplayEnabled_ = false;
  bool inlineMode_ = true;
  // Moves on with every load, so reports of an earlier one are dropped.
  std::uint64_t load_ = 0;
  // Taken once per load, so the asset, item, player and layer of one video
  // are all of one kind.
  OVAdVideoLibrary library_ = OVAdVideoLibrary::kQNVPlayer;
  std::shared_ptr<platform::PlayerLayer> layer_;
  std::shared_ptr<platform::Player> player_;
  std::shared_ptr<PlayerObserver> observer_;
  std::vector<platform::NotificationCenter::ObserverToken> notifications_;
  platform::Size naturalSize_;
  platform::MediaTime duration_;
  double durationSeconds_ = 0.0;
  bool ready_ = false;
  bool playing_ = false;
  bool ended_ = false;
  bool autoplayDone_ = false;
  std::optional<platform::Error> lastError_;
};

}  // namespace plexora
