// The video renderer the media view makes for itself: the base renderer with
// on-video controls, a poster image shown while the video does not play, and
// autoplay once the view is viewable.
//
// create() makes the renderer over the library's video engine
// (OVMediaViewEngineVideoRenderer) unless another maker is installed (tests
// install doubles).
//
// Thread safety: main thread only.
// Ownership: the media view owns the renderer; the renderer holds its
// delegate weakly and keeps the poster.
#pragma once

#include <memory>

#include "plexora/OVMediaViewVideoRenderer.h"
#include "util/OVAdInstalledFunction.h"

namespace plexora {

class OVAdImage;
class OVMediaViewDefaultVideoRenderer;

class OVMediaViewDefaultVideoRendererDelegate {
 public:
  virtual ~OVMediaViewDefaultVideoRendererDelegate() = default;

  virtual void defaultVideoRendererWasTapped(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer) = 0;
  virtual void defaultVideoRenderer(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer,
                                    float volumeDidChange) = 0;
  virtual void defaultVideoRendererDidPause(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer) = 0;
  virtual void defaultVideoRendererDidPlay(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer) = 0;
  virtual void defaultVideoRendererVideoDidComplete(
      const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer) = 0;
};

class OVMediaViewDefaultVideoRenderer : public OVMediaViewVideoRenderer {
 public:
  using Maker = OVAdInstalledFunction<std::shared_ptr<OVMediaViewDefaultVideoRenderer>()>;

  static std::shared_ptr<OVMediaViewDefaultVideoRenderer> create() { return maker()(); }

  virtual void setDelegate(std::weak_ptr<OVMediaViewDefaultVideoRendererDelegate> delegate) = 0;
  // The ad's cover image.
  virtual void setPosterImage(std::shared_ptr<OVAdImage> posterImage) = 0;
  // Inline (the start), a tap on the video tells the delegate and entering
  // inline mode mutes the video; full screen, taps go to the controls
  // alone.
  virtual void setInlineMode(bool inlineMode) = 0;
  // 0 mutes.
  virtual void setVolume(float volume) = 0;

  static Maker& maker();

 protected:
  OVMediaViewDefaultVideoRenderer() = default;
};

}  // namespace plexora
