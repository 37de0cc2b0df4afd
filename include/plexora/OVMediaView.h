// The view that shows a native ad's main content: its video, else its
// carousel of products, else its cover image. It picks the content, makes
// the view that shows it, falls back to the cover image when the video
// cannot play, logs the carousel's per-card impressions and clicks, opens
// the video full screen when the video is tapped, and tells its delegate
// what happened.
//
//   auto mediaView = OVMediaView::initWithNativeAd(ad);
//   mediaView->setDelegate(myDelegate);
//   mediaView->setFrame({0, 0, 320, 180});  // an ad set on empty bounds loads now
//
// Thread safety: main thread only; every delegate message arrives there.
// In every build, initWithNativeAd, setNativeAd and setDelegate
// from another thread end the process at once, naming the call.
// Ownership: the host owns the view, the view owns its ad and the renderer
// the host hands it; the content views belong to its view tree (the view
// keeps them weakly). The delegate is held weakly; late completions of a
// released view are dropped.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/Export.h"
#include "platform/dispatch/MainThreadCheck.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/View.h"
#include "plexora/OVMediaViewVideoRenderer.h"

namespace plexora {

class OVAdBlurredImageView;
class OVAdCommandProcessor;
class OVAdFullscreenVideoController;
class OVAdMultiProductView;
class OVMediaView;
class OVMediaViewDefaultVideoRenderer;
class OVMediaViewRelay;
class OVNativeAd;

namespace platform {
class Button;
}

// Every message is optional.
class PLEXORA_EXPORT OVMediaViewDelegate {
 public:
  virtual ~OVMediaViewDelegate() = default;

  // The content shows: the video is ready, the carousel or the image is in.
  virtual void mediaViewDidLoad(const std::shared_ptr<OVMediaView>& /*mediaView*/) {}
  virtual void mediaViewWillEnterFullscreen(const std::shared_ptr<OVMediaView>& /*mediaView*/) {}
  virtual void mediaViewDidExitFullscreen(const std::shared_ptr<OVMediaView>& /*mediaView*/) {}
  // videoVolumeDidChange:
  virtual void mediaView(const std::shared_ptr<OVMediaView>& /*mediaView*/, float /*volume*/) {}
  virtual void mediaViewVideoDidPause(const std::shared_ptr<OVMediaView>& /*mediaView*/) {}
  virtual void mediaViewVideoDidPlay(const std::shared_ptr<OVMediaView>& /*mediaView*/) {}
  virtual void mediaViewVideoDidComplete(const std::shared_ptr<OVMediaView>& /*mediaView*/) {}
};

class PLEXORA_EXPORT OVMediaView : public platform::View {
 public:
  // Clips to its bounds; autoplay on.
  static std::shared_ptr<OVMediaView> init();
  // init, then the ad.
  static std::shared_ptr<OVMediaView> initWithNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd);
  ~OVMediaView() override;

  // Marks the ad as shown by a media view and loads it, at once when the
  // bounds are not empty, else at the first frame that gives them a size.
  // The same ad again loads nothing.
  void setNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd);
  const std::shared_ptr<OVNativeAd>& nativeAd() const { return nativeAd_; }
  std::shared_ptr<OVMediaViewDelegate> delegate() const { return delegate_.lock(); }
  // Held weakly: the host keeps its delegate alive. One handed over as a
  // temporary (setDelegate(std::make_shared<...>())) is gone at once, and
  // every message meant for it is dropped without a word.
  void setDelegate(std::weak_ptr<OVMediaViewDelegate> delegate) {
    platform::requireMainThread("OVMediaView::setDelegate");
    delegate_ = std::move(delegate);
  }
  // A renderer of the host's in place of the view's own; used from the next
  // load on.
  const std::shared_ptr<OVMediaViewVideoRenderer>& videoRenderer() const { return videoRenderer_; }
  void setVideoRenderer(std::shared_ptr<OVMediaViewVideoRenderer> videoRenderer) {
    videoRenderer_ = std::move(videoRenderer);
  }
  // The ad's own autoplay choice when it has one, else the view's.
  bool isAutoplayEnabled() const;
  void setAutoplayEnabled(bool enabled) { autoplayEnabled_ = enabled; }

  // The installed renderer's volume; 0 without one.
  float volume() const;
  // Width over height of what is shown; 0 when that is not known.
  double aspectRatio() const;
  // Keeps origin and height; width = aspect ratio x height, rounded.
  void applyNaturalWidth();
  // Keeps origin and width; height = width / aspect ratio, rounded (0 for
  // no aspect ratio).
  void applyNaturalHeight();

  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;

 protected:
  OVMediaView();

 private:
  friend class OVMediaViewRelay;
  enum class Content { Video, Carousel, Image };

  std::shared_ptr<OVMediaView> self();
  std::shared_ptr<OVMediaViewRelay> relay();
  Content chosenContent() const;
  bool videoSupported() const;
  bool multiProductSupported() const;
  bool isValidFrame() const;
  void afterGeometryChange();
  void setupView();
  void setupVideoRenderer(const std::shared_ptr<OVMediaViewVideoRenderer>& renderer);
  void setupCommandProcessorIfNeeded();
  void loadNativeAd(const std::shared_ptr<OVNativeAd>& nativeAd);
  void loadImage();
  void loadVideo();
  void loadMultiProductAd();
  void dispatchViewDidLoad();
  void logCardImpression(std::uint64_t index);
  void handleCardClick(std::uint64_t index, platform::Point position);
  void openFullscreen(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer);
  void videoControllerWillDismiss();
  void videoControllerDidDismiss();
  void videoControllerDidTapCallToAction(const std::shared_ptr<platform::Button>& button);

  std::weak_ptr<OVMediaViewDelegate> delegate_;
  std::shared_ptr<OVNativeAd> nativeAd_;
  std::shared_ptr<OVMediaViewVideoRenderer> videoRenderer_;
  bool autoplayEnabled_ = true;
  std::weak_ptr<OVAdBlurredImageView> imageView_;
  std::weak_ptr<OVMediaViewVideoRenderer> currentVideoRenderer_;
  std::weak_ptr<OVAdMultiProductView> multiProductView_;
  bool videoFailedToLoad_ = false;
  bool needsDelayedLoad_ = false;
  std::shared_ptr<OVAdCommandProcessor> commandProcessor_;
  // Seconds since 2001, when the view was made; clicks too soon after are
  // refused.
  double loadedTime_ = -1.0;
  std::shared_ptr<OVAdFullscreenVideoController> videoFullscreenController_;
  // Takes the content views' and controllers' reports for the view.
  std::shared_ptr<OVMediaViewRelay> relay_;
  // Moves on with every load, so a load report of an earlier one is not
  // passed on, and each load reaches the delegate once.
  std::uint64_t loadGeneration_ = 0;
  std::optional<std::uint64_t> reportedLoad_;
};

}  // namespace plexora
