// The view that plays a native ad's video inside its media view. The media
// view makes its own renderer (the one with controls); a host may hand it
// a renderer of this class, or of a subclass, instead.
//
// A load fetches the video through the shared resource cache and plays it
// through the library's video engine or the system's player, whichever the
// library chooses for the ad; the picture fills the renderer. Playback is
// reported to the ad's video event log against the client token, and every
// playback event goes to this object through the hooks below, which do
// nothing here: a subclass overrides them.
//
// Periodic time observers registered here stay registered across loads:
// each new player takes them all on.
//
// Views of this class take no part in an ad's own touch targets.
//
// Thread safety: main thread only. Time observers run on the queue they
// were registered with.
// Ownership: the media view (or the host) owns the renderer; the renderer
// owns its player, its video view and its video logger, keeps both blocks
// of the last load until it has used them, and keeps its time observers
// until they are removed or the renderer goes.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Export.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/media/MediaTime.h"
#include "platform/ui/View.h"

namespace plexora {

class OVAdTimeObserver;
struct OVMediaViewVideoRendererState;

class PLEXORA_EXPORT OVMediaViewVideoRenderer : public platform::View {
 public:
  using Block = std::function<void()>;
  using TimeBlock = std::function<void(const platform::MediaTime& time)>;

  OVMediaViewVideoRenderer();
  ~OVMediaViewVideoRenderer() override;
  OVMediaViewVideoRenderer(const OVMediaViewVideoRenderer&) = delete;
  OVMediaViewVideoRenderer& operator=(const OVMediaViewVideoRenderer&) = delete;

  void layoutSubviews() override;
  void setFrame(platform::Rect frame) override;

  // `block` runs on `queue` every `interval` of playback, whichever player
  // plays; the answer is the token for removeTimeObserver(). Null for an
  // interval that is not a positive time, or without a block or queue.
  std::shared_ptr<OVAdTimeObserver> addPeriodicTimeObserverForInterval(const platform::MediaTime& interval,
                                                                        platform::DispatchQueuePtr queue,
                                                                        TimeBlock block);
  void removeTimeObserver(const std::shared_ptr<OVAdTimeObserver>& observer);

  // Width over height of the video; 0 before a video is loaded.
  virtual double aspectRatio() const;
  // The playback position, never beyond the duration; zero without a
  // player.
  platform::MediaTime currentTime() const;
  // The video's duration; indefinite until it is known.
  platform::MediaTime duration() const;
  // What the renderer last asked of its player: true from a play until the
  // next pause, end or failure.
  bool isPlaying() const;

  // A seek in three steps, as a scrubber makes it: engage at touch-down,
  // seek to each new position, disengage at touch-up.
  void engageVideoSeek();
  void seekVideoToTime(const platform::MediaTime& time);
  void disengageVideoSeek();

  virtual void playVideo();
  virtual void pauseVideo();
  // 0 to 1; every player of this renderer takes it. 1 to start with.
  virtual float volume() const;
  virtual void setVolume(float volume);

  // Loads the video through the resource cache and starts logging its
  // playback against the client token (none without one). `loadedBlock`
  // runs when the video is ready; `failureBlock` at most once, when the
  // video cannot be fetched, is of a kind the player cannot play, or its
  // playback fails. A new load ends everything of the previous one.
  virtual void loadVideoURL(const platform::URL& videoURL, const std::string& clientToken, bool autoplayEnabled,
                            Block loadedBlock, Block failureBlock);
  void loadVideoURL(const platform::URL& videoURL, const std::string& clientToken, bool autoplayEnabled) {
    loadVideoURL(videoURL, clientToken, autoplayEnabled, nullptr, nullptr);
  }

  // What the library's own renderers and its tests read of the renderer.
  const std::shared_ptr<OVMediaViewVideoRendererState>& rendererState() const { return state_; }

 protected:
  // Hooks, each sent on the main thread after the matching log report.
  virtual void videoDidChangeVolume() {}
  virtual void videoDidLoad() {}
  virtual void videoDidPause() {}
  virtual void videoDidPlay() {}
  virtual void videoDidEngageSeek() {}
  virtual void videoDidSeek() {}
  virtual void videoDidDisengageSeek() {}
  virtual void videoDidEnd() {}
  virtual void videoDidFailWithError(const platform::Error& /*error*/) {}

 private:
  friend struct OVMediaViewVideoRendererState;

  std::shared_ptr<OVMediaViewVideoRendererState> state_;
};

}  // namespace plexora
