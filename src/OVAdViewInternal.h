// One HTML ad: the ad's page in a web content container, the validator
// that decides its impression, and the command processor that runs its
// command links. The banner adapter shows it inside the banner; the display
// interstitial shows it full screen.
//
// The view stays hidden until the container reports the page loaded, and
// hides again when the page fails, so a page that never rendered is never
// shown or counted as seen; the failure goes to the delegate as an error.
// The delegate hears of the load before the page has loaded, which ends the
// controller's timeout; so the view times the page itself, and a page not
// loaded within the definition's request timeout fails as any page does.
// A failed page stays failed: a late load report does not show it.
//
// Thread safety: main thread only.
// Ownership: the adapter that made it owns it. It owns its container,
// validator and command processor, and holds its delegates and presenter
// weakly; the container and the processor hold it weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "adapters/OVAdCommandProcessor.h"
#include "adapters/views/contentcontainer/OVAdContentContainer.h"
#include "internal/OVAdViewabilityValidator.h"
#include "platform/ui/InterfaceOrientation.h"
#include "platform/value/Value.h"
#include "plexora/OVAdView.h"

namespace plexora {

class OVAdPlacementDefinition;
class OVAdTimer;

// Names what did not load in time in the timeout's description.
inline constexpr const char* kOVAdViewInternalPageTimeoutSubject = "OVAdViewInternal";
class OVAdViewInternal;

// Told when a command link asks a full-screen ad to close.
class OVAdViewInternalDelegate {
 public:
  virtual ~OVAdViewInternalDelegate() = default;
  virtual void adViewWillClose(const std::shared_ptr<OVAdViewInternal>& adView) = 0;
};

class OVAdViewInternal : public OVAdView,
                         public OVAdCommandProcessorDelegate,
                         public OVAdViewabilityValidatorDelegate,
                         public OVAdContentContainerDelegate,
                         public OVAdViewNavigationPolicy {
 public:
  // The ad of a candidate's data, hidden, its page loading. Data without a
  // client token or markup makes no model: the view is then not valid.
  static std::shared_ptr<OVAdViewInternal> initWithAdData(const platform::Dictionary& adData,
                                                          std::shared_ptr<OVAdPlacementDefinition> placementDefinition,
                                                          OVAdSize adSize);
  ~OVAdViewInternal() override;

  // The data was accepted and the container holds its model.
  bool isAdValid() const override;
  // Tells the delegate the ad is loaded; the view shows once the page is.
  // Starts the page's timeout: the definition's request timeout in whole
  // seconds, as the controller counts it.
  void loadAd() override;
  // Shows a page of raw markup, which logs no impression.
  void loadAdFromMarkup(const std::string& markup, const std::string& activationCommand,
                        platform::InterfaceOrientation orientation);

  // The frame's size bounded by the container's minimum and maximum sizes
  // (0 by 0: no bound); the origin stays.
  platform::Rect validRectForFrame(platform::Rect frame) const;
  void setFrame(platform::Rect frame) override;
  void setBounds(platform::Rect bounds) override;
  void didMoveToSuperview() override;

  // The viewability checks run while no impression was logged, the view
  // has a superview, the ad is valid and its page has loaded.
  void ensureViewabilityValidation() override;
  void disableViewabilityValidation();

  // The model the container accepted.
  std::shared_ptr<OVAdDataModel> offsiteAd() const;
  // The one set by loadAdFromMarkup, else the model's.
  platform::InterfaceOrientation orientation() const;

  // ---- Links the user activates (OVAdViewNavigationPolicy) ----
  bool processRequestURL(const platform::URL& url, const std::shared_ptr<OVAdDataModel>& adDataModel,
                         const platform::Value& extraData) override;
  bool isModalViewPresenting() const override { return modalViewPresenting_; }
  void setModalViewPresenting(bool presenting) override { modalViewPresenting_ = presenting; }
  // Whether the URL's scheme, in any case, is the command scheme.
  static bool isOVAdScheme(const platform::URL& url);
  bool processOVAdSchemeLink(const platform::URL& url, const std::shared_ptr<OVAdDataModel>& adDataModel,
                             const platform::Value& extraData);
  void handleClickWithExtraData(const platform::Value& extraData);
  void finishHandlingClick();

  // ---- OVAdViewabilityValidatorDelegate ----
  // A viewable check logs the impression once; the checks end when it was.
  bool viewabilityValidator(const std::shared_ptr<OVAdViewabilityValidator>& validator,
                            OVAdViewabilityStatus status) override;

  // ---- OVAdCommandProcessorDelegate ----
  void viewControllerDismissed(OVAdCommandProcessor& processor) override;
  // The last touch on the page as the click's touch record; none without
  // one.
  std::optional<platform::Value> commandProcessorTouchInformation(OVAdCommandProcessor& processor) override;
  std::shared_ptr<OVAdViewControllerProxy> viewControllerForPresentingModalView() override;

  // ---- OVAdContentContainerDelegate ----
  void adDidLoad() override;
  void adWillLogImpression() override;
  void adDidFailToLoadWithError(const platform::Error& error) override;
  void adDidLogClick() override;
  void adDidFinishHandlingClick() override;
  std::shared_ptr<OVAdViewabilityValidator> contentContainerViewabilityValidator() override;

  // ---- Accessors ----
  std::shared_ptr<OVAdViewInternalDelegate> internalDelegate() const { return internalDelegate_.lock(); }
  void setInternalDelegate(std::weak_ptr<OVAdViewInternalDelegate> delegate) { internalDelegate_ = std::move(delegate); }
  // What browsers and store pages are presented from; set when the ad is
  // shown.
  std::shared_ptr<OVAdViewControllerProxy> presenter() const { return presenter_.lock(); }
  void setPresenter(const std::shared_ptr<OVAdViewControllerProxy>& presenter) { presenter_ = presenter; }
  bool isInterstitial() const { return isInterstitial_; }
  bool isImpressionSent() const { return isImpressionSent_; }
  const std::shared_ptr<OVAdCommandProcessor>& commandHandler() const { return commandHandler_; }
  const std::shared_ptr<OVAdViewabilityValidator>& viewabilityValidator() const { return viewabilityValidator_; }
  const std::shared_ptr<OVAdPlacementDefinition>& placementDefinition() const { return placementDefinition_; }
  const std::shared_ptr<OVAdContentContainer>& adContentContainer() const { return adContentContainer_; }

 private:
  OVAdViewInternal() = default;

  std::shared_ptr<OVAdViewInternal> sharedInternal() {
    return std::static_pointer_cast<OVAdViewInternal>(shared_from_this());
  }
  void createAdContentContainer(bool forceUIWebView);
  void schedulePageTimeout();
  void invalidatePageTimeout();

  std::weak_ptr<OVAdViewInternalDelegate> internalDelegate_;
  std::weak_ptr<OVAdViewControllerProxy> presenter_;
  bool modalViewPresenting_ = false;
  bool adValid_ = false;
  platform::InterfaceOrientation orientation_ = platform::InterfaceOrientation::Unknown;
  bool isInterstitial_ = false;
  bool isImpressionSent_ = false;
  bool pageLoaded_ = false;
  bool pageFailed_ = false;
  std::shared_ptr<OVAdTimer> pageTimeoutTimer_;
  std::shared_ptr<OVAdCommandProcessor> commandHandler_;
  std::shared_ptr<OVAdViewabilityValidator> viewabilityValidator_;
  std::shared_ptr<OVAdPlacementDefinition> placementDefinition_;
  std::shared_ptr<OVAdContentContainer> adContentContainer_;
};

}  // namespace plexora
