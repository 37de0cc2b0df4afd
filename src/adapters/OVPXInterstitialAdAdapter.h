// The network's own interstitial adapter: a candidate with "markup" becomes
// the HTML interstitial, one with "video" the video interstitial; the
// adapter loads and shows it and passes its reports on to the display-ad
// controller. The registry answers it for "PX" interstitials.
//
// Thread safety: main thread only.
// Ownership: the controller owns the adapter; the adapter owns its target
// (the internal it drives) and is held weakly as the target's delegate.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "adapters/OVDisplayAdAdapter.h"
#include "internal/OVInterstitialAdInternal.h"

namespace plexora {

extern const char* const kOVPXInterstitialAdAdapterClassName;

class OVPXInterstitialAdAdapter final : public OVDisplayAdAdapter, public OVInterstitialAdInternalDelegate {
 public:
  explicit OVPXInterstitialAdAdapter(std::weak_ptr<OVDisplayAdAdapterDelegate> delegate = {});

  std::optional<std::string> getAdNetwork() override;
  // Data with neither kind of ad, or one that is not valid, fails the load
  // with "No fill" (1001).
  void loadAdData(const platform::Dictionary& adData, OVAdSize size, std::int64_t orientation,
                  const std::string& placement, const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition,
                  const std::shared_ptr<OVRewardedVideoRewardData>& rewardData) override;
  bool startAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) override;
  bool startAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
                                     bool animated) override;

  // ---- OVInterstitialAdInternalDelegate ----
  void interstitialAdDidClick(const std::shared_ptr<OVInterstitialAdInternal>& internal) override;
  void interstitialAdDidClose(const std::shared_ptr<OVInterstitialAdInternal>& internal) override;
  void interstitialAdWillClose(const std::shared_ptr<OVInterstitialAdInternal>& internal) override;
  void interstitialAdDidLoad(const std::shared_ptr<OVInterstitialAdInternal>& internal) override;
  void interstitialAd(const std::shared_ptr<OVInterstitialAdInternal>& internal, const platform::Error& error) override;
  void interstitialAdWillLogImpression(const std::shared_ptr<OVInterstitialAdInternal>& internal) override;

  const std::shared_ptr<OVInterstitialAdInternal>& target() const { return target_; }
  void setTarget(std::shared_ptr<OVInterstitialAdInternal> target) { target_ = std::move(target); }

 private:
  std::shared_ptr<OVPXInterstitialAdAdapter> sharedAdapter() {
    return std::static_pointer_cast<OVPXInterstitialAdAdapter>(shared_from_this());
  }

  std::shared_ptr<OVInterstitialAdInternal> target_;
};

}  // namespace plexora
