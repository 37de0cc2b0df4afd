// The web content container over a scriptable web view on the manual
// clock: the load sequence, the bridge and its retries, the impression and
// its retry timer, link decisions, load failures and the touch record.
#include "adapters/views/contentcontainer/OVAdWebKitContentContainer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "ContentContainerTestSupport.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdSettings.h"
#include "support/doubles/ScriptableWebView.h"

namespace plexora {
namespace {

using platform::Value;
using platform::WebNavigationPolicy;
using platform::WebNavigationType;

constexpr const char* kMarkup = testing::kContainerMarkup;
constexpr const char* kActivation = testing::kContainerActivation;

class OVAdWebKitContentContainerTest
    : public testing::ContentContainerTest<OVAdWebKitContentContainer, testing::ScriptableWebView> {
 protected:
  // Loads the model, plays the page's load and lets the bridge answer.
  void loadPage() {
    ASSERT_TRUE(container_->loadAdData(model_, 50));
    runMainQueue();
    ASSERT_EQ(page_->navigate(OVAdSettings::getWebviewBaseURL(), WebNavigationType::Other),
              WebNavigationPolicy::Allow);
    page_->finishLoad();
    runMainQueue();
  }
  void advance(double seconds) {
    clock_->advance(seconds);
    runMainQueue();
  }
};

TEST_F(OVAdWebKitContentContainerTest, ALoadedPageGetsItsBridgeThenTellsTheOwnerAndAsksForValidation) {
  EXPECT_TRUE(container_->getView()->isHidden());
  ASSERT_TRUE(container_->loadAdData(model_, 50));
  EXPECT_EQ(container_->offsiteAd(), model_);
  EXPECT_TRUE(page_->loads.empty()) << "the markup loads on the next turn of the main queue";
  runMainQueue();
  ASSERT_EQ(page_->loads.size(), 1u);
  EXPECT_EQ(page_->loads[0].html, kMarkup);
  EXPECT_EQ(page_->loads[0].baseURL, OVAdSettings::getWebviewBaseURL());

  EXPECT_EQ(page_->navigate("about:blank", WebNavigationType::Other), WebNavigationPolicy::Allow);
  EXPECT_FALSE(container_->getView()->isHidden());
  page_->finishLoad();
  EXPECT_EQ(owner_->heardTimes("load"), 1u);
  EXPECT_EQ(owner_->heardTimes("validate"), 1u);
  runMainQueue();
  ASSERT_EQ(page_->scripts.size(), 2u);
  // The bridge is defined at the page's top level, so the page sees it.
  EXPECT_EQ(page_->scripts[0].rfind("var AdControl = { getAnalogInfo : function() { return '", 0), 0u);
  EXPECT_EQ(page_->scripts[1].rfind("(function(){try{", 0), 0u);
  EXPECT_NE(page_->scripts[1].find(kActivation), std::string::npos);
  EXPECT_TRUE(container_->isJavascriptAdControlInitialized());

  container_->initializeJavascriptAdControl();
  runMainQueue();
  EXPECT_EQ(page_->scripts.size(), 2u) << "a set-up bridge is not set up again";
}

TEST_F(OVAdWebKitContentContainerTest, AModelThatIsNotHTMLIsRefusedAndNotKept) {
  EXPECT_FALSE(container_->loadAdData(OVAdDataModel::create(), 50));
  runMainQueue();
  EXPECT_EQ(container_->offsiteAd(), nullptr);
  EXPECT_TRUE(page_->loads.empty());
}

TEST_F(OVAdWebKitContentContainerTest, ABridgeThatKeepsFailingStopsAfterItsLastAttemptAndReportsTheFailure) {
  page_->answers.fail("startAd", platform::Error(platform::kWebViewErrorDomain,
                                                  platform::kWebViewErrorJavaScriptFailed));
  owner_->validator = makeValidator();
  ASSERT_TRUE(container_->loadAdData(model_, 50));
  runMainQueue();
  EXPECT_FALSE(container_->logImpression()) << "waits for the bridge";
  page_->finishLoad();
  runMainQueue();
  EXPECT_EQ(scriptsContaining(kActivation), 26u);
  EXPECT_FALSE(container_->isJavascriptAdControlInitialized());
  ASSERT_EQ(owner_->failures.size(), 1u);

  const std::size_t scripts = page_->scripts.size();
  advance(1.0);
  EXPECT_FALSE(container_->logImpression());
  advance(1.0);
  EXPECT_EQ(page_->scripts.size(), scripts) << "no impression attempt after the bridge failed";
  EXPECT_EQ(owner_->heardTimes("impression"), 0u);
}

TEST_F(OVAdWebKitContentContainerTest, ABridgeThatFailsOnceIsRetriedAndThenReady) {
  page_->answers.fail("AdControl", platform::Error(platform::kWebViewErrorDomain,
                                                    platform::kWebViewErrorJavaScriptFailed));
  ASSERT_TRUE(container_->loadAdData(model_, 50));
  runMainQueue();
  page_->finishLoad();
  // The first attempt's two scripts answer; then the page defines the bridge.
  platform::DispatchQueue::main()->async([this] { page_->answers = {}; });
  runMainQueue();
  EXPECT_TRUE(container_->isJavascriptAdControlInitialized());
  EXPECT_TRUE(owner_->failures.empty());
}

TEST_F(OVAdWebKitContentContainerTest, AnImpressionWaitsOnOneTimerForTheBridgeAndIsLoggedOnce) {
  owner_->validator = makeValidator();
  page_->answerDelay = 1.0;
  ASSERT_TRUE(container_->loadAdData(model_, 50));
  runMainQueue();
  page_->finishLoad();
  EXPECT_FALSE(container_->logImpression());
  EXPECT_FALSE(container_->logImpression());
  EXPECT_EQ(container_->firstImpressionTime(), -1.0);
  advance(2.0);  // the bridge's two answers; the timer ticks meanwhile
  advance(0.1);
  EXPECT_TRUE(container_->hasLoggedImpression());
  EXPECT_EQ(scriptsContaining("orvaneAd.sendImpression();"), 1u);
  advance(1.0);
  EXPECT_EQ(owner_->heardTimes("impression"), 1u);
  EXPECT_TRUE(container_->logImpression());
  advance(1.0);
  EXPECT_EQ(scriptsContaining("orvaneAd.sendImpression();"), 1u) << "the timer stopped";

  const auto logged = impressions();
  ASSERT_EQ(logged.size(), 1u);
  const auto tokens = testing::readStoredTokens(OVAdDatabaseManager::sharedManager()->storagePath());
  ASSERT_TRUE(std::any_of(tokens.begin(), tokens.end(), [&](const testing::StoredToken& stored) {
    return stored.tokenId == logged[0].tokenId && stored.token == "ct-html-1";
  }));
  const Value data = extraDataOf(logged[0]);
  EXPECT_EQ(data.find("touch")->asString(), "") << "no touch was recorded";
  EXPECT_EQ(data.find("vh")->asString(), "{}");
}

TEST_F(OVAdWebKitContentContainerTest, WithoutAValidatorNoImpressionReachesThePageAndRetriesChangeNothing) {
  loadPage();
  for (int attempt = 0; attempt < 3; ++attempt) {
    EXPECT_FALSE(container_->logImpression());
    advance(0.5);
  }
  EXPECT_EQ(scriptsContaining("sendImpression"), 0u);
  EXPECT_EQ(owner_->heardTimes("impression"), 0u);
  EXPECT_EQ(container_->firstImpressionTime(), -1.0);
  EXPECT_FALSE(container_->hasLoggedImpression());
}

TEST_F(OVAdWebKitContentContainerTest, LinkDecisions) {
  loadPage();
  struct Case {
    const char* name;
    WebNavigationType type;
    bool modal;
    bool handled;
    WebNavigationPolicy expected;
    bool reachesParent;
  };
  const Case cases[] = {
      {"script navigation", WebNavigationType::Other, false, true, WebNavigationPolicy::Allow, false},
      {"form", WebNavigationType::FormSubmitted, false, true, WebNavigationPolicy::Allow, false},
      {"handled link", WebNavigationType::LinkActivated, false, true, WebNavigationPolicy::Cancel, true},
      {"link the parent lets load", WebNavigationType::LinkActivated, false, false, WebNavigationPolicy::Allow, true},
      {"link under a modal view", WebNavigationType::LinkActivated, true, true, WebNavigationPolicy::Cancel, false},
  };
  for (const Case& c : cases) {
    owner_->links.clear();
    owner_->modal = c.modal;
    owner_->handlesLinks = c.handled;
    EXPECT_EQ(page_->navigate("ovad://click?x=1", c.type), c.expected) << c.name;
    EXPECT_EQ(owner_->links.size(), c.reachesParent ? 1u : 0u) << c.name;
  }
  owner_->modal = false;
  owner_->links.clear();
  EXPECT_EQ(page_->navigate("https://shop.example/item", WebNavigationType::LinkActivated),
            WebNavigationPolicy::Cancel);
  ASSERT_EQ(owner_->links.size(), 1u);
  EXPECT_EQ(owner_->links[0], "https://shop.example/item");
  EXPECT_EQ(owner_->linkModels[0], model_);
}

TEST_F(OVAdWebKitContentContainerTest, ALinkWithinTheClickabilityThresholdAfterTheImpressionIsCancelled) {
  configure({{"ad_clickability_threshold_ms", 1000}});
  owner_->validator = makeValidator();
  loadPage();
  ASSERT_TRUE(container_->logImpression());
  clock_->advance(0.5);
  EXPECT_EQ(page_->navigate("ovad://click", WebNavigationType::LinkActivated), WebNavigationPolicy::Cancel);
  EXPECT_TRUE(owner_->links.empty());
  clock_->advance(0.6);
  EXPECT_EQ(page_->navigate("ovad://click", WebNavigationType::LinkActivated), WebNavigationPolicy::Cancel);
  EXPECT_EQ(owner_->links.size(), 1u);
  runMainQueue();
}

TEST_F(OVAdWebKitContentContainerTest, OnlyFailuresBeforeThePageLoadedAreLoadFailures) {
  const platform::Error failure(platform::kWebViewErrorDomain, 1);
  ASSERT_TRUE(container_->loadAdData(model_, 50));
  runMainQueue();
  page_->failLoad(failure, true);
  EXPECT_EQ(owner_->failures.size(), 1u);

  loadPage();
  page_->failLoad(failure, false);
  page_->failLoad(failure, true);
  EXPECT_EQ(owner_->failures.size(), 1u) << "a failing frame of a shown ad is no load failure";

  ASSERT_TRUE(container_->loadAdData(model_, 50));
  runMainQueue();
  page_->failLoad(failure, false);
  EXPECT_EQ(owner_->failures.size(), 2u) << "a new load may fail again";
}

TEST_F(OVAdWebKitContentContainerTest, APageLostWithItsWebProcessIsALoadFailureAndCountsNoImpression) {
  const platform::Error gone(platform::kWebViewErrorDomain, platform::kWebViewErrorWebProcessTerminated);
  owner_->validator = makeValidator();
  loadPage();
  ASSERT_TRUE(container_->isJavascriptAdControlInitialized());

  page_->failLoad(gone, false);
  ASSERT_EQ(owner_->failures.size(), 1u) << "even after the page showed";
  EXPECT_TRUE(platform::isWebProcessTermination(owner_->failures[0]));
  EXPECT_FALSE(container_->isJavascriptAdControlInitialized()) << "the bridge went with the page";
  EXPECT_FALSE(container_->logImpression());
  advance(5.0);
  EXPECT_FALSE(container_->hasLoggedImpression()) << "no retry logs it for the lost page";
  EXPECT_TRUE(impressions().empty());

  loadPage();
  EXPECT_TRUE(container_->logImpression()) << "the next page gets a bridge of its own";
  EXPECT_EQ(impressions().size(), 1u);
}

TEST_F(OVAdWebKitContentContainerTest, TheTouchRecordStartsWhereAndWhenTheTouchBegan) {
  owner_->validator = makeValidator();
  const auto window = makeKeyWindow();
  const auto view = container_->getView();
  window->addSubview(view);
  container_->setFrame({{0, 100}, {320, 50}});
  EXPECT_EQ(page_->frameWidth, 320u);
  EXPECT_EQ(page_->frameHeight, 50u);
  loadPage();

  const double began = clock_->monotonicTime();
  auto* app = platform::Application::shared().get();
  app->sendTouch(platform::TouchPhase::Began, {10, 110}, {began, 0.5, 3.0});
  clock_->advance(0.2);
  app->sendTouch(platform::TouchPhase::Moved, {30, 120}, {began + 0.2, 0.6, 4.0});
  clock_->advance(0.1);
  app->sendTouch(platform::TouchPhase::Ended, {40, 125}, {began + 0.3, 0.7, 5.0});
  runMainQueue();

  EXPECT_EQ(container_->lastTouchStartLocation(), (platform::Point{10, 10}));
  EXPECT_EQ(container_->lastTouchCurrentLocation(), (platform::Point{40, 25}));
  EXPECT_NEAR(container_->lastTouchCurrentTimestamp() - container_->lastTouchStartTimestamp(), 0.3, 1e-6);
  EXPECT_DOUBLE_EQ(container_->lastTouchPressure(), 0.7);
  EXPECT_DOUBLE_EQ(container_->lastTouchRadius(), 5.0);

  ASSERT_TRUE(container_->logImpression());
  const auto logged = impressions();
  ASSERT_EQ(logged.size(), 1u);
  const Value data = extraDataOf(logged[0]);
  const Value touch = platform::parseJSON(data.find("touch")->asString()).value_or(Value());
  EXPECT_EQ(touch.find("startX")->asDouble(), 10.0);
  EXPECT_EQ(touch.find("clickY")->asDouble(), 25.0);
  EXPECT_NEAR(touch.find("clickDelayTime")->asDouble(), 0.0, 1e-6);
}

TEST_F(OVAdWebKitContentContainerTest, TheDefaultMakerMakesThisContainer) {
  const auto made = OVAdCreateContentContainer(owner_, false, {300, 250}, kOVAdSize320x50);
  ASSERT_NE(std::dynamic_pointer_cast<OVAdWebKitContentContainer>(made), nullptr);
  EXPECT_EQ(made->parent(), owner_);
  EXPECT_EQ(made->actualAdSize(), (platform::Size{300, 250}));
}

}  // namespace
}  // namespace plexora
