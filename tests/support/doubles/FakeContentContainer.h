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

#include "adapters/views/contentcontainer/OVAdContentContainerFields.h"
#include "platform/ui/View.h"

namespace plexora::testing {

class FakeContentContainer final : public OVAdContentContainerFields {
 public:
  struct Made {
    std::vector<std::shared_ptr<FakeContentContainer>> containers;
    std::vector<bool> forceUIWebView;
  };

  FakeContentContainer(const std::shared_ptr<OVAdViewNavigationPolicy>& adView, platform::Size actualAdSize,
                       OVAdSize adSizeType)
      : OVAdContentContainerFields(adView, actualAdSize, adSizeType) {}

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
  bool impressionReady_ = false;
  std::shared_ptr<platform::View> view_ = std::make_shared<platform::View>();
};

}  // namespace plexora::testing
