// Shows a native ad's video full screen: the controller lifts the media
// view's renderer into its own view while presented, adds a dismiss button
// and a call-to-action button, and puts the renderer back when dismissed.
//
// initWithVideoRenderer() makes the library's own controller
// (OVAdDefaultFullscreenVideoController) unless another maker is installed
// (tests install doubles).
//
// Thread safety: main thread only.
// Ownership: whoever presents the controller owns it; it holds its delegate
// and the renderer weakly.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/Button.h"
#include "platform/ui/Touch.h"
#include "platform/ui/ViewController.h"
#include "util/OVAdInstalledFunction.h"

namespace plexora {

class OVAdFullscreenVideoController;
class OVMediaViewDefaultVideoRenderer;

class OVAdFullscreenVideoControllerDelegate {
 public:
  virtual ~OVAdFullscreenVideoControllerDelegate() = default;

  virtual void videoControllerWillDismiss(const std::shared_ptr<OVAdFullscreenVideoController>& controller) = 0;
  virtual void videoControllerDidDismiss(const std::shared_ptr<OVAdFullscreenVideoController>& controller) = 0;
  // The call-to-action button was tapped with the event.
  virtual void videoControllerDidTapCallToAction(const std::shared_ptr<OVAdFullscreenVideoController>& controller,
                                                 const std::shared_ptr<platform::Button>& button,
                                                 const platform::Event* event) = 0;
};

class OVAdFullscreenVideoController : public platform::ViewController {
 public:
  using Maker = OVAdInstalledFunction<std::shared_ptr<OVAdFullscreenVideoController>(
      const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& videoRenderer, const std::string& callToAction)>;

  // A controller that shows the renderer with the call-to-action text.
  static std::shared_ptr<OVAdFullscreenVideoController> initWithVideoRenderer(
      const std::shared_ptr<OVMediaViewDefaultVideoRenderer>& videoRenderer, const std::string& callToAction) {
    return maker()(videoRenderer, callToAction);
  }

  virtual void setDelegate(std::weak_ptr<OVAdFullscreenVideoControllerDelegate> delegate) = 0;

  static Maker& maker();

 protected:
  OVAdFullscreenVideoController() = default;
};

}  // namespace plexora
