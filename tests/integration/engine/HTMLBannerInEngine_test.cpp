// The fixture banner from the loopback ad server in the real web engine:
// the page loads, its AdControl bridge is defined, the impression reaches
// the logging endpoint, and a click in the page becomes an "ovad" link the
// command processor turns into the in-app browser. Real clock and main
// loop; the engine's helper processes make every wait generous.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "OVAdViewInternal.h"
#include "adapters/views/contentcontainer/OVAdWebKitContentContainer.h"
#include "integration/engine/BannerInEngineFixture.h"
#include "platform/dispatch/MainLoop.h"
#include "plexora/OVAdView.h"
#include "support/EngineWaits.h"

namespace plexora::testing {
namespace {

using HTMLBannerInEngineTest = BannerInEngineFixture;

TEST_F(HTMLBannerInEngineTest, TheFixtureBannerRunsItsBridgeLogsItsImpressionAndTurnsAClickIntoACommand) {
  const auto banner = OVAdView::initWithPlacementID("banner", kOVAdSize320x50, root_);
  banner->setDelegate(delegate_);
  banner->setFrame({{0, 100}, banner->frame().size});
  window_->addSubview(banner);
  banner->loadAd();

  std::shared_ptr<OVAdWebKitContentContainer> container;
  ASSERT_TRUE(waitFor([&] {
    const auto ad = std::dynamic_pointer_cast<OVAdViewInternal>(banner->adView());
    container = ad ? std::dynamic_pointer_cast<OVAdWebKitContentContainer>(ad->adContentContainer()) : nullptr;
    return container && container->isJavascriptAdControlInitialized();
  })) << (delegate_->errors.empty() ? "" : delegate_->errors.front());
  const auto bridge = evaluate(*container->webView(), "typeof AdControl.getAnalogInfo");
  ASSERT_TRUE(bridge);
  EXPECT_EQ(bridge->text(), "function");

  ASSERT_TRUE(waitFor([&] { return delegate_->impressions > 0; }));
  EXPECT_TRUE(container->hasLoggedImpression());
  EXPECT_TRUE(waitFor([&] { return acknowledged("impression"); }));

  evaluate(*container->webView(), "document.querySelector('a').click();");
  ASSERT_TRUE(waitFor([&] { return !presentations_->empty(); }));
  EXPECT_EQ((*presentations_)[0].url.absoluteString(), "https://shop.plexora.test/spring");
  EXPECT_EQ((*presentations_)[0].inlineClientToken, "ct-banner-1");
  EXPECT_TRUE(waitFor([&] { return acknowledged("open_link"); }));
  EXPECT_EQ(delegate_->impressions, 1);
  EXPECT_TRUE(delegate_->errors.empty());
}

}  // namespace
}  // namespace plexora::testing
