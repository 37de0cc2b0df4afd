// The interstitial from end to end on the manual clock against the bundled
// ad server: the fixture placement loads, is shown over the host's
// controller, is seen, and is closed by its own close link; the host hears
// each step in order and the logging endpoint acknowledges the impression
// and the close.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "InterstitialTestSupport.h"
#include "OVAdViewInternal.h"
#include "adapters/OVAdDataModel.h"
#include "internal/OVInterstitialDisplayAdInternal.h"
#include "tracking/OVAdEventManager.h"

namespace plexora::testing {
namespace {

constexpr const char* kFixturePlacement = "interstitial";
constexpr const char* kCloseLink = "ovad://close";

class InterstitialEndToEndTest : public InterstitialTest {
 protected:
  InterstitialEndToEndTest() { events_ = world_.makeEventManager(caches_ / "events.sqlite"); }

  bool acknowledged(const std::string& token, std::size_t count) {
    std::size_t found = 0;
    for (const auto& event : world_.server().logging().events()) {
      if (event.token == token) ++found;
    }
    return found >= count;
  }

  std::shared_ptr<OVAdEventManager> events_;
};

TEST_F(InterstitialEndToEndTest, TheHTMLFixtureLoadsShowsIsSeenAndClosesItself) {
  const auto ad = makeInterstitial(kFixturePlacement);
  ASSERT_TRUE(loadAndWait(ad));
  ASSERT_EQ(delegate_->messages, (std::vector<std::string>{"loaded"}));
  const auto page = containerAt(0);
  ASSERT_TRUE(page);
  ASSERT_EQ(page->offsiteAd()->inlineClientToken(), "ct-inter-1");
  page->onImpressionLogged = [this](FakeContentContainer& container) {
    events_->logImpressionForToken(*container.offsiteAd()->inlineClientToken(), std::nullopt);
  };
  page->setImpressionReady(true);
  page->finishLoad();

  ASSERT_TRUE(ad->showAdFromRootViewController(rootViewController_));
  finishTransition();
  const auto internal =
      std::dynamic_pointer_cast<OVInterstitialDisplayAdInternal>(rootViewController_->presentedViewController());
  ASSERT_TRUE(internal);
  internal->adView()->commandHandler()->setEventManager(events_);
  EXPECT_EQ(internal->adView()->window(), window_);
  EXPECT_FALSE(internal->adView()->isHidden());

  // The definition's checks start after half a second.
  world_.clock().advance(1.0);
  DisplayAdTestWorld::settle();
  EXPECT_TRUE(internal->adView()->isImpressionSent());
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "impression"}));

  ASSERT_TRUE(page->tapLink(*platform::URL::parse(kCloseLink)));
  finishTransition();
  EXPECT_EQ(rootViewController_->presentedViewController(), nullptr);
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "impression", "will close", "did close"}));

  // The impression goes out after the short delay, the close with the
  // next batch.
  world_.clock().advance(0.5);
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return !world_.loggedEvents("impression", "ct-inter-1").empty(); }));
  world_.clock().advance(OVAdEventManager::kDispatchInterval);
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return !world_.loggedEvents("close", "ct-inter-1").empty(); }));
  EXPECT_TRUE(DisplayAdTestWorld::waitFor([&] { return acknowledged("ct-inter-1", 2); }));
  ASSERT_TRUE(world_.waitForTrackerHits(1));
  EXPECT_TRUE(world_.trackerHit("interstitial-1-request").has_value());
}

}  // namespace
}  // namespace plexora::testing
