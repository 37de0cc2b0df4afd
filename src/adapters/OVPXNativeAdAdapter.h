// The network's own native adapter: it reads a candidate's data into a
// native data model, reports the load to the display-ad controller, logs
// the native ad's impression and impression miss against the ad's client
// token (the impression with its view tree after a delay, when the ad sends
// one), and runs the ad's command on a click through its own command
// processor. It draws nothing: the host's or the templates' views show the
// data. The registry answers it for "PX" native placements.
//
// Thread safety: main thread only.
// Ownership: the controller owns the adapter; the adapter owns its command
// processor (which holds it weakly as delegate), its data model, its
// presenting proxy and the timer of the delayed view-tree event.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "adapters/OVAdCommandProcessor.h"
#include "adapters/OVDisplayAdAdapter.h"

namespace plexora {

class OVAdEventManager;
class OVAdTimer;

// The name the adapter registers under; a program that names it links the
// adapter and its registration.
extern const char* const kOVPXNativeAdAdapterClassName;

inline constexpr const char* kOVPXNativeAdLoadingMessage = "Plexora Loading";
inline constexpr const char* kOVPXNativeAdLoadedMessage = "Plexora Loaded";

class OVPXNativeAdAdapter final : public OVDisplayAdAdapter, public OVAdCommandProcessorDelegate {
 public:
  explicit OVPXNativeAdAdapter(std::weak_ptr<OVDisplayAdAdapterDelegate> delegate = {});

  std::optional<std::string> getAdNetwork() override;
  // Reads the data; reports the load before returning, or "No fill" (1001)
  // for data that gives no valid ad.
  void loadAdData(const platform::Dictionary& adData, OVAdSize size, std::int64_t orientation,
                  const std::string& placement, const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition,
                  const std::shared_ptr<OVRewardedVideoRewardData>& rewardData) override;
  // Keeps the presenter for what a click opens; always true.
  bool startAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) override;
  bool startAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
                                     bool animated) override;
  // Presents what clicks open from the controller, or from the view's.
  void registerViewForInteraction(const std::shared_ptr<platform::View>& view,
                                  const std::shared_ptr<platform::ViewController>& viewController) override;

  // Logs the first impression of each load; non-empty post data (the
  // view tree) follows as a "native_view" event after the data model's
  // snapshot delay.
  void onImpressionWithExtraData(const platform::Dictionary& extraData, const platform::Dictionary& postData) override;
  // Logs one impression miss in the adapter's life.
  void onImpressionMissWithExtraData(const platform::Dictionary& extraData,
                                     const platform::Dictionary& postData) override;
  // Runs the ad's command with the extra data.
  void onClickForViewController(const std::shared_ptr<platform::ViewController>& viewController,
                                const platform::Dictionary& extraData) override;

  // ---- OVAdCommandProcessorDelegate ----
  std::shared_ptr<OVAdViewControllerProxy> viewControllerForPresentingModalView() override;
  void viewControllerDismissed(OVAdCommandProcessor& processor) override;

  // Where events are logged: the process's event manager unless set. Also
  // given to the command processor, this load's and later ones.
  void setEventManager(std::shared_ptr<OVAdEventManager> eventManager);
  const std::shared_ptr<OVAdCommandProcessor>& commandProcessor() const { return commandProcessor_; }
  bool hasLoggedImpression() const { return hasLoggedImpression_; }

 private:
  std::shared_ptr<OVAdEventManager> eventManager() const;
  std::string clientToken() const;

  bool hasLoggedImpression_ = false;
  bool hasLoggedImpressionMiss_ = false;
  std::shared_ptr<OVAdCommandProcessor> commandProcessor_;
  std::shared_ptr<OVAdViewControllerProxy> viewController_;
  std::shared_ptr<OVAdTimer> snapshotTimer_;
  std::shared_ptr<OVAdEventManager> eventManager_;
};

}  // namespace plexora
