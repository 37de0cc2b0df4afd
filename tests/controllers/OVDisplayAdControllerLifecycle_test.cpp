// The controller after the waterfall: refresh on the banner's interval,
// auto refresh disabled before set-up, failed requests, showing, clicks,
// the impression's two halves, background and active transitions, a shown
// ad that fails, misuse, and release in every state.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controllers/OVDisplayAdControllerTestSupport.h"
#include "platform/foundation/Exception.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "util/OVAdError.h"

namespace plexora::testing {
namespace {

using platform::Error;

constexpr const char* kRefreshEvery30 = R"("refresh": 30, "client_max_retry_count": 0)";

TEST_F(DisplayAdControllerTest, TheImpressionNeedsBothHalvesAndSchedulesTheRefreshThatPresentsTheNextAd) {
  answer({{"PX"}}, kRefreshEvery30);
  loadBanner();
  const auto first = adapterAt(px_, 0);
  ASSERT_TRUE(first);
  finishWithView(*first);
  DisplayAdTestWorld::settle();
  // Shown at once, which is the controller's half of the impression.
  ASSERT_EQ(first->starts.size(), 1u);
  EXPECT_TRUE(first->starts[0].animated);
  first->logImpression();
  first->logImpression();
  DisplayAdTestWorld::settle();
  EXPECT_EQ(log_->messages, (std::vector<std::string>{"loaded", "presented", "impression"}));

  world_.clock().advance(29.9);
  EXPECT_EQ(requests(), 1u);
  world_.clock().advance(0.1);
  const auto second = adapterAt(px_, 1);
  ASSERT_TRUE(second);
  EXPECT_EQ(requests(), 2u);
  finishWithView(*second);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(log_->messages, (std::vector<std::string>{"loaded", "presented", "impression", "presented"}));
  ASSERT_EQ(log_->presentedViews.size(), 2u);
  EXPECT_EQ(log_->presentedViews[1], second->adView());
  // The replaced adapter no longer reports to the controller.
  EXPECT_EQ(first->delegate(), nullptr);
}

TEST_F(DisplayAdControllerTest, AutoRefreshDisabledBeforeSetUpStaysDisabledWhateverTheAnswerSays) {
  answer({{"PX"}}, kRefreshEvery30);
  controller_->disableAutoRefresh();
  loadBanner();
  const auto adapter = adapterAt(px_, 0);
  ASSERT_TRUE(adapter);
  finishWithView(*adapter);
  adapter->logImpression();
  adapter->finishClick();
  world_.clock().advance(120.0);
  DisplayAdTestWorld::runBriefly();
  EXPECT_EQ(requests(), 1u);
}

TEST_F(DisplayAdControllerTest, AFailedRequestIsReportedAndRefreshedOnTheBannerIntervalWithoutCountingAsARetry) {
  world_.server().setAnswer(kPlacement, testserver::AdAnswer::notJSON());
  loadBanner();
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return !log_->errors.empty(); }));
  EXPECT_EQ(requests(), 1u);

  answer({{"PX"}}, kRefreshEvery30);
  world_.clock().advance(30.0);
  const auto adapter = adapterAt(px_, 0);
  ASSERT_TRUE(adapter);
  finishWithView(*adapter);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(log_->messages, (std::vector<std::string>{"error", "loaded", "presented"}));
}

TEST_F(DisplayAdControllerTest, AnAdapterThatRefusesToShowIsReportedAsAFailureToShow) {
  answer({{"PX"}}, kRefreshEvery30);
  loadBanner();
  const auto adapter = adapterAt(px_, 0);
  ASSERT_TRUE(adapter);
  adapter->showsAd = false;
  finishWithView(*adapter);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(log_->messages, (std::vector<std::string>{"loaded", "error"}));
  EXPECT_EQ(log_->errors.at(0).localizedDescription(), "Ad failed to show");
}

TEST_F(DisplayAdControllerTest, AShownAdThatFailsIsReportedAndReplacedOnTheNextRefresh) {
  answer({{"PX"}}, kRefreshEvery30);
  loadBanner();
  const auto broken = adapterAt(px_, 0);
  ASSERT_TRUE(broken);
  finishWithView(*broken);
  DisplayAdTestWorld::settle();
  broken->failLoad(Error("com.plexora.page", 3));
  // The same ad failing again is no news to the unit.
  broken->failLoad(Error("com.plexora.page", 4));
  DisplayAdTestWorld::settle();
  EXPECT_EQ(log_->messages, (std::vector<std::string>{"loaded", "presented", "error"}));
  EXPECT_EQ(log_->errors.at(0).code(), 3);

  world_.clock().advance(30.0);
  const auto replacement = adapterAt(px_, 1);
  ASSERT_TRUE(replacement);
  finishWithView(*replacement);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(log_->messages.back(), "presented");
  // The next ad is a new one: its failure is told.
  replacement->failLoad(Error("com.plexora.page", 5));
  broken->failLoad(Error("com.plexora.page", 6));
  DisplayAdTestWorld::settle();
  EXPECT_EQ(log_->messages.back(), "error");
  EXPECT_EQ(log_->count("error"), 2u);
  EXPECT_EQ(log_->errors.back().code(), 5);
}

TEST_F(DisplayAdControllerTest, ANativeAdWithoutAViewHasItsImpressionAsSoonAsTheAdapterReportsIt) {
  delegate_->startOnLoad = false;
  answer({{"PX"}}, R"("refresh": 0)");
  controller_->setDelegate(delegate_);
  controller_->loadAdWithPlacementId(kPlacement, 3, 200);
  const auto adapter = adapterAt(px_, 0);
  ASSERT_TRUE(adapter);
  EXPECT_EQ(adapter->loads.at(0).size, kOVAdSizeInterstitial);
  adapter->finishLoad();
  adapter->logImpression();
  DisplayAdTestWorld::settle();
  EXPECT_EQ(log_->messages, (std::vector<std::string>{"loaded", "impression"}));
}

TEST_F(DisplayAdControllerTest, BecomingActiveAgainWatchesTheViewAfreshSoTheNextViewableCheckIsAnImpression) {
  const auto window = std::make_shared<platform::Window>();
  window->makeKeyAndVisible();
  const auto view = std::make_shared<platform::View>(platform::Rect(0, 100, 320, 50));
  window->addSubview(view);
  answer({{"PX"}}, R"("refresh": 0, "viewability_check_initial_delay": 500, "viewability_check_interval": 500)");
  loadBanner();
  const auto adapter = adapterAt(px_, 0);
  ASSERT_TRUE(adapter);
  adapter->setAdView(view);
  adapter->finishLoad();
  DisplayAdTestWorld::settle();
  adapter->logImpression();
  world_.clock().advance(1.0);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(log_->count("impression"), 1u);

  const auto application = platform::Application::shared();
  application->transitionTo(platform::ApplicationState::Background);
  world_.clock().advance(5.0);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(log_->count("impression"), 1u);

  application->transitionTo(platform::ApplicationState::Active);
  world_.clock().advance(0.5);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(log_->count("impression"), 2u);
}

struct ClickCase {
  const char* name;
  std::optional<std::string> url;
  bool playerHandles;
  bool opened;
  bool delegateHears;
};

class DisplayAdControllerClickTest : public DisplayAdControllerTest, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(DisplayAdControllerClickTest, AClickIsOpenedByTheControllerOnlyWhenItHandlesIt) {
  const ClickCase& click = GetParam();
  const auto application = platform::Application::shared();
  application->reset();
  answer({{"PX"}}, kRefreshEvery30);
  loadBanner();
  const auto adapter = adapterAt(px_, 0);
  ASSERT_TRUE(adapter);
  finishWithView(*adapter);
  DisplayAdTestWorld::settle();
  log_->messages.clear();

  adapter->click(click.url ? platform::URL::parse(*click.url) : std::nullopt, click.playerHandles);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(application->openedURLs().size(), click.opened ? 1u : 0u);
  EXPECT_EQ(log_->count("click"), click.delegateHears ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, DisplayAdControllerClickTest,
    ::testing::Values(ClickCase{"ControllerOpens", "https://shop.example/spring", true, true, true},
                      ClickCase{"ControllerWithoutURL", std::nullopt, true, false, false},
                      ClickCase{"ControllerCannotOpen", "store-only://item", true, false, false},
                      ClickCase{"AdapterHandles", "https://shop.example/spring", false, false, true}),
    [](const ::testing::TestParamInfo<ClickCase>& info) { return std::string(info.param.name); });

TEST_F(DisplayAdControllerTest, MisuseRaisesWithTheFixedReasons) {
  try {
    controller_->startAd();
    FAIL() << "showing before a load must raise";
  } catch (const platform::Exception& exception) {
    EXPECT_EQ(exception.reason(),
              "[OVDisplayAdController startAdFromRootViewController:] This method may not be called until onAdLoaded "
              "has been delivered.");
  }
  answer({{"PX"}}, kRefreshEvery30);
  loadBanner();
  try {
    loadBanner();
    FAIL() << "a second set-up must raise";
  } catch (const platform::Exception& exception) {
    EXPECT_EQ(exception.name(), platform::kInternalInconsistencyException);
    EXPECT_EQ(exception.reason(), "Ad controller was initialized more than once.");
  }
}

TEST_F(DisplayAdControllerTest, ABidPayloadThatDoesNotParseIsReportedAndNothingIsRequested) {
  controller_->setDelegate(delegate_);
  controller_->loadAdWithPlacementId(kPlacement, 1, 4, kOVAdSize320x50, nullptr, nullptr, std::string("{not json"));
  DisplayAdTestWorld::settle();
  DisplayAdTestWorld::runBriefly();
  EXPECT_EQ(log_->messages, (std::vector<std::string>{"error"}));
  // A later refresh (the banner's next load) has nothing to ask for, and
  // says so with the payload's error.
  controller_->refresh();
  controller_->retry();
  DisplayAdTestWorld::settle();
  DisplayAdTestWorld::runBriefly();
  EXPECT_EQ(log_->messages, (std::vector<std::string>{"error", "error", "error"}));
  EXPECT_EQ(log_->errors.at(2).code(), log_->errors.at(0).code());
  EXPECT_EQ(requests(), 0u);
}

enum class ReleasedWhile { RequestInFlight, AdapterInFlight, RefreshPending, MessagesQueued };

class DisplayAdControllerReleaseTest : public DisplayAdControllerTest,
                                       public ::testing::WithParamInterface<ReleasedWhile> {};

TEST_P(DisplayAdControllerReleaseTest, NothingReachesTheUnitOnceItAndItsControllerAreGone) {
  const ReleasedWhile state = GetParam();
  std::string definition = R"("refresh": 30, "request_timeout": 5000, "client_max_retry_count": 3)";
  auto ad = DisplayAdTestWorld::answer({{"PX"}}, definition);
  world_.server().setAnswer(kPlacement,
                            state == ReleasedWhile::RequestInFlight ? ad.delayed(std::chrono::milliseconds(150)) : ad);
  loadBanner();
  std::shared_ptr<FakeDisplayAdAdapter> adapter;
  if (state == ReleasedWhile::RequestInFlight) {
    ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return requests() == 1; }));
  } else {
    adapter = adapterAt(px_, 0);
    ASSERT_TRUE(adapter);
  }
  if (state == ReleasedWhile::RefreshPending || state == ReleasedWhile::MessagesQueued) {
    finishWithView(*adapter);
  }
  if (state == ReleasedWhile::RefreshPending) {
    DisplayAdTestWorld::settle();
    adapter->logImpression();
    DisplayAdTestWorld::settle();
  }
  const std::vector<std::string> before = log_->messages;
  const std::weak_ptr<OVDisplayAdController> weakController = controller_;

  controller_.reset();
  delegate_.reset();
  DisplayAdTestWorld::runBriefly();
  world_.clock().advance(60.0);
  if (adapter) {
    adapter->finishLoad();
    adapter->logImpression();
    adapter->failLoad(Error("com.partner", 1));
  }
  DisplayAdTestWorld::settle();

  EXPECT_EQ(log_->messages, before);
  EXPECT_TRUE(weakController.expired());
  EXPECT_EQ(requests(), 1u);
  EXPECT_EQ(px_->adapters.size(), state == ReleasedWhile::RequestInFlight ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(States, DisplayAdControllerReleaseTest,
                         ::testing::Values(ReleasedWhile::RequestInFlight, ReleasedWhile::AdapterInFlight,
                                           ReleasedWhile::RefreshPending, ReleasedWhile::MessagesQueued));

}  // namespace
}  // namespace plexora::testing
