// The rewarded video ad's side of its controller: kept apart from the public
// class so the host's header does not know the controller's interface.
// Each report goes on to the host's delegate.
//
// Thread safety: main thread only.
// Ownership: the ad owns it; it holds the ad weakly, as every delegate is
// held.
#pragma once

#include <memory>
#include <optional>

#include "controllers/OVDisplayAdController.h"
#include "plexora/OVRewardedVideoAd.h"

namespace plexora {

class OVRewardedVideoAdEvents final : public OVDisplayAdControllerDelegate {
 public:
  explicit OVRewardedVideoAdEvents(std::weak_ptr<OVRewardedVideoAd> ad) : ad_(std::move(ad)) {}

  void displayAdControllerLoaded(const std::shared_ptr<OVDisplayAdController>& controller) override;
  void displayAdControllerStopped(const std::shared_ptr<OVDisplayAdController>& controller) override;
  void displayAdController(const std::shared_ptr<OVDisplayAdController>& controller,
                           const platform::Error& error) override;
  void displayAdControllerImpression(const std::shared_ptr<OVDisplayAdController>& controller) override;
  void displayAdController(const std::shared_ptr<OVDisplayAdController>& controller,
                           const std::optional<platform::URL>& clickThruWithURL) override;
  void displayAdControllerUserClosed(const std::shared_ptr<OVDisplayAdController>& controller) override;
  void displayAdControllerVideoComplete(const std::shared_ptr<OVDisplayAdController>& controller) override;
  void displayAdControllerServerRewardSuccess(const std::shared_ptr<OVDisplayAdController>& controller) override;
  void displayAdControllerServerRewardFailed(const std::shared_ptr<OVDisplayAdController>& controller) override;
  // A rewarded ad has no view of the controller's to present.
  using OVDisplayAdControllerDelegate::displayAdController;

 private:
  // The ad and its delegate, both alive; none otherwise.
  std::pair<std::shared_ptr<OVRewardedVideoAd>, std::shared_ptr<OVRewardedVideoAdDelegate>> target() const;

  std::weak_ptr<OVRewardedVideoAd> ad_;
};

}  // namespace plexora
