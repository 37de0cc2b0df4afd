// A native ad: the host creates it for a placement, loads it once, reads
// its assets (texts, images, rating, ad-choices assets, call to action) and
// draws them in its own views or in the library's templates, then registers
// the view that shows it so the ad can measure its impression and take
// clicks. The ad tells its delegate it has loaded only once the media its
// cache policy names are in.
//
//   auto ad = OVNativeAd::initWithPlacementID("123_456");
//   ad->setDelegate(myDelegate);
//   ad->setMediaCachePolicy(kOVNativeAdMediaCachePolicyIcon | kOVNativeAdMediaCachePolicyImage);
//   ad->loadAd();
//   // in nativeAdDidLoad: fill the views, then
//   ad->registerViewForInteraction(adView, viewController, {callToActionButton});
//
// Thread safety: main thread only; every delegate message arrives there.
// In every build, initWithPlacementID, loadAd, doLoadAd,
// registerViewForInteraction, unregisterView, the manual and external
// logging calls and setDelegate from another thread end the process at
// once, naming the call.
// Ownership: the host owns the ad; while its load is outstanding the ad is
// also kept by the class, so an ad the host drops still finishes loading.
// The ad owns its controller, its validator and the recognisers it
// attaches (through their views); it holds its delegate, the registered
// view and the clickable views weakly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/Export.h"
#include "platform/dispatch/MainThreadCheck.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/value/Value.h"
#include "plexora/OVAdStarRating.h"

namespace plexora::platform {
class Responder;
class View;
class ViewController;
}  // namespace plexora::platform

namespace plexora {

class OVAdImage;
class OVAdPlacementDefinition;
class OVAdProvider;
class OVAdViewabilityValidator;
class OVAdViewControllerProxy;
class OVDisplayAdController;
class OVNativeAd;
class OVNativeAdDataModel;
class OVNativeAdEvents;
class OVNativeAdMultiProductDataModel;
class OVNativeAdViewAttributes;

// Which media must be in before the ad reports loaded; the bits combine.
using OVNativeAdMediaCachePolicy = std::int64_t;
inline constexpr OVNativeAdMediaCachePolicy kOVNativeAdMediaCachePolicyNone = 1;
inline constexpr OVNativeAdMediaCachePolicy kOVNativeAdMediaCachePolicyIcon = 2;
// The cover image and the carousel cards' images.
inline constexpr OVNativeAdMediaCachePolicy kOVNativeAdMediaCachePolicyImage = 4;
inline constexpr OVNativeAdMediaCachePolicy kOVNativeAdMediaCachePolicyVideo = 8;

inline constexpr const char* kOVNativeAdInvalidOperationException = "InvalidOperationException";
inline constexpr const char* kOVNativeAdLoadOnceReason = "OVNativeAd loadAd can only be called once";
inline constexpr const char* kOVNativeAdNoViewReason = "OVNativeAd registerViewForInteraction requires a UIView, nil is provided";
inline constexpr const char* kOVNativeAdNoClickableViewsReason =
    "OVNativeAd registerViewForInteraction requires a valid array for clickableViews";
inline constexpr const char* kOVNativeAdNotRegisteredReason = "The UIView is not registered with this OVNativeAd";
inline constexpr const char* kOVNativeAdManualNotLoadedReason =
    "Manual logging helper can only be used when native ad did loaded";
inline constexpr const char* kOVNativeAdManualNotEnabledReason =
    "Your placement is not enabled for NativeAd manual logging";
inline constexpr const char* kOVNativeAdNoViewControllerReason = "viewController cannot be nil";
inline constexpr const char* kOVNativeAdInvalidSourceReason = "Invalid external source.";

// Every message is optional.
class PLEXORA_EXPORT OVNativeAdDelegate {
 public:
  virtual ~OVNativeAdDelegate() = default;

  // The data and the media the cache policy names are in.
  virtual void nativeAdDidLoad(const std::shared_ptr<OVNativeAd>& /*nativeAd*/) {}
  // The registered view was seen and the impression is being logged.
  virtual void nativeAdWillLogImpression(const std::shared_ptr<OVNativeAd>& /*nativeAd*/) {}
  // didFailWithError: the ad could not be loaded.
  virtual void nativeAd(const std::shared_ptr<OVNativeAd>& /*nativeAd*/, const platform::Error& /*error*/) {}
  virtual void nativeAdDidClick(const std::shared_ptr<OVNativeAd>& /*nativeAd*/) {}
  // What the click opened (browser, store page) was closed again.
  virtual void nativeAdDidFinishHandlingClick(const std::shared_ptr<OVNativeAd>& /*nativeAd*/) {}
};

// A tap handed to handleTap by a view of the library rather than through a
// recogniser: from a button, the point of the tap in the registered view's
// coordinates, or the marker that the full-screen video's call-to-action
// button sends, which brings no touch at all.
struct OVNativeAdNoTouchEvent {};
using OVNativeAdTapEvent = std::variant<std::monostate, platform::Point, OVNativeAdNoTouchEvent>;

class PLEXORA_EXPORT OVNativeAd final : public platform::GestureRecognizerDelegate,
                                        public std::enable_shared_from_this<OVNativeAd> {
 public:
  // The controller's handlers of the host-presented ad: impression and
  // impression miss (extra data, post data) and click (view controller,
  // extra data).
  using ImpressionHandler = std::function<void(const platform::Dictionary& extraData, const platform::Dictionary& postData)>;
  using ClickHandler = std::function<void(const std::shared_ptr<platform::ViewController>& viewController,
                                          const platform::Dictionary& extraData)>;
  using Cards = std::vector<std::shared_ptr<OVNativeAdMultiProductDataModel>>;

  // An ad for the empty placement.
  static std::shared_ptr<OVNativeAd> init();
  // Starts the library once per process; none is kept as the empty text.
  static std::shared_ptr<OVNativeAd> initWithPlacementID(const std::optional<std::string>& placementID);
  // Loads through `adProvider` (which holds its answer) instead of a request.
  static std::shared_ptr<OVNativeAd> initWithPlacementID(const std::optional<std::string>& placementID,
                                                         std::shared_ptr<OVAdProvider> adProvider);
  // The one placeholder ad the templates lay themselves out with: valid
  // without data, every asset none.
  static std::shared_ptr<OVNativeAd> fakeNativeAd();

  ~OVNativeAd() override;
  OVNativeAd(const OVNativeAd&) = delete;
  OVNativeAd& operator=(const OVNativeAd&) = delete;

  // ---- Loading ----

  // Throws platform::Exception (kOVNativeAdInvalidOperationException,
  // kOVNativeAdLoadOnceReason) from the second call on; a copy counts as
  // loaded already.
  void loadAd();
  void doLoadAd(const std::optional<std::string>& bidPayload);
  // A new ad with this one's data, definition and handlers: the empty
  // placement, no controller, delegate or view, and loaded.
  std::shared_ptr<OVNativeAd> copy() const;

  // ---- Assets (none before the data arrived) ----

  OVAdStarRating starRating() const;
  std::optional<std::string> title() const;
  std::optional<std::string> subtitle() const;
  std::optional<std::string> socialContext() const;
  std::optional<std::string> callToAction() const;
  std::shared_ptr<OVAdImage> icon() const;
  std::shared_ptr<OVAdImage> coverImage() const;
  std::optional<std::string> rawBody() const;
  // The body cut at a word end to fit 90 characters, with "..." appended;
  // a body that fits comes back as it is.
  std::optional<std::string> body() const;
  const std::shared_ptr<OVAdImage>& adChoicesIcon() const { return adChoicesIcon_; }
  const std::optional<platform::URL>& adChoicesLinkURL() const { return adChoicesLinkURL_; }
  const std::optional<std::string>& adChoicesText() const { return adChoicesText_; }
  std::optional<platform::URL> videoURL() const;
  std::optional<bool> autoPlayEnabled() const;
  bool isVideoSupported() const;
  Cards multiProductAdContent() const;
  bool isMultiProductSupported() const;
  const std::shared_ptr<OVNativeAdViewAttributes>& adViewAttributes() const { return adViewAttributes_; }

  // ---- State ----

  // Always for the placeholder; otherwise once loaded, the data's validity.
  bool isAdValid() const;
  // The network of the adapter that served the ad ("PX" for the own one);
  // none while the ad is not valid or has no controller.
  std::optional<std::string> getAdNetwork() const;

  // ---- Registration, impression and clicks ----

  // Registers the view with every view below it that takes touches as the
  // clickable views.
  void registerViewForInteraction(const std::shared_ptr<platform::View>& view,
                                  const std::shared_ptr<platform::ViewController>& viewController);
  // Ties the view to this ad (taking it from any ad it was registered with),
  // attaches a tap recogniser to each clickable view from the next turn of
  // the main loop, starts the viewability checks that log the impression,
  // and, when the data asks for it, logs a snapshot of the view after the
  // data's delay. Throws platform::Exception (kInvalidArgumentException) for
  // no view or no clickable views; an ad not loaded yet only logs.
  void registerViewForInteraction(const std::shared_ptr<platform::View>& view,
                                  const std::shared_ptr<platform::ViewController>& viewController,
                                  const std::vector<std::shared_ptr<platform::View>>& clickableViews);
  bool isRegistered() const;
  // Releases the registered view and its recognisers and stops the checks;
  // nothing without a registered view. Throws platform::Exception
  // (kInternalInconsistencyException, kOVNativeAdNotRegisteredReason) when
  // the class's map does not tie that view to this ad.
  void unregisterView();
  // Later registrations start no viewability checks.
  void disableViewabilityValidator();

  // A tap on a clickable view: the click runs the ad's command once the tap
  // passes the click gate.
  void handleTap(platform::GestureRecognizer& recognizer);
  void handleTap(const std::shared_ptr<platform::Responder>& sender, const OVNativeAdTapEvent& event);

  // Logs the impression miss once, when no impression was logged and the
  // configuration tracks misses.
  void logImpressionMissWithReason(std::int64_t reason);

  // Placements whose data allows manual logging log the impression and
  // clicks themselves. Throw platform::Exception
  // (kOVNativeAdInvalidOperationException) for an ad not loaded or a
  // placement without manual logging; handleClick throws
  // (kInvalidArgumentException) without a view controller.
  void logImpression();
  void handleClickWithViewController(const std::shared_ptr<platform::ViewController>& viewController);
  // Impressions and clicks another source saw; no click checks apply.
  // Throw platform::Exception (kInvalidArgumentException) for an empty
  // source or no view controller.
  void logExternalImpressionFromSource(const std::optional<std::string>& source);
  void handleExternalClickWithViewController(const std::shared_ptr<platform::ViewController>& viewController,
                                             const std::optional<std::string>& source);

  // ---- platform::GestureRecognizerDelegate ----
  // Only for a valid ad whose registered view is in a window.
  bool gestureRecognizerShouldBegin(platform::GestureRecognizer& recognizer) override;

  // ---- Logging data ----

  // "nti", "nhs", "nmv", "nmvap", "vrc", "vp", "vh", "touch" and "analog", then the
  // extra data's entries; an extra "touch" becomes the ad's last touch.
  platform::Dictionary generateLoggingDataWithExtraData(const platform::Dictionary& extraData);
  // The logging data of a tap at `location` (in the registered view) on a
  // view whose bounds lie at `rect` in the window.
  platform::Dictionary generateTapLoggingWithLocation(platform::Point location, platform::Rect rect);
  // {"view": the registered view's tree as JSON} when the data asks for it.
  platform::Dictionary generateViewPostData() const;
  // The registered view's tree: each view's place in the window, whether it
  // is clickable, its kind and its subviews; empty without a view.
  platform::Dictionary generateViewLogging() const;
  // A JPEG of the registered view at the data's compression quality, as
  // base64 text; none without a view or a picture of it.
  std::optional<std::string> generateViewSnapshot() const;

  // ---- Properties ----

  const std::string& placementID() const { return placementID_; }
  std::shared_ptr<OVNativeAdDelegate> delegate() const { return delegate_.lock(); }
  // Held weakly: the host keeps its delegate alive. One handed over as a
  // temporary (setDelegate(std::make_shared<...>())) is gone at once, and
  // every message meant for it is dropped without a word.
  void setDelegate(std::weak_ptr<OVNativeAdDelegate> delegate) {
    platform::requireMainThread("OVNativeAd::setDelegate");
    delegate_ = std::move(delegate);
  }
  OVNativeAdMediaCachePolicy mediaCachePolicy() const { return mediaCachePolicy_; }
  void setMediaCachePolicy(OVNativeAdMediaCachePolicy policy) { mediaCachePolicy_ = policy; }
  bool hasCalledLoadAd() const { return hasCalledLoadAd_; }
  const std::shared_ptr<OVDisplayAdController>& adController() const { return adController_; }
  const std::shared_ptr<OVNativeAdDataModel>& dataModel() const { return dataModel_; }
  const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition() const { return placementDefinition_; }
  const std::shared_ptr<OVAdViewabilityValidator>& viewabilityValidator() const { return viewabilityValidator_; }
  std::shared_ptr<platform::View> nativeAdView() const { return nativeAdView_.lock(); }
  std::vector<std::shared_ptr<platform::View>> clickableViews() const;
  // Seconds since 2001; -1 until an impression was logged.
  double firstImpressionTime() const { return firstImpressionTime_; }
  const std::optional<std::string>& lastTouchData() const { return lastTouchData_; }
  // Set by the views that show the ad: the horizontal scroll view and the
  // media view (with its configuration, {"autoplay_enabled": bool}).
  bool isHScroll() const { return isHScroll_; }
  void setIsHScroll(bool isHScroll) { isHScroll_ = isHScroll; }
  bool usedByMediaView() const { return usedByMediaView_; }
  void setUsedByMediaView(bool used) { usedByMediaView_ = used; }
  const std::optional<platform::Dictionary>& mediaViewConfiguration() const { return mediaViewConfiguration_; }
  void setMediaViewConfiguration(std::optional<platform::Dictionary> configuration) {
    mediaViewConfiguration_ = std::move(configuration);
  }
  bool shouldBypassValidation() const { return bypassValidation_; }
  void setBypassValidation(bool bypass) { bypassValidation_ = bypass; }

  // The data, definition and handlers of a delivery; the ad counts as loaded.
  void populateFromDataModel(const std::shared_ptr<OVNativeAdDataModel>& dataModel,
                             const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition,
                             ImpressionHandler onImpression, ImpressionHandler onImpressionMiss, ClickHandler onClick);

  // The ads whose load is outstanding.
  static std::size_t outstandingRequestCount();

 private:
  friend class OVNativeAdEvents;
  struct Retirement;

  OVNativeAd();
  static std::shared_ptr<OVNativeAd> make();

  // ---- What the controller and the validator report ----
  void displayAdControllerLoaded();
  void displayAdControllerPresentedData(const std::shared_ptr<OVNativeAdDataModel>& dataModel,
                                        ImpressionHandler onImpression, ImpressionHandler onImpressionMiss,
                                        ClickHandler onClick);
  void displayAdControllerImpression();
  void displayAdControllerClickThru();
  void displayAdControllerUserClosed();
  void displayAdControllerFailed(const platform::Error& error);
  bool viewabilityValidatorChecked(std::int64_t status);

  // Fetches the media the policy waits for, then tells the delegate.
  void loadMedia();
  void finishLoad(const std::vector<std::shared_ptr<OVAdImage>>& awaited,
                  const std::optional<platform::URL>& awaitedVideo, bool videoArrived);
  void failLoad(const platform::Error& error);
  void sendLatencyEvent() const;

  void unregisterViewInternal();
  // The "native_view" event with the registered view's snapshot.
  void logViewSnapshot();
  void attachRecognizer(const std::weak_ptr<platform::View>& clickableView, std::uint64_t registration);
  void handleTapAt(platform::Point location, std::optional<platform::Dictionary> record);
  void checkManualLoggingEligibility() const;
  // The work of the ad's release, while it is still whole: the impression
  // miss, the view's release and the end of the checks.
  void retire();

  std::string placementID_;
  std::weak_ptr<OVNativeAdDelegate> delegate_;
  OVNativeAdMediaCachePolicy mediaCachePolicy_ = kOVNativeAdMediaCachePolicyNone;
  std::shared_ptr<OVDisplayAdController> adController_;
  std::shared_ptr<OVAdProvider> adProvider_;
  std::shared_ptr<OVNativeAdEvents> events_;
  bool hasCalledLoadAd_ = false;
  bool isHScroll_ = false;
  bool usedByMediaView_ = false;
  std::optional<platform::Dictionary> mediaViewConfiguration_;
  std::shared_ptr<OVAdViewabilityValidator> viewabilityValidator_;
  std::vector<std::weak_ptr<platform::GestureRecognizer>> gestureRecognizers_;
  std::shared_ptr<OVAdPlacementDefinition> placementDefinition_;
  // Resolves the host's controller, or the view's, when a click opens
  // something; holds both weakly.
  std::shared_ptr<OVAdViewControllerProxy> viewController_;
  // Seconds since 1970.
  double loadAdStartTime_ = 0.0;
  std::shared_ptr<OVNativeAdDataModel> dataModel_;
  std::shared_ptr<OVAdImage> adChoicesIcon_;
  std::optional<platform::URL> adChoicesLinkURL_;
  std::optional<std::string> adChoicesText_;
  std::shared_ptr<OVNativeAdViewAttributes> adViewAttributes_;
  std::weak_ptr<platform::View> nativeAdView_;
  std::vector<std::weak_ptr<platform::View>> clickableViews_;
  // Moves on at each registration and unregistration, so recognisers queued
  // for an earlier one are not attached.
  std::uint64_t registration_ = 0;
  bool viewabilityValidatorDisabled_ = false;
  bool bypassValidation_ = false;
  double firstImpressionTime_ = -1.0;
  std::optional<std::string> lastTouchData_;
  ImpressionHandler onImpression_;
  ImpressionHandler onImpressionMiss_;
  ClickHandler onClick_;
};

}  // namespace plexora
