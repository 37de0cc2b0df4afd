// The network's own banner adapter: it turns a candidate's data into an
// HTML ad view (OVAdViewInternal) and passes the view's reports on to the
// display-ad controller. The registry answers it for "PX" banners.
//
// Thread safety: main thread only.
// Ownership: the controller owns the adapter; the adapter owns the ad view
// it made and is held weakly as that view's delegate.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "adapters/OVDisplayAdAdapter.h"
#include "plexora/OVAdView.h"

namespace plexora {

// The name the adapter registers under. Defined beside the adapter, so a
// program that looks the own classes up by this name links the adapter and
// its registration.
extern const char* const kOVPXBannerAdAdapterClassName;

inline constexpr const char* kOVPXAdNetwork = "PX";

class OVPXBannerAdAdapter final : public OVDisplayAdAdapter, public OVAdViewDelegate {
 public:
  explicit OVPXBannerAdAdapter(std::weak_ptr<OVDisplayAdAdapterDelegate> delegate = {});

  std::optional<std::string> getAdNetwork() override;
  // Makes the ad view; data that gives no valid ad fails the load with
  // "No fill" (1001).
  void loadAdData(const platform::Dictionary& adData, OVAdSize size, std::int64_t orientation,
                  const std::string& placement, const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition,
                  const std::shared_ptr<OVRewardedVideoRewardData>& rewardData) override;
  // A banner is shown as soon as it is placed: always true. The presenter,
  // when given, becomes the ad view's.
  bool startAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) override;
  bool startAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
                                     bool animated) override;

  // ---- OVAdViewDelegate ----
  void adViewDidClick(const std::shared_ptr<OVAdView>& adView) override;
  void adViewDidFinishHandlingClick(const std::shared_ptr<OVAdView>& adView) override;
  void adViewDidLoad(const std::shared_ptr<OVAdView>& adView) override;
  void adView(const std::shared_ptr<OVAdView>& adView, const platform::Error& error) override;
  void adViewWillLogImpression(const std::shared_ptr<OVAdView>& adView) override;

  // The view accessor of the adapter base, beside the delegate's failure
  // report of the same name.
  using OVDisplayAdAdapter::adView;

 private:
  std::shared_ptr<OVPXBannerAdAdapter> sharedAdapter() {
    return std::static_pointer_cast<OVPXBannerAdAdapter>(shared_from_this());
  }
};

}  // namespace plexora
