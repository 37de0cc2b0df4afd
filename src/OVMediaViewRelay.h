// Takes the reports of a media view's content views, its fullscreen video
// controller and its command processor, and hands each to the media view.
// The public view cannot show these internal interfaces in its header, so
// it keeps one relay that adopts them all.
//
// Thread safety: main thread only.
// Ownership: the media view owns its relay; the relay holds the view
// weakly, so reports that come after the view is gone do nothing.
#pragma once

#include <memory>
#include <optional>

#include "adapters/OVAdCommandProcessor.h"
#include "adapters/views/nativead/image/OVAdBlurredImageView.h"
#include "adapters/views/nativead/OVAdMultiProductView.h"
#include "adapters/views/nativead/video/OVAdFullscreenVideoController.h"
#include "adapters/views/nativead/video/OVMediaViewDefaultVideoRenderer.h"

namespace plexora {

class OVMediaView;

class OVMediaViewRelay final : public OVAdBlurredImageViewDelegate,
                               public OVAdMultiProductViewDelegate,
                               public OVMediaViewDefaultVideoRendererDelegate,
                               public OVAdFullscreenVideoControllerDelegate,
                               public OVAdCommandProcessorDelegate {
 public:
  explicit OVMediaViewRelay(std::weak_ptr<OVMediaView> mediaView) : mediaView_(std::move(mediaView)) {}

  void blurredImageViewDidLoad(const std::shared_ptr<OVAdBlurredImageView>& blurredImageView) override;
  void multiProductViewDidLoad(const std::shared_ptr<OVAdMultiProductView>& multiProductView) override;

  void defaultVideoRendererWasTapped(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer) override;
  void defaultVideoRenderer(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer,
                            float volumeDidChange) override;
  void defaultVideoRendererDidPause(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer) override;
  void defaultVideoRendererDidPlay(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer) override;
  void defaultVideoRendererVideoDidComplete(const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& renderer) override;

  void videoControllerWillDismiss(const std::shared_ptr<OVAdFullscreenVideoController>& controller) override;
  void videoControllerDidDismiss(const std::shared_ptr<OVAdFullscreenVideoController>& controller) override;
  void videoControllerDidTapCallToAction(const std::shared_ptr<OVAdFullscreenVideoController>& controller,
                                         const std::shared_ptr<platform::Button>& button,
                                         const platform::Event* event) override;

  std::shared_ptr<OVAdViewControllerProxy> viewControllerForPresentingModalView() override;

 private:
  std::weak_ptr<OVMediaView> mediaView_;
};

}  // namespace plexora
