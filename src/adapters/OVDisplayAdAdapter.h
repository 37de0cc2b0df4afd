// The contract between the display-ad controller and any ad network: an
// adapter loads one candidate's data, shows the ad, logs impressions and
// clicks of ads the host presents itself, and reports back to its delegate.
//
// A subclass overrides what its kind of ad needs. The base answers the
// operations a subclass may leave alone (getAdNetwork, registerViewForInteraction,
// unregisterView, onImpressionMissWithExtraData) with nothing, and raises
// platform::Exception (kInternalInconsistencyException, "[<class> <operation>:]
// not implemented.") from those the controller relies on: loadAdData, both
// startAdFromRootViewController forms, onImpressionWithExtraData and
// onClickForViewController.
//
// An adapter reports exactly one load outcome: adapterDidLoad (with adView set
// for a view ad, nativeAdData for a native ad) or the failure report
// adapter(adapter, error).
// Reports pass the adapter itself, so adapters are always owned by a
// std::shared_ptr (the registry makes them so).
//
// Thread safety: main thread only.
// Ownership: the controller owns its adapters; an adapter holds its delegate
// weakly and owns its view and native data model.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/value/Value.h"
#include "plexora/OVAdSize.h"

namespace plexora::platform {
class View;
class ViewController;
}  // namespace plexora::platform

namespace plexora {

class OVAdPlacementDefinition;
class OVAdViewControllerProxy;
class OVDisplayAdAdapter;
class OVNativeAdDataModel;
class OVRewardedVideoRewardData;

// What an adapter tells the controller. Every report names the adapter that
// sends it; the failure report may also come with none, for a candidate
// that had no adapter at all.
class OVDisplayAdAdapterDelegate {
 public:
  virtual ~OVDisplayAdAdapterDelegate() = default;

  // A click on the ad: its URL (none when the adapter has no URL to give) and
  // whether the controller is to open it (false: the adapter handles it).
  virtual void adapterDidClick(const std::shared_ptr<OVDisplayAdAdapter>& adapter,
                               const std::optional<platform::URL>& url, bool playerHandles) = 0;
  virtual void adapterDidLoad(const std::shared_ptr<OVDisplayAdAdapter>& adapter) = 0;
  virtual void adapter(const std::shared_ptr<OVDisplayAdAdapter>& adapter, const platform::Error& error) = 0;
  // Sent just before the adapter logs the impression.
  virtual void adapterWillLogImpression(const std::shared_ptr<OVDisplayAdAdapter>& adapter) = 0;

  // Optional reports; the defaults ignore them.
  // The click's follow-up (browser, store page) was closed.
  virtual void adapterDidFinishHandlingClick(const std::shared_ptr<OVDisplayAdAdapter>& /*adapter*/) {}
  // A full-screen ad is closing, then has closed.
  virtual void adapterWillUnload(const std::shared_ptr<OVDisplayAdAdapter>& /*adapter*/) {}
  virtual void adapterDidUnload(const std::shared_ptr<OVDisplayAdAdapter>& /*adapter*/) {}
  // A video played to its end.
  virtual void adapterDidComplete(const std::shared_ptr<OVDisplayAdAdapter>& /*adapter*/) {}
  // The outcome of a server-side reward.
  virtual void adapterServerRewardSuccess(const std::shared_ptr<OVDisplayAdAdapter>& /*adapter*/) {}
  virtual void adapterServerRewardFailed(const std::shared_ptr<OVDisplayAdAdapter>& /*adapter*/) {}

 protected:
  OVDisplayAdAdapterDelegate() = default;
  OVDisplayAdAdapterDelegate(const OVDisplayAdAdapterDelegate&) = default;
  OVDisplayAdAdapterDelegate& operator=(const OVDisplayAdAdapterDelegate&) = default;
};

class OVDisplayAdAdapter : public std::enable_shared_from_this<OVDisplayAdAdapter> {
 public:
  // Stores the delegate (weakly); none is allowed.
  explicit OVDisplayAdAdapter(std::weak_ptr<OVDisplayAdAdapterDelegate> delegate = {});
  virtual ~OVDisplayAdAdapter() = default;
  OVDisplayAdAdapter(const OVDisplayAdAdapter&) = delete;
  OVDisplayAdAdapter& operator=(const OVDisplayAdAdapter&) = delete;

  // The receiver's own class name, as the run time knows it, without
  // namespaces ("OVDisplayAdAdapter" for the base itself).
  std::string className() const;

  // The network identifier the adapter serves; none in the base.
  virtual std::optional<std::string> getAdNetwork();

  // Starts loading the candidate's data for the size and interface
  // orientation; reports its outcome to the delegate.
  virtual void loadAdData(const platform::Dictionary& adData, OVAdSize size, std::int64_t orientation,
                          const std::string& placement,
                          const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition,
                          const std::shared_ptr<OVRewardedVideoRewardData>& rewardData);

  // Shows the ad from the proxy's view controller; answers whether it did
  // (a banner answers true). The one-argument form is the animated one.
  virtual bool startAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController);
  virtual bool startAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
                                             bool animated);

  // A native ad's view for the host's taps, and its release; nothing in the
  // base.
  virtual void registerViewForInteraction(const std::shared_ptr<platform::View>& view,
                                          const std::shared_ptr<platform::ViewController>& viewController);
  virtual void unregisterView();

  // A native ad the host presents was seen, or was checked and not seen.
  virtual void onImpressionWithExtraData(const platform::Dictionary& extraData, const platform::Dictionary& postData);
  virtual void onImpressionMissWithExtraData(const platform::Dictionary& extraData,
                                             const platform::Dictionary& postData);
  // A native ad the host presents was clicked.
  virtual void onClickForViewController(const std::shared_ptr<platform::ViewController>& viewController,
                                        const platform::Dictionary& extraData);

  // The view that shows a banner or interstitial ad; none for native ads.
  const std::shared_ptr<platform::View>& adView() const { return adView_; }
  void setAdView(std::shared_ptr<platform::View> adView) { adView_ = std::move(adView); }
  // The data model a native adapter made; none otherwise.
  const std::shared_ptr<OVNativeAdDataModel>& nativeAdData() const { return nativeAdData_; }
  void setNativeAdData(std::shared_ptr<OVNativeAdDataModel> nativeAdData) { nativeAdData_ = std::move(nativeAdData); }
  // Locked from the weak reference: none once the delegate is gone.
  std::shared_ptr<OVDisplayAdAdapterDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVDisplayAdAdapterDelegate> delegate) { delegate_ = std::move(delegate); }

 private:
  [[noreturn]] void raiseNotImplemented(const char* operation) const;

  std::shared_ptr<platform::View> adView_;
  std::shared_ptr<OVNativeAdDataModel> nativeAdData_;
  std::weak_ptr<OVDisplayAdAdapterDelegate> delegate_;
};

}  // namespace plexora
