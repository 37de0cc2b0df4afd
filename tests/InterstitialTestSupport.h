// An interstitial's world for tests: the loopback world of the ad units,
// every web content container a fake the test drives, a visible window
// whose root controller the ad is shown over, and a host delegate that
// records what reaches it, in order.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "controllers/DisplayAdTestWorld.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVInterstitialAd.h"
#include "support/TempDir.h"
#include "support/doubles/FakeContentContainer.h"

namespace plexora::testing {

class RecordingInterstitialDelegate final : public OVInterstitialAdDelegate {
 public:
  void interstitialAdDidLoad(const std::shared_ptr<OVInterstitialAd>& ad) override {
    messages.push_back("loaded");
    validOnLoad.push_back(ad->isAdValid());
  }
  void interstitialAd(const std::shared_ptr<OVInterstitialAd>&, const platform::Error& error) override {
    messages.push_back("error");
    errors.push_back(error);
  }
  void interstitialAdWillLogImpression(const std::shared_ptr<OVInterstitialAd>&) override {
    messages.push_back("impression");
  }
  void interstitialAdDidClick(const std::shared_ptr<OVInterstitialAd>&) override { messages.push_back("click"); }
  void interstitialAdWillClose(const std::shared_ptr<OVInterstitialAd>&) override { messages.push_back("will close"); }
  void interstitialAdDidClose(const std::shared_ptr<OVInterstitialAd>&) override { messages.push_back("did close"); }

  std::size_t count(const std::string& message) const {
    return static_cast<std::size_t>(std::count(messages.begin(), messages.end(), message));
  }

  std::vector<std::string> messages;
  std::vector<platform::Error> errors;
  std::vector<bool> validOnLoad;
};

class InterstitialTest : public ::testing::Test {
 protected:
  static constexpr const char* kPlacement = "interstitial-test";

  InterstitialTest() {
    platform::setCachesDirectory(caches_.path().string());
    window_->setRootViewController(rootViewController_);
    window_->makeKeyAndVisible();
  }
  ~InterstitialTest() override {
    platform::Application::shared()->reset();
    DisplayAdTestWorld::settle();
  }

  std::shared_ptr<OVInterstitialAd> makeInterstitial(const std::string& placement = kPlacement) {
    auto ad = OVInterstitialAd::initWithPlacementID(placement);
    ad->setDelegate(delegate_);
    return ad;
  }
  void answer(const std::vector<CandidateSpec>& candidates, const std::string& definition = R"("type":"interstitial")",
              const std::string& placement = kPlacement) {
    world_.server().setAnswer(placement, DisplayAdTestWorld::answer(candidates, definition));
  }
  // Loads until the host hears of the outcome.
  bool loadAndWait(const std::shared_ptr<OVInterstitialAd>& ad) {
    const std::size_t before = delegate_->messages.size();
    ad->loadAd();
    return DisplayAdTestWorld::waitFor([&] {
      DisplayAdTestWorld::settle();
      return delegate_->messages.size() > before;
    });
  }
  // The index-th container made (from 0), once the load got there.
  std::shared_ptr<FakeContentContainer> containerAt(std::size_t index) {
    if (!DisplayAdTestWorld::waitFor([&] { return containers_->containers.size() > index; })) return nullptr;
    DisplayAdTestWorld::settle();
    return containers_->containers[index];
  }
  // Lets an animated presentation or dismissal finish.
  void finishTransition() {
    DisplayAdTestWorld::settle();
    world_.clock().advance(platform::ViewController::kTransitionSeconds);
    DisplayAdTestWorld::settle();
  }

  DisplayAdTestWorld world_;
  TempDir caches_;
  std::shared_ptr<FakeContentContainer::Made> containers_ = std::make_shared<FakeContentContainer::Made>();
  FakeContentContainer::Maker::Scope containerScope_ = FakeContentContainer::install(containers_);
  std::shared_ptr<platform::Window> window_ = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> rootViewController_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<RecordingInterstitialDelegate> delegate_ = std::make_shared<RecordingInterstitialDelegate>();
};

// A candidate of the network's own HTML interstitial; orientation 1 is
// portrait, 2 landscape, 0 any.
inline std::string htmlInterstitialData(const std::string& token, int orientation = 1,
                                        const std::string& markup = "<p>ad</p>") {
  return R"({"request_id":"req-i","ct":")" + token + R"(","markup":")" + markup +
         R"(","metadata":{"ad_width":320,"ad_height":480,"orientation":)" + std::to_string(orientation) + "}}";
}

}  // namespace plexora::testing
