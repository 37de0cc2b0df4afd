// The library's fullscreen video controller: a black full-screen view into
// which the media view's renderer is lifted when the view loads (switched
// to fullscreen controls, at full volume once shown), a dismiss cross in
// the top-left corner and the call-to-action button at the top right.
//
// Either button ends it: the delegate hears it will dismiss at once; then,
// on the next turn of the main queue, the renderer goes back to its old
// superview (sized to that view's bounds, inline and muted) and the
// controller dismisses itself; when the dismissal is over, the
// call-to-action button reports its tap, and then the delegate hears it did
// dismiss. Taps while it is dismissing do nothing.
//
// Thread safety: main thread only.
// Ownership: the presenter owns the controller; the controller owns its
// buttons and holds the renderer, the renderer's old superview and its
// delegate weakly (the delegate is held strongly from a dismissal's start
// to its end, so the one told it will dismiss hears it did).
#pragma once

#include <memory>
#include <string>

#include "adapters/views/nativead/video/OVAdFullscreenVideoController.h"
#include "adapters/views/video/OVAdVideoCallToActionButton.h"
#include "adapters/views/video/OVAdVideoDismissButton.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/InterfaceOrientation.h"

namespace plexora {

class OVAdDefaultFullscreenVideoController final : public OVAdFullscreenVideoController {
 public:
  static constexpr double kCallToActionRightMargin = 12.0;
  static constexpr double kCallToActionTop = 9.0;
  static constexpr double kDismissButtonInset = 4.0;
  static constexpr double kDismissButtonSize = 36.0;
  static constexpr double kDismissButtonAlpha = 0.75;
  static constexpr float kFullscreenVolume = 1.0F;

  static std::shared_ptr<OVAdDefaultFullscreenVideoController> initWithVideoRenderer(
      const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& videoRenderer, const std::string& callToAction);

  void setDelegate(std::weak_ptr<OVAdFullscreenVideoControllerDelegate> delegate) override {
    delegate_ = std::move(delegate);
  }
  std::shared_ptr<OVAdFullscreenVideoControllerDelegate> delegate() const { return delegate_.lock(); }
  const std::string& callToAction() const { return callToAction_; }
  void setCallToAction(const std::string& callToAction) { callToAction_ = callToAction; }
  const std::shared_ptr<OVAdVideoCallToActionButton>& callToActionButton() const { return callToActionButton_; }
  const std::shared_ptr<OVAdVideoDismissButton>& dismissButton() const { return dismissButton_; }
  std::shared_ptr<platform::View> originalSuperView() const { return originalSuperView_.lock(); }
  std::shared_ptr<OVMediaViewDefaultVideoRenderer> videoRenderer() const { return videoRenderer_.lock(); }

  bool prefersStatusBarHidden() const override { return true; }
  // Portrait and both landscapes; never upside down.
  platform::InterfaceOrientationMask supportedInterfaceOrientations() const override;

  void loadView() override;
  void viewDidLoad() override;
  // The renderer fills the view; the call-to-action button keeps its size
  // at the top right. Runs after every change of the view's size.
  void viewDidLayoutSubviews();
  void viewDidAppear(bool animated) override;

  void swapInVideoView();
  void swapOutVideoView();

  // The dismiss button's action.
  void dismiss(const std::shared_ptr<platform::Button>& sender);
  using platform::ViewController::dismiss;
  // The call-to-action button's action.
  void callToActionHit(const std::shared_ptr<platform::Button>& button, const platform::Event* event);

 private:
  class ContentView;

  std::shared_ptr<OVAdDefaultFullscreenVideoController> self();
  // Null `callToAction`: dismissed by the dismiss button.
  void endFullscreen(std::shared_ptr<platform::Button> callToAction);

  std::weak_ptr<OVAdFullscreenVideoControllerDelegate> delegate_;
  std::string callToAction_;
  std::shared_ptr<OVAdVideoCallToActionButton> callToActionButton_;
  std::shared_ptr<OVAdVideoDismissButton> dismissButton_;
  std::weak_ptr<platform::View> originalSuperView_;
  std::weak_ptr<OVMediaViewDefaultVideoRenderer> videoRenderer_;
  bool dismissing_ = false;
};

}  // namespace plexora
