// The rewarded video's end card in the real web engine: its markup loads
// with the bridge and the activation command run, an ordinary link in the
// page is a click that opens outside the application, and the page's
// "ovad://close" link runs through the command processor and closes the
// card. Real clock and main loop.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "adapters/OVRewardedVideoAdDataModel.h"
#include "adapters/views/contentcontainer/OVAdWebKitContentContainer.h"
#include "adapters/views/video/OVRewardedVideoAdWebEndView.h"
#include "integration/engine/BannerInEngineFixture.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/ui/Application.h"
#include "support/EngineWaits.h"
#include "util/OVAdScreen.h"

namespace plexora::testing {
namespace {

constexpr const char* kToken = "ct-end-card-engine";
constexpr const char* kMarkup =
    "<html><body style='margin:0'>"
    "<a id='shop' href='https://shop.plexora.test/end'>Shop</a> "
    "<a id='close' href='ovad://close'>Close</a>"
    "<script>window.started = false; function start() { window.started = true; }</script>"
    "</body></html>";

class Recorder final : public OVRewardedVideoAdEndViewDelegate {
 public:
  void rewardedVideoAdEndViewClicked(const std::shared_ptr<OVRewardedVideoAdEndView>&) override {
    messages.push_back("click");
  }
  void rewardedVideoAdEndViewWillClose(const std::shared_ptr<OVRewardedVideoAdEndView>&) override {
    messages.push_back("close");
  }
  void rewardedVideoAdEndView(const std::shared_ptr<OVRewardedVideoAdEndView>&, const platform::Error& error) override {
    messages.push_back("fail " + error.localizedDescription());
  }
  std::vector<std::string> messages;
};

using RewardedVideoEndCardInEngineTest = BannerInEngineFixture;

TEST_F(RewardedVideoEndCardInEngineTest, TheCardRunsItsMarkupCountsALinkAsAClickAndClosesOnItsCommand) {
  const auto model = OVRewardedVideoAdDataModel::initWithMetadata(platform::Value(
      platform::Dictionary{{"ct", kToken}, {"end_card_markup", kMarkup}, {"activation_command", "start();"}}));
  const auto recorder = std::make_shared<Recorder>();
  const auto card = OVRewardedVideoAdWebEndView::initWithPlacementID(
      "rewarded", model, 0, OVAdViewControllerProxy::proxyWithViewController(root_),
      platform::InterfaceOrientation::Portrait);
  card->setDelegate(recorder);
  card->setFrameOnShow(OVAdScreen::boundsInOrientation());
  card->setupNotification();
  window_->addSubview(card);

  const auto container = std::dynamic_pointer_cast<OVAdWebKitContentContainer>(card->contentContainer());
  ASSERT_TRUE(container);
  ASSERT_TRUE(waitFor([&] { return container->isJavascriptAdControlInitialized(); }));
  const auto started = evaluate(*container->webView(), "window.started === true");
  ASSERT_TRUE(started);
  EXPECT_TRUE(started->toBool()) << "the activation command ran";

  evaluate(*container->webView(), "document.getElementById('shop').click();");
  ASSERT_TRUE(waitFor([&] { return !recorder->messages.empty(); }));
  EXPECT_EQ(recorder->messages, std::vector<std::string>{"click"});
  const auto& opened = platform::Application::shared()->openedURLs();
  ASSERT_FALSE(opened.empty());
  EXPECT_EQ(opened.back().absoluteString(), "https://shop.plexora.test/end");

  evaluate(*container->webView(), "document.getElementById('close').click();");
  ASSERT_TRUE(waitFor([&] { return recorder->messages.size() > 1; }));
  EXPECT_EQ(recorder->messages, (std::vector<std::string>{"click", "close"}));
  EXPECT_FALSE(card->contentContainer());
  EXPECT_TRUE(card->subviews().empty());
}

}  // namespace
}  // namespace plexora::testing
