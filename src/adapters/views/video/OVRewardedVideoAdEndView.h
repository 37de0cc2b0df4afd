// The end card of a rewarded video ad: the HTML markup the ad carries for
// the moment after the video, loaded into a web content container as soon
// as the view is made and shown full screen after the video.
//
// Thread safety: main thread only.
// Ownership: the end card's controller owns the view; the view holds its
// delegate and the root view controller's proxy weakly and owns its
// container.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/InterfaceOrientation.h"
#include "platform/ui/View.h"
#include "util/OVAdInstalledFunction.h"

namespace plexora {

class OVAdViewControllerProxy;
class OVRewardedVideoAdDataModel;
class OVRewardedVideoAdEndView;

// Each operation is optional (the base does nothing) and gets the view.
class OVRewardedVideoAdEndViewDelegate {
 public:
  virtual ~OVRewardedVideoAdEndViewDelegate() = default;

  // The card logged a click.
  virtual void rewardedVideoAdEndViewClicked(const std::shared_ptr<OVRewardedVideoAdEndView>& view) {}
  // The markup asked to close.
  virtual void rewardedVideoAdEndViewWillClose(const std::shared_ptr<OVRewardedVideoAdEndView>& view) {}
  // The markup could not be loaded.
  virtual void rewardedVideoAdEndView(const std::shared_ptr<OVRewardedVideoAdEndView>& view,
                                      const platform::Error& didFailWithError) {}
};

class OVRewardedVideoAdEndView : public platform::View {
 public:
  using Maker = OVAdInstalledFunction<std::shared_ptr<OVRewardedVideoAdEndView>(
      const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
      std::int64_t minViewability, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
      platform::InterfaceOrientation orientation)>;

  // The card for the model's end-card markup. Throws platform::Exception
  // named "NSInvalidArgumentException" when the placement identifier or the
  // root view controller is missing.
  static std::shared_ptr<OVRewardedVideoAdEndView> initWithPlacementID(
      const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
      std::int64_t minViewability, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
      platform::InterfaceOrientation orientation) {
    return maker()(placementID, adData, minViewability, rootViewController, orientation);
  }

  virtual void setDelegate(std::weak_ptr<OVRewardedVideoAdEndViewDelegate> delegate) = 0;
  // Sets the frame of the view and of its container.
  virtual void setFrameOnShow(platform::Rect frame) = 0;
  // Replaces the view's observers: while auto-rotation is on, the view
  // follows the screen's bounds as the device turns.
  virtual void setupNotification() = 0;

  // Makes each view: an OVRewardedVideoAdWebEndView unless another maker is
  // installed (tests install doubles).
  static Maker& maker();

 protected:
  OVRewardedVideoAdEndView() = default;
};

}  // namespace plexora
