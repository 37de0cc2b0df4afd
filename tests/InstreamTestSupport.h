// An in-stream ad's world for tests: the loopback world of the ad units,
// caches in a directory of their own, every in-stream content view a double
// the test plays the video with (the real controller and adapter drive it),
// a key window to place the ad in, an event manager that sends to the
// world's logging endpoint, and a host delegate that records what reaches
// it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "adapters/OVPXInstreamAdAdapter.h"
#include "controllers/DisplayAdTestWorld.h"
#include "controllers/OVDisplayAdController.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVInstreamAdView.h"
#include "support/TempDir.h"
#include "support/doubles/FakeVideoViews.h"

namespace plexora::testing {

// The data of a valid in-stream candidate with its client token.
inline std::string instreamAdData(const std::string& token) {
  return R"({"ct":")" + token + R"(","video":{"videoURL":"https://cdn.plexora.test/ad.mp4",
    "destinationURL":"https://shop.plexora.test/spring"},"trackers":{"impression":"https://t.plexora.test/i",
    "nativeImpression":"https://t.plexora.test/n","video":"https://t.plexora.test/v"}})";
}

class RecordingInstreamAdViewDelegate final : public OVInstreamAdViewDelegate {
 public:
  void adViewDidLoad(const std::shared_ptr<OVInstreamAdView>&) override { messages.push_back("loaded"); }
  void adViewDidEnd(const std::shared_ptr<OVInstreamAdView>&) override { messages.push_back("ended"); }
  void adView(const std::shared_ptr<OVInstreamAdView>&, const platform::Error& error) override {
    messages.push_back("error " + std::to_string(error.code()));
  }
  void adViewWillLogImpression(const std::shared_ptr<OVInstreamAdView>&) override { messages.push_back("impression"); }
  void adViewDidClick(const std::shared_ptr<OVInstreamAdView>&) override { messages.push_back("click"); }

  std::size_t count(const std::string& message) const {
    return static_cast<std::size_t>(std::count(messages.begin(), messages.end(), message));
  }

  std::vector<std::string> messages;
};

class InstreamTest : public ::testing::Test {
 protected:
  static constexpr const char* kPlacement = "instream-test";

  InstreamTest() {
    platform::setCachesDirectory(caches_.path().string());
    events_ = world_.makeEventManager(caches_.path() / "events.sqlite");
    platform::Application::shared()->reset();
    window_->setRootViewController(root_);
    window_->makeKeyAndVisible();
  }
  ~InstreamTest() override {
    platform::Application::shared()->reset();
    DisplayAdTestWorld::settle();
  }

  // An in-stream ad of 320 by 180 placed in the window.
  std::shared_ptr<OVInstreamAdView> placeAd(const std::string& placement = kPlacement) {
    auto ad = OVInstreamAdView::initWithPlacementID(placement);
    ad->setDelegate(delegate_);
    ad->setFrame(platform::Rect(0, 100, 320, 180));
    window_->addSubview(ad);
    return ad;
  }
  void answer(const std::vector<CandidateSpec>& candidates, const std::string& definition = "") {
    world_.server().setAnswer(kPlacement, DisplayAdTestWorld::answer(candidates, definition));
  }
  // The index-th content view made (from 0), once the load got there.
  std::shared_ptr<FakeInstreamAdContentView> contentViewAt(std::size_t index) {
    if (!DisplayAdTestWorld::waitFor([&] { return contentViews_->size() > index; })) return nullptr;
    DisplayAdTestWorld::settle();
    return (*contentViews_)[index];
  }
  // Loads the ad until the host heard of it, its events going to the
  // world's endpoint; the content view that plays it.
  std::shared_ptr<FakeInstreamAdContentView> loadAd(const std::shared_ptr<OVInstreamAdView>& ad) {
    ad->loadAd();
    auto contentView = contentViewAt(0);
    if (!contentView || !contentView->loadedDataModel) return nullptr;
    contentView->delegate()->contentViewDidLoad(contentView->self());
    DisplayAdTestWorld::settle();
    if (const auto adapter = std::dynamic_pointer_cast<OVPXInstreamAdAdapter>(ad->adController()->currentAdapter())) {
      adapter->setEventManager(events_);
    }
    return contentView;
  }
  // Plays the video up to `seconds`, as a progress report of the view.
  static void playTo(const std::shared_ptr<FakeInstreamAdContentView>& contentView, double seconds) {
    contentView->currentTimeValue = platform::MediaTime::make(static_cast<std::int64_t>(seconds * 1000), 1000);
    contentView->delegate()->contentViewDidProgress(contentView->self());
    DisplayAdTestWorld::settle();
  }

  DisplayAdTestWorld world_;
  TempDir caches_;
  std::shared_ptr<OVAdEventManager> events_;
  MadeList<FakeInstreamAdContentView> contentViews_ = makeMadeList<FakeInstreamAdContentView>();
  OVInstreamAdContentView::Maker::Scope contentViewScope_ = FakeInstreamAdContentView::install(contentViews_);
  std::shared_ptr<platform::Window> window_ = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<RecordingInstreamAdViewDelegate> delegate_ = std::make_shared<RecordingInstreamAdViewDelegate>();
};

}  // namespace plexora::testing
