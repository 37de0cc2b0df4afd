// A web content container renders an HTML ad: it owns a web view, loads the
// ad's markup into it, bridges the page to the library, tracks the user's
// touches on it and logs the impression. The ad view that owns it hears of
// the load through OVAdContentContainerDelegate and decides what each
// tapped link does through OVAdViewNavigationPolicy.
//
// OVAdCreateContentContainer makes one of the two web view containers unless
// another maker was installed (tests install doubles).
//
// Thread safety: main thread only.
// Ownership: the ad view owns its container; the container holds its
// delegate and its parent weakly and its data model strongly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/ui/Geometry.h"
#include "platform/value/Value.h"
#include "plexora/OVAdSize.h"
#include "util/OVAdInstalledFunction.h"

namespace plexora::platform {
class View;
}

namespace plexora {

class OVAdDataModel;
class OVAdViewabilityValidator;

// The calls a container makes on its owner.
class OVAdContentContainerDelegate {
 public:
  virtual ~OVAdContentContainerDelegate() = default;

  // The page loaded and its bridge was set up.
  virtual void adDidLoad() = 0;
  virtual void adWillLogImpression() = 0;
  virtual void adDidFailToLoadWithError(const platform::Error& error) = 0;

  // Optional; the base does nothing.
  virtual void adDidLogClick() {}
  virtual void adDidFinishHandlingClick() {}
  // The owner's validator, whose figures travel with the impression; the
  // base has none, and without one the container logs no impression.
  virtual std::shared_ptr<OVAdViewabilityValidator> contentContainerViewabilityValidator() { return nullptr; }
};

// The view that hosts a container decides what a tapped link does.
class OVAdViewNavigationPolicy {
 public:
  virtual ~OVAdViewNavigationPolicy() = default;

  // Handles a link the user activated: true when it was handled (the
  // container then cancels the navigation), false to let the page load it.
  // `extraData` is a dictionary, or null for none.
  virtual bool processRequestURL(const platform::URL& url, const std::shared_ptr<OVAdDataModel>& adDataModel,
                                 const platform::Value& extraData) = 0;
  // While true, every tapped link is cancelled.
  virtual bool isModalViewPresenting() const = 0;
  virtual void setModalViewPresenting(bool presenting) = 0;

  // Optional: called once the markup has loaded; the base does nothing.
  virtual void ensureViewabilityValidation() {}
};

class OVAdContentContainer {
 public:
  using Maker = OVAdInstalledFunction<std::shared_ptr<OVAdContentContainer>(
      const std::shared_ptr<OVAdViewNavigationPolicy>& adView, bool forceUIWebView, platform::Size actualAdSize,
      OVAdSize adSizeType)>;

  virtual ~OVAdContentContainer() = default;
  OVAdContentContainer(const OVAdContentContainer&) = delete;
  OVAdContentContainer& operator=(const OVAdContentContainer&) = delete;

  // Sets the web view's frame.
  virtual void setFrame(platform::Rect frame) = 0;
  // Keeps an HTML data model as offsiteAd and loads its markup: true. Any
  // other model has no markup to show and is refused: false.
  virtual bool loadAdData(const std::shared_ptr<OVAdDataModel>& adData, std::int64_t minViewability) = 0;
  // `extraData` is a dictionary, or null for none. The answer is not used.
  virtual bool logClickWithExtraData(const platform::Value& extraData) = 0;
  // Loads raw markup. Always true.
  virtual bool loadAdMarkup(const std::string& markup, const std::string& activationCommand) = 0;
  virtual void initializeJavascriptAdControl() = 0;

  virtual std::shared_ptr<OVAdContentContainerDelegate> delegate() const = 0;
  virtual void setDelegate(std::weak_ptr<OVAdContentContainerDelegate> delegate) = 0;
  virtual std::shared_ptr<OVAdViewNavigationPolicy> parent() const = 0;
  virtual void setParent(std::weak_ptr<OVAdViewNavigationPolicy> parent) = 0;
  virtual platform::Size actualAdSize() const = 0;
  virtual void setActualAdSize(platform::Size size) = 0;
  virtual OVAdSize adSizeType() const = 0;
  virtual void setAdSizeType(OVAdSize adSizeType) = 0;
  virtual std::shared_ptr<OVAdDataModel> offsiteAd() const = 0;
  virtual void setOffsiteAd(std::shared_ptr<OVAdDataModel> dataModel) = 0;
  // 0 by 0 means no bound.
  virtual platform::Size minimumSize() const = 0;
  virtual void setMinimumSize(platform::Size size) = 0;
  virtual platform::Size maximumSize() const = 0;
  virtual void setMaximumSize(platform::Size size) = 0;

  // The last touch on the web view, in the touched view's coordinates;
  // (0, 0) means none.
  virtual platform::Point lastTouchStartLocation() const = 0;
  virtual void setLastTouchStartLocation(platform::Point location) = 0;
  virtual platform::Point lastTouchCurrentLocation() const = 0;
  virtual void setLastTouchCurrentLocation(platform::Point location) = 0;
  // Seconds since 1970.
  virtual double lastTouchStartTimestamp() const = 0;
  virtual void setLastTouchStartTimestamp(double timestamp) = 0;
  virtual double lastTouchCurrentTimestamp() const = 0;
  virtual void setLastTouchCurrentTimestamp(double timestamp) = 0;
  virtual double lastTouchRadius() const = 0;
  virtual void setLastTouchRadius(double radius) = 0;
  virtual double lastTouchPressure() const = 0;
  virtual void setLastTouchPressure(double pressure) = 0;

  virtual bool hasLoggedImpression() const = 0;
  virtual void setLoggedImpression(bool logged) = 0;
  // Seconds since 2001; -1 before the first impression.
  virtual double firstImpressionTime() const = 0;
  virtual void setFirstImpressionTime(double time) = 0;

  // The web view to add to the owner's view.
  virtual std::shared_ptr<platform::View> getView() const = 0;
  // Logs the impression once the page is ready; true once it is logged.
  virtual bool logImpression() = 0;

  // Makes each container, from OVAdCreateContentContainer's arguments.
  static Maker& maker();

 protected:
  OVAdContentContainer() = default;
};

// A new container for `adView`'s HTML ad, holding the ad view as its parent
// and keeping the two sizes. The default maker answers the container on
// the synchronous web view when `forceUIWebView` asks for it, else the one
// on the asynchronous web view (which this platform always has).
std::shared_ptr<OVAdContentContainer> OVAdCreateContentContainer(const std::shared_ptr<OVAdViewNavigationPolicy>& adView,
                                                                 bool forceUIWebView, platform::Size actualAdSize,
                                                                 OVAdSize adSizeType);

}  // namespace plexora
