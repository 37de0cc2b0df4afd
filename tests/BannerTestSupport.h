// A banner's world for tests: the loopback world of the ad units, caches in
// a directory of their own, every web content container a fake the test
// drives, a visible window to place banners in, and a host delegate that
// records what reaches it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "OVAdViewInternal.h"
#include "controllers/DisplayAdTestWorld.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdView.h"
#include "support/TempDir.h"
#include "support/doubles/FakeContentContainer.h"

namespace plexora::testing {

// A candidate of the network's own banner with its client token and markup.
inline std::string htmlAdData(const std::string& token, const std::string& markup = "<p>ad</p>") {
  return R"({"request_id":"req-1","ct":")" + token + R"(","markup":")" + markup +
         R"(","metadata":{"ad_width":320,"ad_height":50,"orientation":2}})";
}

class RecordingAdViewDelegate final : public OVAdViewDelegate {
 public:
  void adViewDidClick(const std::shared_ptr<OVAdView>&) override { messages.push_back("click"); }
  void adViewDidFinishHandlingClick(const std::shared_ptr<OVAdView>&) override { messages.push_back("finished"); }
  void adViewDidLoad(const std::shared_ptr<OVAdView>& adView) override {
    messages.push_back("loaded");
    validOnLoad.push_back(adView->isAdValid());
  }
  void adView(const std::shared_ptr<OVAdView>&, const platform::Error& error) override {
    messages.push_back("error");
    errors.push_back(error);
  }
  void adViewWillLogImpression(const std::shared_ptr<OVAdView>&) override { messages.push_back("impression"); }

  std::size_t count(const std::string& message) const {
    return static_cast<std::size_t>(std::count(messages.begin(), messages.end(), message));
  }

  std::vector<std::string> messages;
  std::vector<platform::Error> errors;
  // What isAdValid() answered inside each adViewDidLoad.
  std::vector<bool> validOnLoad;
};

class BannerTest : public ::testing::Test {
 protected:
  static constexpr const char* kPlacement = "banner-test";

  BannerTest() {
    platform::setCachesDirectory(caches_.path().string());
    window_->setRootViewController(rootViewController_);
    window_->makeKeyAndVisible();
  }

  // A banner placed in the window, below the status bar.
  std::shared_ptr<OVAdView> placeBanner(OVAdSize size = kOVAdSize320x50, const std::string& placement = kPlacement) {
    auto banner = OVAdView::initWithPlacementID(placement, size, rootViewController_);
    banner->setDelegate(delegate_);
    banner->setFrame({{0, 100}, banner->frame().size});
    window_->addSubview(banner);
    return banner;
  }
  void answer(const std::vector<CandidateSpec>& candidates, const std::string& definition) {
    world_.server().setAnswer(kPlacement, DisplayAdTestWorld::answer(candidates, definition));
  }
  // The index-th container made (from 0), once the load got there.
  std::shared_ptr<FakeContentContainer> containerAt(std::size_t index) {
    if (!DisplayAdTestWorld::waitFor([&] { return containers_->containers.size() > index; })) return nullptr;
    DisplayAdTestWorld::settle();
    return containers_->containers[index];
  }
  static std::shared_ptr<OVAdViewInternal> internalOf(const std::shared_ptr<OVAdView>& banner) {
    return std::dynamic_pointer_cast<OVAdViewInternal>(banner->adView());
  }

  DisplayAdTestWorld world_;
  TempDir caches_;
  std::shared_ptr<FakeContentContainer::Made> containers_ = std::make_shared<FakeContentContainer::Made>();
  FakeContentContainer::Maker::Scope containerScope_ = FakeContentContainer::install(containers_);
  std::shared_ptr<platform::Window> window_ = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> rootViewController_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<RecordingAdViewDelegate> delegate_ = std::make_shared<RecordingAdViewDelegate>();
};

}  // namespace plexora::testing
