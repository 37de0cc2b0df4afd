// A rewarded video ad's world for tests: the loopback world of the ad units
// on the manual clock, caches in a directory of their own, a key window with
// a root controller to show from, the video views replaced by doubles the
// test plays the video's events through, an event manager on the world's
// logging endpoint, and a host delegate that records what reaches it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapters/OVPXRewardedVideoAdAdapter.h"
#include "controllers/DisplayAdTestWorld.h"
#include "controllers/OVDisplayAdController.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVRewardedVideoAd.h"
#include "support/TempDir.h"
#include "support/doubles/FakeVideoViews.h"
#include "support/doubles/MadeList.h"

namespace plexora::testing {

inline constexpr const char* kRewardedFixturePlacement = "rewarded";

class RecordingRewardedVideoAdDelegate final : public OVRewardedVideoAdDelegate {
 public:
  void rewardedVideoAdDidLoad(const std::shared_ptr<OVRewardedVideoAd>&) override { messages.push_back("loaded"); }
  void rewardedVideoAd(const std::shared_ptr<OVRewardedVideoAd>&, const platform::Error& error) override {
    messages.push_back("error");
    errors.push_back(error);
  }
  void rewardedVideoAdWillLogImpression(const std::shared_ptr<OVRewardedVideoAd>&) override {
    messages.push_back("impression");
  }
  void rewardedVideoAdDidClick(const std::shared_ptr<OVRewardedVideoAd>&) override { messages.push_back("click"); }
  void rewardedVideoAdWillClose(const std::shared_ptr<OVRewardedVideoAd>&) override {
    messages.push_back("will-close");
    statusBarHiddenAtWillClose = platform::Application::shared()->isStatusBarHidden();
  }
  void rewardedVideoAdDidClose(const std::shared_ptr<OVRewardedVideoAd>&) override {
    messages.push_back("did-close");
    statusBarHiddenAtDidClose = platform::Application::shared()->isStatusBarHidden();
  }
  void rewardedVideoAdComplete(const std::shared_ptr<OVRewardedVideoAd>&) override { messages.push_back("complete"); }
  void rewardedVideoAdServerRewardDidSucceed(const std::shared_ptr<OVRewardedVideoAd>&) override {
    messages.push_back("reward-ok");
  }
  void rewardedVideoAdServerRewardDidFail(const std::shared_ptr<OVRewardedVideoAd>&) override {
    messages.push_back("reward-failed");
  }

  std::vector<std::string> messages;
  std::vector<platform::Error> errors;
  bool statusBarHiddenAtWillClose = false;
  bool statusBarHiddenAtDidClose = true;
};

class RewardedVideoAdTest : public ::testing::Test {
 protected:
  RewardedVideoAdTest() {
    platform::setCachesDirectory(caches_.path().string());
    events_ = world_.makeEventManager(caches_ / "events.sqlite");
    platform::Application::shared()->reset();
    window_->setRootViewController(root_);
    window_->makeKeyAndVisible();
  }
  ~RewardedVideoAdTest() override {
    DisplayAdTestWorld::settle();
    platform::Application::shared()->reset();
    platform::setCachesDirectory("");
  }

  // The data of a valid rewarded candidate without an end card; `extra`
  // adds members (JSON without braces, starting with a comma).
  static std::string rewardedData(const std::string& extra = "") {
    return R"({"ct":"ct-rw","video_url":"{{BASE_URL}}media/rewarded.mp4")" + extra + "}";
  }
  void answer(const std::string& placement, const std::string& data) {
    world_.server().setAnswer(placement, DisplayAdTestWorld::answer({CandidateSpec("PX", data)}, R"("type":"rewarded")"));
  }

  // Loads the ad and lets its video view report the video cached.
  std::shared_ptr<OVRewardedVideoAd> loadedAd(const std::string& placement, const std::optional<std::string>& userID,
                                              const std::optional<std::string>& currency, std::int64_t amount) {
    const std::size_t viewsBefore = videoViews_->size();
    const std::size_t messagesBefore = delegate_->messages.size();
    auto ad = OVRewardedVideoAd::initWithPlacementID(placement, userID, currency, amount);
    ad->setDelegate(delegate_);
    ad->loadAd();
    EXPECT_TRUE(DisplayAdTestWorld::waitFor([&] {
      DisplayAdTestWorld::settle();
      return videoViews_->size() > viewsBefore || delegate_->messages.size() > messagesBefore;
    }));
    DisplayAdTestWorld::settle();
    if (videoViews_->size() == viewsBefore) return ad;
    videoDelegate()->rewardedVideoViewCached(videoView()->self());
    DisplayAdTestWorld::settle();
    // The impression is logged at the show, after this.
    if (const auto adapter = currentAdapter(ad)) adapter->rewardedVideoAd()->setEventManager(events_);
    return ad;
  }
  // The adapter that loaded; none before the load was reported.
  static std::shared_ptr<OVPXRewardedVideoAdAdapter> currentAdapter(const std::shared_ptr<OVRewardedVideoAd>& ad) {
    return std::dynamic_pointer_cast<OVPXRewardedVideoAdAdapter>(ad->adController()->currentAdapter());
  }

  // Shows the ad (not animated) and lets the presentation complete.
  bool show(const std::shared_ptr<OVRewardedVideoAd>& ad) {
    const bool shown = ad->showAdFromRootViewController(root_, false);
    DisplayAdTestWorld::settle();
    return shown;
  }
  // Runs animated transitions to their end.
  void finishTransitions() {
    for (int i = 0; i < 3; ++i) {
      world_.clock().advance(platform::ViewController::kTransitionSeconds);
      DisplayAdTestWorld::settle();
    }
  }

  std::shared_ptr<FakeRewardedVideoAdView> videoView() const { return videoViews_->back(); }
  std::shared_ptr<OVRewardedVideoAdViewDelegate> videoDelegate() const { return videoView()->delegate(); }
  std::shared_ptr<FakeRewardedVideoAdEndView> endView() const { return endViews_->empty() ? nullptr : endViews_->back(); }

  std::vector<testserver::Fields> rewardRequests() const { return world_.server().rewardRequests(); }
  static std::string field(const testserver::Fields& fields, const std::string& key) {
    for (const auto& [name, value] : fields) {
      if (name == key) return value;
    }
    return "";
  }

  DisplayAdTestWorld world_;
  TempDir caches_;
  std::shared_ptr<OVAdEventManager> events_;
  MadeList<FakeRewardedVideoAdView> videoViews_ = makeMadeList<FakeRewardedVideoAdView>();
  MadeList<FakeRewardedVideoAdEndView> endViews_ = makeMadeList<FakeRewardedVideoAdEndView>();
  OVRewardedVideoAdView::Maker::Scope videoViewScope_ = FakeRewardedVideoAdView::install(videoViews_);
  OVRewardedVideoAdEndView::Maker::Scope endViewScope_ = FakeRewardedVideoAdEndView::install(endViews_);
  std::shared_ptr<platform::Window> window_ = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<RecordingRewardedVideoAdDelegate> delegate_ = std::make_shared<RecordingRewardedVideoAdDelegate>();
};

}  // namespace plexora::testing
