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
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdSettings.h"
#include "plexora/OVAdView.h"
#include "support/EngineWaits.h"
#include "support/TempDir.h"
#include "support/doubles/FakeBrowser.h"
#include "testserver/adserver/AdServer.h"

namespace plexora::testing {
namespace {

class CountingAdViewDelegate final : public OVAdViewDelegate {
 public:
  void adViewWillLogImpression(const std::shared_ptr<OVAdView>&) override { ++impressions; }
  void adViewDidClick(const std::shared_ptr<OVAdView>&) override { ++clicks; }
  void adView(const std::shared_ptr<OVAdView>&, const platform::Error& error) override {
    errors.push_back(error.localizedDescription());
  }

  int impressions = 0;
  int clicks = 0;
  std::vector<std::string> errors;
};

class HTMLBannerInEngineTest : public ::testing::Test {
 protected:
  HTMLBannerInEngineTest() {
    platform::setCachesDirectory(caches_.path().string());
    server_.start();
    previousServer_ = OVAdSettings::adServerBaseURL();
    EXPECT_TRUE(OVAdSettings::setAdServerBaseURL(server_.baseURL()));
    window_->setRootViewController(root_);
    window_->makeKeyAndVisible();
  }
  ~HTMLBannerInEngineTest() override {
    OVAdSettings::setAdServerBaseURL(previousServer_);
    platform::setCachesDirectory("");
  }

  bool acknowledged(const std::string& type) {
    for (const auto& event : server_.logging().events()) {
      if (event.type == type && event.token == "ct-banner-1" && event.code) return true;
    }
    return false;
  }

  TempDir caches_;
  testserver::AdServer server_;
  std::string previousServer_;
  std::shared_ptr<platform::Window> window_ = std::make_shared<platform::Window>();
  std::shared_ptr<platform::ViewController> root_ = std::make_shared<platform::ViewController>();
  std::shared_ptr<CountingAdViewDelegate> delegate_ = std::make_shared<CountingAdViewDelegate>();
  std::shared_ptr<std::vector<FakeSafariPresenter::Presentation>> presentations_ =
      std::make_shared<std::vector<FakeSafariPresenter::Presentation>>();
  OVAdSafariViewController::Presenter::Scope browserScope_ = FakeSafariPresenter::install(presentations_);
};

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
