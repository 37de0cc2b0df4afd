// The load-and-show state machine every ad unit owns one of. The unit hands
// it a placement, a placement type, a template and an ad size; the
// controller asks an ad provider for the placement's candidates, runs them
// as a waterfall through the adapters the registry finds (one adapter in
// flight under a whole-second timeout, one shown as the current ad),
// retries an exhausted list up to the definition's client maximum, decides
// the impression together with a viewability validator and the adapter,
// refreshes on a timer, fires each candidate's trackers, and tells its unit
// everything through OVDisplayAdControllerDelegate.
//
// Every delegate message is queued on the main queue, even from the main
// thread, so it arrives after the step that caused it has finished; the
// queued block holds the controller until it ran and reads the delegate
// only then, so nothing reaches a unit that is gone.
//
// Thread safety: main thread only (every member, the provider's, adapters',
// timers' and validator's reports).
// Ownership: the unit owns the controller (create()) and is held weakly as
// its delegate. The controller owns its provider, its current and in-flight
// adapters, its validator and its timers; adapters, the provider, the
// validator, timers and notification blocks hold it weakly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapters/OVDisplayAdAdapter.h"
#include "internal/OVAdViewabilityValidator.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/ui/Geometry.h"
#include "platform/value/Value.h"
#include "plexora/OVAdSize.h"
#include "server/OVAdProvider.h"

namespace plexora::platform {
class View;
class ViewController;
}  // namespace plexora::platform

namespace plexora {

class OVAdCandidate;
class OVAdEnvironmentData;
class OVAdPlacementDefinition;
class OVAdTimer;
class OVAdViewControllerProxy;
class OVDisplayAdController;
class OVNativeAdDataModel;
class OVRewardedVideoRewardData;

inline constexpr const char* kOVDisplayAdControllerInitializedTwiceReason = "Ad controller was initialized more than once.";
// The class name, then the operation.
inline constexpr const char* kOVDisplayAdControllerNotLoadedFormat =
    "[%s %s:] This method may not be called until onAdLoaded has been delivered.";
inline constexpr const char* kOVDisplayAdControllerMissingAdapterFormat = "Failed to locate %s adapter";
inline constexpr const char* kOVDisplayAdControllerTimeoutFormat = "Adapter timeout: %s";
inline constexpr const char* kOVDisplayAdControllerShowFailedDescription = "Ad failed to show";

// What the controller tells its unit, always on the main queue. The first
// three are required; the others default to nothing.
class OVDisplayAdControllerDelegate {
 public:
  // A native ad the host presents was seen or checked and not seen: the
  // extra data and the post data.
  using ImpressionBlock = std::function<void(const platform::Dictionary& extraData, const platform::Dictionary& postData)>;
  // A native ad the host presents was clicked.
  using ClickBlock = std::function<void(const std::shared_ptr<platform::ViewController>& viewController,
                                        const platform::Dictionary& extraData)>;

  virtual ~OVDisplayAdControllerDelegate() = default;

  // The first ad is ready to be shown (startAd...).
  virtual void displayAdControllerLoaded(const std::shared_ptr<OVDisplayAdController>& controller) = 0;
  // A full-screen ad has closed.
  virtual void displayAdControllerStopped(const std::shared_ptr<OVDisplayAdController>& controller) = 0;
  // didFailWithError: a load, a show or a shown ad failed.
  virtual void displayAdController(const std::shared_ptr<OVDisplayAdController>& controller,
                                   const platform::Error& error) = 0;

  // presentedView: the current adapter's view to show (none when it has
  // none); for the first ad after startAd and for every later load.
  virtual void displayAdController(const std::shared_ptr<OVDisplayAdController>& /*controller*/,
                                   const std::shared_ptr<platform::View>& /*presentedView*/) {}
  // presentedData: a native ad's data model with what to call when the
  // host's view of it is seen, missed or clicked.
  virtual void displayAdController(const std::shared_ptr<OVDisplayAdController>& /*controller*/,
                                   const std::shared_ptr<OVNativeAdDataModel>& /*presentedData*/,
                                   ImpressionBlock /*onImpression*/, ImpressionBlock /*onImpressionMiss*/,
                                   ClickBlock /*onClick*/) {}
  virtual void displayAdControllerImpression(const std::shared_ptr<OVDisplayAdController>& /*controller*/) {}
  // clickThruWithURL: always none; the URL was opened already, if at all.
  virtual void displayAdController(const std::shared_ptr<OVDisplayAdController>& /*controller*/,
                                   const std::optional<platform::URL>& /*clickThruWithURL*/) {}
  virtual void displayAdControllerUserClosed(const std::shared_ptr<OVDisplayAdController>& /*controller*/) {}
  virtual void displayAdControllerVideoComplete(const std::shared_ptr<OVDisplayAdController>& /*controller*/) {}
  virtual void displayAdControllerServerRewardSuccess(const std::shared_ptr<OVDisplayAdController>& /*controller*/) {}
  virtual void displayAdControllerServerRewardFailed(const std::shared_ptr<OVDisplayAdController>& /*controller*/) {}

 protected:
  OVDisplayAdControllerDelegate() = default;
  OVDisplayAdControllerDelegate(const OVDisplayAdControllerDelegate&) = default;
  OVDisplayAdControllerDelegate& operator=(const OVDisplayAdControllerDelegate&) = default;
};

class OVDisplayAdController final : public OVDisplayAdAdapterDelegate,
                                    public OVAdProviderDelegate,
                                    public OVAdViewabilityValidatorDelegate,
                                    public std::enable_shared_from_this<OVDisplayAdController> {
 public:
  static constexpr std::int64_t kBannerRefreshInterval = 30;

  static std::shared_ptr<OVDisplayAdController> create();
  ~OVDisplayAdController() override;
  OVDisplayAdController(const OVDisplayAdController&) = delete;
  OVDisplayAdController& operator=(const OVDisplayAdController&) = delete;

  std::shared_ptr<OVDisplayAdControllerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVDisplayAdControllerDelegate> delegate) { delegate_ = std::move(delegate); }

  // Sets the controller up once and starts the first load: through
  // `adProvider` when one is given (a provider that holds its answer),
  // else through a new request. A bid payload that does not parse is
  // reported as the error and nothing is requested. Throws
  // platform::Exception (kInternalInconsistencyException) when called again.
  void loadAdWithPlacementId(const std::string& placementId, std::int64_t placementType, std::int64_t templateID,
                             OVAdSize adSize = kOVAdSizeInterstitial,
                             std::shared_ptr<OVAdProvider> adProvider = nullptr,
                             std::shared_ptr<OVRewardedVideoRewardData> rewardData = nullptr,
                             const std::optional<std::string>& bidPayload = std::nullopt);

  // Shows the current ad; answers whether the adapter showed it. A
  // controller (given or none) is wrapped with the ad's view in a
  // view-controller proxy; a proxy is used as it is. Throws
  // platform::Exception (kInternalInconsistencyException) before the first
  // ad was delivered.
  bool startAd();
  bool startAdFromRootViewController(const std::shared_ptr<platform::ViewController>& rootViewController,
                                     bool animated = true);
  bool startAdFromRootViewController(const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
                                     bool animated = true);

  // A new request from the first candidate, counting as no retry. Nothing
  // before set-up; after a bid payload that did not parse, its error again
  // and no request.
  void refresh();
  // A new request that keeps the retry count.
  void retry();
  // No refresh from now on, whatever later answers say.
  void disableAutoRefresh();

  // The definition in force; none before the first answer.
  const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition() const { return currentPlacementDefinition_; }
  // The ad size fitted to the screen at the last load.
  platform::Size actualAdSize() const { return actualAdSize_; }
  // The adapter of the ad shown; none before the first ad.
  const std::shared_ptr<OVDisplayAdAdapter>& currentAdapter() const { return currentAdapter_; }

  // ---- OVDisplayAdAdapterDelegate ----
  void adapterDidClick(const std::shared_ptr<OVDisplayAdAdapter>& adapter, const std::optional<platform::URL>& url,
                       bool playerHandles) override;
  void adapterDidLoad(const std::shared_ptr<OVDisplayAdAdapter>& adapter) override;
  void adapter(const std::shared_ptr<OVDisplayAdAdapter>& adapter, const platform::Error& error) override;
  void adapterWillLogImpression(const std::shared_ptr<OVDisplayAdAdapter>& adapter) override;
  void adapterDidFinishHandlingClick(const std::shared_ptr<OVDisplayAdAdapter>& adapter) override;
  void adapterWillUnload(const std::shared_ptr<OVDisplayAdAdapter>& adapter) override;
  void adapterDidUnload(const std::shared_ptr<OVDisplayAdAdapter>& adapter) override;
  void adapterDidComplete(const std::shared_ptr<OVDisplayAdAdapter>& adapter) override;
  void adapterServerRewardSuccess(const std::shared_ptr<OVDisplayAdAdapter>& adapter) override;
  void adapterServerRewardFailed(const std::shared_ptr<OVDisplayAdAdapter>& adapter) override;

  // ---- OVAdProviderDelegate ----
  void onAdRequestSuccess(const std::shared_ptr<OVAdProviderResponseAds>& response) override;
  void onAdRequestError(const platform::Error& error) override;

  // ---- OVAdViewabilityValidatorDelegate ----
  // A viewable check is the controller's half of the impression.
  bool viewabilityValidator(const std::shared_ptr<OVAdViewabilityValidator>& validator,
                            OVAdViewabilityStatus status) override;

 private:
  enum class ImpressionSource { Controller, Adapter };

  OVDisplayAdController() = default;

  void checkInitialization();
  void initialLoadAd();
  void loadAd();
  void setInitialAdViewSize(OVAdSize adSize);
  // False only when the list has no candidate left; a candidate without an
  // adapter class is failed on the spot, and whatever that failure leads to
  // (the next candidate, a retry, the final error) counts as handled.
  bool tryNextAdFromList();
  void scheduleTimeout(std::int64_t seconds);
  void invalidateTimeoutTimer();
  void handleExhaustedList(const platform::Error& lastError);
  // The request trackers of the candidate in flight, once per started
  // adapter; `error` adds "error" and "msg".
  void fireRequestTrackers(const std::optional<platform::Error>& error);

  void scheduleRefresh();
  void scheduleRefreshIn(std::int64_t seconds);
  void updateRefreshInterval(std::int64_t seconds);
  void invalidateRefreshTimer();
  void invalidateInProgressAd();
  void invalidateCurrentAd();

  void ensureViewabilityValidator();
  void disableViewabilityValidator();
  void logImpressionFromSource(ImpressionSource source);
  bool isCurrentAdapter(const std::shared_ptr<OVDisplayAdAdapter>& adapter) const;
  // The ad shown failed after its load was reported (its page did not
  // load): the unit hears the error once for that ad, and the next refresh
  // replaces it.
  void handleCurrentAdFailure(const platform::Error& error);

  void startObservingNotifications();
  void stopObservingNotifications();
  void onApplicationBackgrounded();
  void onApplicationForegrounded();
  [[noreturn]] void raiseNotLoaded(const char* operation) const;
  bool startCurrentAdapter(const std::shared_ptr<OVAdViewControllerProxy>& proxy, bool animated);

  // Queues `message` for the delegate on the main queue.
  void notify(std::function<void(OVDisplayAdControllerDelegate&, const std::shared_ptr<OVDisplayAdController>&)> message);
  void notifyAdLoaded();
  void notifyAdViewPresented();
  void notifyAdImpression();
  void notifyAdStopped();
  void notifyAdError(const platform::Error& error);
  void notifyAdClickThruWithURL(const std::optional<platform::URL>& url, bool playerHandles);
  void notifyAdUserClose();
  void notifyAdVideoComplete();

  std::weak_ptr<OVDisplayAdControllerDelegate> delegate_;
  std::shared_ptr<OVDisplayAdAdapter> currentAdapter_;
  std::shared_ptr<OVAdProvider> adProvider_;
  std::shared_ptr<OVAdEnvironmentData> environment_;
  // Why set-up built no environment: the bid payload's parse error, told
  // again to every later load instead of a request.
  std::optional<platform::Error> bidPayloadError_;
  std::shared_ptr<OVRewardedVideoRewardData> rewardData_;
  std::shared_ptr<OVAdViewabilityValidator> currentViewabilityValidator_;
  std::shared_ptr<OVAdPlacementDefinition> currentPlacementDefinition_;
  std::shared_ptr<OVAdCandidate> currentAdCandidate_;
  std::shared_ptr<OVDisplayAdAdapter> nextAdapter_;
  std::shared_ptr<OVAdPlacementDefinition> nextPlacementDefinition_;
  std::shared_ptr<OVAdTimer> nextAdapterTimeoutTimer_;
  std::vector<std::shared_ptr<OVAdCandidate>> nextAdsData_;
  std::int64_t nextAdsDataCurrentPos_ = -1;
  OVAdSize adSizeType_;
  platform::Size actualAdSize_;
  bool initialized_ = false;
  bool loaded_ = false;
  bool started_ = false;
  bool adapterHadImpression_ = false;
  // The current adapter's failure reached the unit; cleared when another
  // adapter becomes current.
  bool currentAdapterFailed_ = false;
  bool controllerHadImpression_ = false;
  std::int64_t placementType_ = 0;
  std::string placementID_;
  // 0 until set up (no refresh); -1 once auto refresh is disabled, which
  // set-up and later answers then leave alone.
  std::int64_t refreshInterval_ = 0;
  std::shared_ptr<OVAdTimer> refreshTimer_;
  std::int64_t retryCount_ = 0;
  // Seconds since 1970 when the adapter in flight started; 0 before any,
  // -1 once its outcome fired the request trackers.
  double adapterLoadTime_ = 0.0;
};

}  // namespace plexora
