// A content container that keeps what it is given and loads nothing. The
// test plays the page: it calls finishLoad(), failLoad() or
// setImpressionReady() to make the container talk to its owner the way a
// real one would. install() makes it the container every
// OVAdCreateContentContainer call answers, and lists each one made.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "adapters/views/contentcontainer/OVAdContentContainer.h"
#include "platform/ui/View.h"

namespace plexora::testing {

class FakeContentContainer final : public OVAdContentContainer {
 public:
  struct Made {
    std::vector<std::shared_ptr<FakeContentContainer>> containers;
    std::vector<bool> forceUIWebView;
  };

  FakeContentContainer(const std::shared_ptr<OVAdViewNavigationPolicy>& adView, platform::Size actualAdSize,
                       OVAdSize adSizeType)
      : parent_(adView), actualAdSize_(actualAdSize), adSizeType_(adSizeType) {}

  // Makes every container a fake, recorded in `made`, for the scope's life.
  static Maker::Scope install(const std::shared_ptr<Made>& made) {
    return Maker::Scope(OVAdContentContainer::maker(),
                        [made](const std::shared_ptr<OVAdViewNavigationPolicy>& adView, bool forceUIWebView,
                               platform::Size actualAdSize, OVAdSize adSizeType) {
                          auto container = std::make_shared<FakeContentContainer>(adView, actualAdSize, adSizeType);
                          made->containers.push_back(container);
                          made->forceUIWebView.push_back(forceUIWebView);
                          return container;
                        });
  }

  // ---- What the page would do ----

  // The page loaded: the owner hears adDidLoad, then the parent is asked to
  // validate viewability.
  void finishLoad() {
    if (auto owner = delegate()) owner->adDidLoad();
    if (auto policy = parent()) policy->ensureViewabilityValidation();
  }
  void failLoad(const platform::Error& error) {
    if (auto owner = delegate()) owner->adDidFailToLoadWithError(error);
  }
  // The user tapped a link: answers whether the parent handled it.
  bool tapLink(const platform::URL& url) {
    auto policy = parent();
    if (!policy || policy->isModalViewPresenting()) return false;
    return policy->processRequestURL(url, offsiteAd_, platform::Value());
  }
  // Until set, logImpression() answers false, as a page without its bridge.
  void setImpressionReady(bool ready) { impressionReady_ = ready; }
  // Called once the impression is logged, where a real page sends it to the
  // event manager.
  std::function<void(FakeContentContainer& container)> onImpressionLogged;

  // ---- OVAdContentContainer ----

  void setFrame(platform::Rect frame) override {
    view_->setFrame(frame);
  }
  bool loadAdData(const std::shared_ptr<OVAdDataModel>& adData, std::int64_t minViewability) override {
    offsiteAd_ = adData;
    loadedMinViewability = minViewability;
    ++loadAdDataCalls;
    return true;
  }
  bool logClickWithExtraData(const platform::Value& extraData) override {
    clicks.push_back(extraData);
    return false;
  }
  bool loadAdMarkup(const std::string& markup, const std::string& activationCommand) override {
    loadedMarkup = markup;
    loadedActivationCommand = activationCommand;
    return true;
  }
  void initializeJavascriptAdControl() override { ++bridgeSetUps; }

  std::shared_ptr<OVAdContentContainerDelegate> delegate() const override { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<OVAdContentContainerDelegate> delegate) override { delegate_ = std::move(delegate); }
  std::shared_ptr<OVAdViewNavigationPolicy> parent() const override { return parent_.lock(); }
  void setParent(std::weak_ptr<OVAdViewNavigationPolicy> parent) override { parent_ = std::move(parent); }
  platform::Size actualAdSize() const override { return actualAdSize_; }
  void setActualAdSize(platform::Size size) override { actualAdSize_ = size; }
  OVAdSize adSizeType() const override { return adSizeType_; }
  void setAdSizeType(OVAdSize adSizeType) override { adSizeType_ = adSizeType; }
  std::shared_ptr<OVAdDataModel> offsiteAd() const override { return offsiteAd_; }
  void setOffsiteAd(std::shared_ptr<OVAdDataModel> dataModel) override { offsiteAd_ = std::move(dataModel); }
  platform::Size minimumSize() const override { return minimumSize_; }
  void setMinimumSize(platform::Size size) override { minimumSize_ = size; }
  platform::Size maximumSize() const override { return maximumSize_; }
  void setMaximumSize(platform::Size size) override { maximumSize_ = size; }
  platform::Point lastTouchStartLocation() const override { return touchStart_; }
  void setLastTouchStartLocation(platform::Point location) override { touchStart_ = location; }
  platform::Point lastTouchCurrentLocation() const override { return touchCurrent_; }
  void setLastTouchCurrentLocation(platform::Point location) override { touchCurrent_ = location; }
  double lastTouchStartTimestamp() const override { return touchStartTime_; }
  void setLastTouchStartTimestamp(double timestamp) override { touchStartTime_ = timestamp; }
  double lastTouchCurrentTimestamp() const override { return touchCurrentTime_; }
  void setLastTouchCurrentTimestamp(double timestamp) override { touchCurrentTime_ = timestamp; }
  double lastTouchRadius() const override { return touchRadius_; }
  void setLastTouchRadius(double radius) override { touchRadius_ = radius; }
  double lastTouchPressure() const override { return touchPressure_; }
  void setLastTouchPressure(double pressure) override { touchPressure_ = pressure; }
  bool hasLoggedImpression() const override { return loggedImpression_; }
  void setLoggedImpression(bool logged) override { loggedImpression_ = logged; }
  double firstImpressionTime() const override { return firstImpressionTime_; }
  void setFirstImpressionTime(double time) override { firstImpressionTime_ = time; }
  std::shared_ptr<platform::View> getView() const override { return view_; }
  bool logImpression() override {
    ++logImpressionCalls;
    if (loggedImpression_) return true;
    if (!impressionReady_) return false;
    if (auto owner = delegate()) owner->adWillLogImpression();
    loggedImpression_ = true;
    if (onImpressionLogged) onImpressionLogged(*this);
    return true;
  }

  // ---- Recorded ----

  std::int64_t loadedMinViewability = 0;
  int loadAdDataCalls = 0;
  std::string loadedMarkup;
  std::string loadedActivationCommand;
  int bridgeSetUps = 0;
  int logImpressionCalls = 0;
  std::vector<platform::Value> clicks;

 private:
  std::weak_ptr<OVAdContentContainerDelegate> delegate_;
  std::weak_ptr<OVAdViewNavigationPolicy> parent_;
  platform::Size actualAdSize_;
  OVAdSize adSizeType_;
  std::shared_ptr<OVAdDataModel> offsiteAd_;
  platform::Size minimumSize_;
  platform::Size maximumSize_;
  platform::Point touchStart_;
  platform::Point touchCurrent_;
  double touchStartTime_ = 0.0;
  double touchCurrentTime_ = 0.0;
  double touchRadius_ = 0.0;
  double touchPressure_ = 0.0;
  bool loggedImpression_ = false;
  bool impressionReady_ = false;
  double firstImpressionTime_ = -1.0;
  std::shared_ptr<platform::View> view_ = std::make_shared<platform::View>();
};

}  // namespace plexora::testing
