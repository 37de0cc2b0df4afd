// The library's fullscreen video controller: a black full-screen view into
// which the renderer is lifted when the controller appears, a close button
// in the top corner and the call-to-action button along the bottom. Close
// tells the delegate the controller will dismiss, dismisses it and, once it
// is gone, puts the renderer back where it was and tells the delegate it
// did.
//
// Thread safety: main thread only.
// Ownership: the presenter owns the controller; the controller holds the
// renderer, the renderer's old superview and its delegate weakly.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "adapters/views/nativead/video/OVAdFullscreenVideoController.h"
#include "platform/ui/Geometry.h"

namespace plexora {

class OVAdDefaultFullscreenVideoController final : public OVAdFullscreenVideoController {
 public:
  static constexpr double kButtonHeight = 44.0;
  static constexpr double kMargin = 16.0;

  static std::shared_ptr<OVAdDefaultFullscreenVideoController> initWithVideoRenderer(
      const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& videoRenderer, const std::string& callToAction);

  void setDelegate(std::weak_ptr<OVAdFullscreenVideoControllerDelegate> delegate) override {
    delegate_ = std::move(delegate);
  }
  std::shared_ptr<platform::Button> closeButton() const { return closeButton_.lock(); }
  std::shared_ptr<platform::Button> callToActionButton() const { return callToActionButton_.lock(); }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;

  // Closes as the close button does.
  void close();

 private:
  std::shared_ptr<OVAdDefaultFullscreenVideoController> self();
  void liftRenderer();
  void returnRenderer();
  void tapCallToAction(const platform::Event* event);

  std::weak_ptr<OVMediaViewDefaultVideoRenderer> videoRenderer_;
  std::string callToAction_;
  std::weak_ptr<OVAdFullscreenVideoControllerDelegate> delegate_;
  std::weak_ptr<platform::Button> closeButton_;
  std::weak_ptr<platform::Button> callToActionButton_;
  // Where the renderer was before it was lifted.
  std::weak_ptr<platform::View> rendererHome_;
  std::size_t rendererIndex_ = 0;
  platform::Rect rendererFrame_;
  bool closing_ = false;
};

}  // namespace plexora
