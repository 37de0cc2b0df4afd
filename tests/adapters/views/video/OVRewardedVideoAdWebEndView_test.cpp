// The rewarded video's end card over a container double: what it loads,
// what each link the markup activates does (close, other commands, ordinary
// links, an unknown command value), the touch record it hands the command
// processor, load failures and the auto-rotation observer.
#include "adapters/views/video/OVRewardedVideoAdWebEndView.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "MediaViewTestSupport.h"
#include "adapters/OVRewardedVideoAdDataModel.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Exception.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "support/doubles/FakeBrowser.h"
#include "support/doubles/FakeContentContainer.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdScreen.h"

namespace plexora::testing {
namespace {

class RecordingEndViewDelegate final : public OVRewardedVideoAdEndViewDelegate {
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

class RewardedVideoEndViewTest : public MediaViewTest {
 protected:
  std::shared_ptr<OVRewardedVideoAdWebEndView> endView() {
    auto view = OVRewardedVideoAdWebEndView::initWithPlacementID("rewarded", model_, 30, rootProxy_,
                                                                 platform::InterfaceOrientation::Portrait);
    view->setDelegate(delegate_);
    EXPECT_EQ(made_->containers.size(), 1u);
    return view;
  }
  std::shared_ptr<FakeContentContainer> container() const { return made_->containers.back(); }

  std::shared_ptr<OVRewardedVideoAdDataModel> model_ = OVRewardedVideoAdDataModel::initWithMetadata(
      platform::Value(platform::Dictionary{{"ct", "ct-end-card"},
                                           {"video_url", "https://cdn.plexora.test/v.mp4"},
                                           {"end_card_markup", "<a href='ovad://close'>x</a>"},
                                           {"activation_command", "start();"}}));
  std::shared_ptr<OVAdViewControllerProxy> rootProxy_ = OVAdViewControllerProxy::proxyWithViewController(root_);
  std::shared_ptr<RecordingEndViewDelegate> delegate_ = std::make_shared<RecordingEndViewDelegate>();
  std::shared_ptr<FakeContentContainer::Made> made_ = std::make_shared<FakeContentContainer::Made>();
  FakeContentContainer::Maker::Scope containers_ = FakeContentContainer::install(made_);
  std::shared_ptr<std::vector<FakeSafariPresenter::Presentation>> presentations_ =
      std::make_shared<std::vector<FakeSafariPresenter::Presentation>>();
  OVAdSafariViewController::Presenter::Scope browser_ = FakeSafariPresenter::install(presentations_);
};

TEST_F(RewardedVideoEndViewTest, TheMarkupLoadsFullScreenInItsContainerAtOnce) {
  const auto view = endView();
  const auto page = container();
  EXPECT_EQ(page->loadedMarkup, "<a href='ovad://close'>x</a>");
  EXPECT_EQ(page->loadedActivationCommand, "start();");
  EXPECT_EQ(page->loadedMinViewability, 100);
  EXPECT_EQ(page->bridgeSetUps, 0) << "not before the page has loaded";
  page->finishLoad();
  EXPECT_EQ(page->bridgeSetUps, 1);
  EXPECT_EQ(page->adSizeType(), kOVAdSizeInterstitial);
  EXPECT_EQ(page->actualAdSize(), platform::Size{});
  EXPECT_EQ(made_->forceUIWebView, std::vector<bool>{false});
  ASSERT_EQ(view->subviews().size(), 1u);
  EXPECT_EQ(view->subviews()[0], page->getView());
  EXPECT_FALSE(page->getView()->isHidden());

  const platform::Rect screen = OVAdScreen::boundsInOrientation();
  view->setFrameOnShow(screen);
  EXPECT_EQ(view->frame(), screen);
  EXPECT_EQ(page->getView()->frame(), screen);
  EXPECT_EQ(view->viewControllerForPresentingModalView(), rootProxy_) << "presented from the root view controller";
}

TEST_F(RewardedVideoEndViewTest, ACloseCommandInAnyCaseClosesTheCardAndOtherLinksAreClicks) {
  const auto view = endView();
  const auto page = container();

  // The web container keeps only HTML models: for the card it hands none.
  page->setOffsiteAd(nullptr);
  // The in-app browser opens the link; the user's return completes it.
  ASSERT_TRUE(page->tapLink(*platform::URL::parse("ovad://open_link?link=https%3A%2F%2Fshop.plexora.test%2Fa")));
  ASSERT_EQ(presentations_->size(), 1u);
  EXPECT_EQ((*presentations_)[0].inlineClientToken, "ct-end-card") << "commands run for the card's own data";
  const auto browserDelegate = (*presentations_)[0].delegate.lock();
  ASSERT_TRUE(browserDelegate);
  browserDelegate->viewControllerCompleted((*presentations_)[0].browser);
  EXPECT_EQ(delegate_->messages, std::vector<std::string>{"click"});
  EXPECT_EQ(page->clicks.size(), 1u);

  // An ordinary link is a click and opens outside the application.
  ASSERT_TRUE(page->tapLink(*platform::URL::parse("https://shop.plexora.test/b")));
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"click", "click"}));
  EXPECT_EQ(page->clicks.size(), 2u);
  ASSERT_FALSE(platform::Application::shared()->openedURLs().empty());
  EXPECT_EQ(platform::Application::shared()->openedURLs().back().absoluteString(), "https://shop.plexora.test/b");

  ASSERT_TRUE(page->tapLink(*platform::URL::parse("OVAD://close")));
  EXPECT_EQ(delegate_->messages.back(), "close");
  EXPECT_FALSE(view->contentContainer());
  EXPECT_TRUE(view->subviews().empty());
  EXPECT_FALSE(page->getView()->superview());
  EXPECT_FALSE(view->processOVAdSchemeLink(*platform::URL::parse("https://x.test/"), model_, platform::Value()))
      << "only command links are commands";
}

TEST_F(RewardedVideoEndViewTest, AnUnknownCommandValueIsLoggedAndChangesNothing) {
  const auto view = endView();
  MediaViewLogLines log;
  EXPECT_NO_THROW(view->commandCompleted(static_cast<OVAdCommand>(7), platform::Value()));
  EXPECT_EQ(log.count("Unknown OVAdCommand: 7"), 1u);
  EXPECT_TRUE(delegate_->messages.empty());
  EXPECT_TRUE(view->contentContainer());
  EXPECT_TRUE(container()->clicks.empty());
}

TEST_F(RewardedVideoEndViewTest, TheTouchRecordNeedsAWholeTouchAndCarriesTheDelaySinceTheImpression) {
  const auto view = endView();
  const auto page = container();
  auto& processor = *view->commandHandler();
  page->setLastTouchStartLocation({0, 0});
  page->setLastTouchCurrentLocation({10, 20});
  EXPECT_FALSE(view->commandProcessorTouchInformation(processor)) << "a touch starting at the zero point";

  page->setLastTouchStartLocation({5, 6});
  page->setLastTouchStartTimestamp(100.0);
  page->setLastTouchCurrentTimestamp(100.25);
  page->setLastTouchPressure(0.5);
  page->setLastTouchRadius(3.0);
  page->setFirstImpressionTime(-1.0);
  auto record = view->commandProcessorTouchInformation(processor);
  ASSERT_TRUE(record && record->isDictionary());
  const platform::Dictionary& touch = record->asDictionary();
  EXPECT_EQ(touch.size(), 12u);
  EXPECT_EQ(touch.find("clickDelayTime")->toDouble(), -1.0);
  EXPECT_TRUE(touch.find("clickDelayTime")->isInteger()) << "no impression yet: the integer -1";
  EXPECT_EQ(touch.find("startX")->toDouble(), 5.0);
  EXPECT_EQ(touch.find("clickY")->toDouble(), 20.0);
  EXPECT_EQ(touch.find("endX")->toDouble(), 10.0);
  EXPECT_EQ(touch.find("radiusY")->toDouble(), 3.0);
  EXPECT_EQ(touch.find("force")->toDouble(), 0.5);
  EXPECT_EQ(touch.find("endTime")->toDouble(), 100.25);

  page->setFirstImpressionTime(platform::Clock::current()->timeSinceReferenceDate() - 1.5);
  record = view->commandProcessorTouchInformation(processor);
  ASSERT_TRUE(record);
  EXPECT_NEAR(record->asDictionary().find("clickDelayTime")->toDouble(), 1500.0, 1.0);
}

TEST_F(RewardedVideoEndViewTest, ALoadFailureIsPassedOn) {
  const auto view = endView();
  container()->failLoad(
      platform::Error("test.domain", 5, platform::Dictionary{{platform::kLocalizedDescriptionKey, "markup broke"}}));
  EXPECT_EQ(delegate_->messages, std::vector<std::string>{"fail markup broke"});
  EXPECT_TRUE(view->contentContainer()) << "nothing else changes";
}

TEST_F(RewardedVideoEndViewTest, TheCardFollowsTheScreenOnlyWhileAutoRotationIsOn) {
  struct Case {
    const char* name;
    const char* setting;
    bool follows;
  };
  const Case cases[] = {
      {"default", nullptr, false},
      {"disabled", "autorotate_disabled", false},
      {"enabled", "autorotate_enabled", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    made_->containers.clear();
    platform::Dictionary configuration;
    if (c.setting) configuration.set("video_and_endcard_autorotate", c.setting);
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(platform::Value(configuration));
    const auto view = endView();
    EXPECT_EQ(view->isAutoRotateEnabled(), c.follows);
    const platform::Rect shown{0, 0, 100, 100};
    view->setFrameOnShow(shown);
    view->setupNotification();
    platform::NotificationCenter::defaultCenter().post(kOVDeviceOrientationDidChangeNotification);
    DisplayAdTestWorld::settle();
    EXPECT_EQ(view->frame(), c.follows ? OVAdScreen::boundsInOrientation() : shown);
    EXPECT_EQ(container()->getView()->frame(), view->frame());
  }
}

TEST_F(RewardedVideoEndViewTest, ACardWithoutARootViewControllerIsRefused) {
  try {
    OVRewardedVideoAdWebEndView::initWithPlacementID("rewarded", model_, 0, nullptr, {});
    FAIL() << "no exception";
  } catch (const platform::Exception& exception) {
    EXPECT_EQ(exception.name(), platform::kInvalidArgumentException);
    EXPECT_EQ(exception.reason(), "rootViewController cannot be nil");
  }
  EXPECT_TRUE(made_->containers.empty());
}

}  // namespace
}  // namespace plexora::testing
