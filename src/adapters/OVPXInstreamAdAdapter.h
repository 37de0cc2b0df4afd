// The network's own in-stream adapter: it reads a candidate's data into an
// in-stream data model and plays it with a video ad controller over a new
// in-stream content view, whose view is the adapter's ad view. The
// controller's reports go on to the adapter's delegate: load and failure,
// the viewable impression (then the impression event for the ad's client
// token), the click (no URL: the controller opened what it had to), and
// the end as an unload. The registry answers it for "PX" in-stream ads.
//
// Thread safety: main thread only.
// Ownership: the display-ad controller (or the renderer view) owns the
// adapter; the adapter owns its video ad controller, which owns the content
// view and holds the adapter weakly as its delegate.
#pragma once

#include <memory>

#include "adapters/OVDisplayAdAdapter.h"
#include "adapters/views/video/OVVideoAdController.h"

namespace plexora {

class OVAdEventManager;
class OVInstreamAdDataModel;

// The name the adapter registers under. Defined beside the adapter, so a
// program that looks the own classes up by this name links the adapter and
// its registration.
extern const char* const kOVPXInstreamAdAdapterClassName;

class OVPXInstreamAdAdapter final : public OVDisplayAdAdapter, public OVVideoAdControllerDelegate {
 public:
  explicit OVPXInstreamAdAdapter(std::weak_ptr<OVDisplayAdAdapterDelegate> delegate = {});

  // Only the candidate's data is used.
  void loadAdData(const platform::Dictionary& adData, OVAdSize size, std::int64_t orientation,
                  const std::string& placement, const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition,
                  const std::shared_ptr<OVRewardedVideoRewardData>& rewardData) override;
  // Builds the data model and hands it to the video ad controller, which
  // reports the outcome.
  void loadAdData(const platform::Dictionary& adData);
  // The controller's answer: a valid model and a reachable network.
  bool isAdValid() const;
  // Both forms start the video ad controller, which answers whether it
  // started; the animated flag plays no part.
  bool startAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) override;
  bool startAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
                                     bool animated) override;

  const std::shared_ptr<OVVideoAdController>& videoAdController() const { return videoAdController_; }
  const std::shared_ptr<OVInstreamAdDataModel>& dataModel() const { return dataModel_; }
  // Where the impression and the controller's events are logged: the
  // process's event manager unless set.
  void setEventManager(std::shared_ptr<OVAdEventManager> eventManager);

  // ---- OVVideoAdControllerDelegate ----
  void controllerDidLoad(const std::shared_ptr<OVVideoAdController>& controller) override;
  void controller(const std::shared_ptr<OVVideoAdController>& controller,
                  const platform::Error& didFailWithError) override;
  void controllerDidClick(const std::shared_ptr<OVVideoAdController>& controller) override;
  void controllerDidUnload(const std::shared_ptr<OVVideoAdController>& controller) override;
  void controllerWillRegisterViewableImpression(const std::shared_ptr<OVVideoAdController>& controller) override;

 private:
  std::shared_ptr<OVVideoAdController> videoAdController_;
  std::shared_ptr<OVInstreamAdDataModel> dataModel_;
  std::shared_ptr<OVAdEventManager> eventManager_;
};

}  // namespace plexora
