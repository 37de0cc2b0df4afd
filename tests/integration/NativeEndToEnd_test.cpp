// A native ad from end to end on the manual clock: the fixture placement
// loads from the loopback ad server with its icon and images, the host lays
// the assets out in its own view in a window and registers it, the viewable
// checks log the impression once at the logging endpoint with the logging
// keys, and a tap on the call to action passes the click gate and opens the
// ad's command in the in-app browser.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "NativeAdInWindowTest.h"
#include "NativeAdTestSupport.h"
#include "adapters/OVPXNativeAdAdapter.h"
#include "controllers/OVDisplayAdController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdImage.h"
#include "support/doubles/FakeBrowser.h"
#include "tracking/OVAdEventManager.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdUtility.h"
#include "util/database/OVAdDatabaseManager.h"

namespace plexora::testing {
namespace {

using platform::Rect;

using NativeEndToEndTest = NativeAdInWindowTest;

TEST_F(NativeEndToEndTest, AFixtureNativeAdLoadsIsSeenOnceAndItsCallToActionOpensTheCommand) {
  OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(
      platform::Value(platform::Dictionary{{"ad_clickability_threshold_ms", 500}}));
  const auto ad = loadedAd(kNativeFixturePlacement, kOVNativeAdMediaCachePolicyIcon | kOVNativeAdMediaCachePolicyImage);
  ASSERT_EQ(delegate_->messages, std::vector<std::string>{"loaded"});
  const auto adapter = std::dynamic_pointer_cast<OVPXNativeAdAdapter>(ad->adController()->currentAdapter());
  ASSERT_TRUE(adapter);
  adapter->setEventManager(events_);

  // The host's own layout of the assets.
  const auto adView = std::make_shared<platform::View>(Rect(0, 120, 375, 300));
  const auto title = std::make_shared<platform::Label>(Rect(60, 10, 300, 20));
  title->setText(ad->title().value_or(""));
  const auto icon = std::make_shared<platform::ImageView>(Rect(10, 10, 40, 40));
  icon->setImage(OVAdCache::sharedCache()->imageForURL(*ad->icon()->url()));
  const auto cover = std::make_shared<platform::ImageView>(Rect(0, 60, 375, 196));
  cover->setImage(OVAdCache::sharedCache()->imageForURL(*ad->coverImage()->url()));
  const auto callToAction = std::make_shared<platform::Button>(Rect(255, 260, 110, 32));
  callToAction->setTitle(ad->callToAction(), platform::kControlStateNormal);
  for (const auto& view : std::vector<std::shared_ptr<platform::View>>{title, icon, cover, callToAction}) {
    adView->addSubview(view);
  }
  ASSERT_TRUE(icon->image());
  ASSERT_TRUE(cover->image());
  window_->addSubview(adView);
  ad->registerViewForInteraction(adView, root_, {callToAction});
  DisplayAdTestWorld::settle();
  ASSERT_EQ(callToAction->gestureRecognizers().size(), 1u);

  // The fixture's definition checks every 0.5 s after 0.5 s; one check is
  // enough.
  world_.clock().advance(0.5);
  DisplayAdTestWorld::settle();
  ASSERT_EQ(delegate_->count("impression"), 1u);
  EXPECT_TRUE(adapter->hasLoggedImpression());
  world_.clock().advance(0.5);
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return !loggedEvents("impression").empty(); }));
  const platform::Value impression = dataOf(loggedEvents("impression")[0]);
  for (const char* key : {"vrc", "vp", "vh", "touch", "analog"}) {
    EXPECT_NE(impression.find(key), nullptr) << key;
  }
  EXPECT_EQ(impression.find("vrc")->text(), "1");
  EXPECT_EQ(impression.find("touch")->text(), "");
  EXPECT_TRUE(DisplayAdTestWorld::waitFor([&] { return world_.trackerHit("native-1-impression").has_value(); }));

  // The fixture logs its view tree after 4 seconds, as an event of low
  // priority that goes out with the next batch.
  world_.clock().advance(4.0);
  DisplayAdTestWorld::settle();

  // A tap on the call to action opens the ad's link and logs the click with
  // its tap record.
  EXPECT_TRUE(platform::Application::shared()->sendTap(platform::Point{300, 396}));
  DisplayAdTestWorld::settle();
  ASSERT_EQ(presentations_->size(), 1u);
  EXPECT_EQ((*presentations_)[0].url.absoluteString(), "https://shop.plexora.test/boots");
  EXPECT_EQ((*presentations_)[0].inlineClientToken, "ct-native-1");
  EXPECT_EQ(delegate_->count("click"), 1u);
  world_.clock().advance(0.5);
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return !loggedEvents("open_link").empty(); }));
  const platform::Value click = dataOf(loggedEvents("open_link")[0]);
  const auto touch = OVAdUtility::getObjectFromJSONString(click.find("touch")->text().value_or(""));
  ASSERT_TRUE(touch);
  EXPECT_EQ(touch->find("clickX")->toInt64(), 300);
  EXPECT_EQ(touch->find("adPositionY")->toInt64(), 120);
  EXPECT_GT(touch->find("clickDelayTime")->toDouble(), 4000.0);
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return world_.trackerHit("native-1-click").has_value(); }));
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return !loggedEvents("native_view").empty(); }));
  const platform::Value viewEvent = dataOf(loggedEvents("native_view")[0]);
  const auto tree = OVAdUtility::getObjectFromJSONString(viewEvent.find("view")->text().value_or(""));
  ASSERT_TRUE(tree);
  EXPECT_EQ(tree->find("subviews")->size(), 4u);
  EXPECT_EQ(viewEvent.find("vrc")->text(), "1");

  FakeSafariPresenter::dismiss((*presentations_)[0]);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->count("finished"), 1u);
  world_.clock().advance(10);
  DisplayAdTestWorld::runBriefly();
  EXPECT_EQ(loggedEvents("impression").size(), 1u);
  EXPECT_EQ(delegate_->count("impression"), 1u);
}

}  // namespace
}  // namespace plexora::testing
