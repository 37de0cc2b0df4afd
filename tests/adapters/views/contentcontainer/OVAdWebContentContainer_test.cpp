// The container over the synchronous web view, on a scriptable double and
// the manual clock: the load sequence, the one-shot bridge and what a page
// that breaks it leads to, the impression, link decisions and load failures.
#include "adapters/views/contentcontainer/OVAdWebContentContainer.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ContentContainerTestSupport.h"
#include "adapters/views/contentcontainer/OVAdWebKitContentContainer.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdErrorDomain.h"
#include "plexora/OVAdSettings.h"
#include "support/doubles/ScriptableWebView.h"

namespace plexora {
namespace {

using platform::Value;
using platform::WebNavigationType;

constexpr const char* kMarkup = testing::kContainerMarkup;
constexpr const char* kActivation = testing::kContainerActivation;
constexpr const char* kBridgeStart = "var AdControl = { getAnalogInfo : function() { return '";

class OVAdWebContentContainerTest
    : public testing::ContentContainerTest<OVAdWebContentContainer, testing::ScriptableSyncWebView> {
 protected:
  // Loads the model and plays the page's load; the bridge is then queued.
  void loadPage() {
    ASSERT_TRUE(container_->loadAdData(model_, 50));
    runMainQueue();
    ASSERT_TRUE(page_->navigate(OVAdSettings::getWebviewBaseURL(), WebNavigationType::Other));
    page_->finishLoad();
  }
};

TEST_F(OVAdWebContentContainerTest, ALoadedPageTellsTheOwnerThenGetsItsBridgeOnTheNextTurn) {
  EXPECT_TRUE(container_->getView()->isHidden());
  ASSERT_TRUE(container_->loadAdData(model_, 50));
  EXPECT_EQ(container_->htmlDataModel(), model_);
  EXPECT_TRUE(page_->loads.empty()) << "the markup loads on the next turn of the main queue";
  runMainQueue();
  ASSERT_EQ(page_->loads.size(), 1u);
  EXPECT_EQ(page_->loads[0].html, kMarkup);
  EXPECT_EQ(page_->loads[0].baseURL, OVAdSettings::getWebviewBaseURL());

  EXPECT_TRUE(page_->navigate("about:blank", WebNavigationType::Other));
  EXPECT_FALSE(container_->getView()->isHidden());
  page_->finishLoad();
  EXPECT_EQ(owner_->heard, (std::vector<std::string>{"load", "validate"}));
  EXPECT_TRUE(page_->scripts.empty());
  EXPECT_FALSE(container_->isJavascriptAdControlInitialized()) << "not before its scripts ran";
  runMainQueue();
  ASSERT_EQ(page_->scripts.size(), 2u);
  EXPECT_EQ(page_->scripts[0].rfind(kBridgeStart, 0), 0u) << "at the page's top level, so the page sees it";
  EXPECT_EQ(page_->scripts[1].rfind("(function(){try{", 0), 0u);
  EXPECT_NE(page_->scripts[1].find(kActivation), std::string::npos);
  EXPECT_TRUE(container_->isJavascriptAdControlInitialized());

  container_->initializeJavascriptAdControl();
  page_->finishLoad();
  runMainQueue();
  EXPECT_EQ(page_->scripts.size(), 2u) << "a set-up bridge is not set up again";
  EXPECT_TRUE(owner_->failures.empty());
}

TEST_F(OVAdWebContentContainerTest, TheBridgeIsQueuedOnceForLoadsThatFinishBeforeItRuns) {
  loadPage();
  page_->finishLoad();
  container_->initializeJavascriptAdControl();
  runMainQueue();
  EXPECT_EQ(scriptsContaining(kBridgeStart), 1u);
}

TEST_F(OVAdWebContentContainerTest, AModelThatIsNotHTMLIsRefusedAndNotKept) {
  EXPECT_FALSE(container_->loadAdData(OVAdDataModel::create(), 50));
  runMainQueue();
  EXPECT_EQ(container_->offsiteAd(), nullptr);
  EXPECT_TRUE(page_->loads.empty());
}

// Pages that break the bridge: each attempt ends in one reported failure,
// no impression, and no second attempt that could stall the main thread.
TEST_F(OVAdWebContentContainerTest, ABrokenBridgeIsReportedOnceAndNeverTriedAgain) {
  const platform::Error tooLarge(platform::kWebViewErrorDomain, platform::kWebViewErrorJavaScriptResultUnsupported);
  const platform::Error threw(platform::kWebViewErrorDomain, platform::kWebViewErrorJavaScriptFailed);
  struct Case {
    const char* name;
    const char* fragment;
    std::optional<platform::Error> error;  // none: never answers
    std::size_t activationRuns;
  };
  const Case cases[] = {
      {"bridge never answers", "AdControl", std::nullopt, 0},
      {"bridge throws", "AdControl", threw, 0},
      {"command never answers", kActivation, std::nullopt, 1},
      {"command's result too large", kActivation, tooLarge, 1},
      {"command does not parse", kActivation, threw, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    owner_->failures.clear();
    owner_->validator = makeValidator();
    page_->scripts.clear();
    page_->answers = {};
    if (c.error) {
      page_->answers.fail(c.fragment, *c.error);
    } else {
      page_->answers.never(c.fragment);
    }
    loadPage();
    runMainQueue();
    EXPECT_EQ(scriptsContaining(kActivation), c.activationRuns);
    EXPECT_FALSE(container_->isJavascriptAdControlInitialized());
    ASSERT_EQ(owner_->failures.size(), 1u);
    EXPECT_EQ(owner_->failures[0].domain(), OVPlexoraErrorDomain);
    EXPECT_EQ(owner_->failures[0].code(), kOVAdErrorCodeInternalError);

    const std::size_t scripts = page_->scripts.size();
    page_->finishLoad();  // the page navigated again
    container_->initializeJavascriptAdControl();
    EXPECT_FALSE(container_->logImpression());
    runMainQueue();
    EXPECT_EQ(page_->scripts.size(), scripts) << "no second attempt, no impression call";
    EXPECT_EQ(owner_->failures.size(), 1u);
    EXPECT_FALSE(container_->hasLoggedImpression());
  }
}

TEST_F(OVAdWebContentContainerTest, AnImpressionWaitsForTheBridgeWithoutATimerAndIsLoggedOnce) {
  owner_->validator = makeValidator();
  ASSERT_TRUE(container_->loadAdData(model_, 50));
  runMainQueue();
  EXPECT_FALSE(container_->logImpression());
  loadPage();
  EXPECT_FALSE(container_->logImpression()) << "the bridge is queued, its scripts have not run";
  clock_->advance(5.0);
  runMainQueue();
  EXPECT_EQ(scriptsContaining("sendImpression"), 0u) << "nothing retries on its own";
  EXPECT_EQ(container_->firstImpressionTime(), -1.0);

  owner_->heard.clear();
  ASSERT_TRUE(container_->logImpression());
  EXPECT_EQ(container_->firstImpressionTime(), platform::Clock::current()->timeSinceReferenceDate());
  EXPECT_TRUE(owner_->heard.empty()) << "the owner hears of it on the next turn";
  runMainQueue();
  EXPECT_EQ(owner_->heard, (std::vector<std::string>{"impression"}));
  ASSERT_EQ(scriptsContaining("orvaneAd.sendImpression();"), 1u);
  EXPECT_NE(page_->scripts.back().find("catch(e)"), std::string::npos) << "the page's throw stays in the page";

  EXPECT_TRUE(container_->logImpression());
  runMainQueue();
  EXPECT_EQ(scriptsContaining("sendImpression"), 1u);
  const auto logged = impressions();
  ASSERT_EQ(logged.size(), 1u);
  extraDataOf(logged[0]);
}

TEST_F(OVAdWebContentContainerTest, AnImpressionOfAPageReplacedMeanwhileIsNotSentToTheNewPage) {
  owner_->validator = makeValidator();
  loadPage();
  runMainQueue();
  ASSERT_TRUE(container_->logImpression());
  container_->loadAdMarkup("<p>next</p>", "");
  runMainQueue();
  EXPECT_EQ(scriptsContaining("sendImpression"), 0u);
  EXPECT_FALSE(container_->hasLoggedImpression());
}

TEST_F(OVAdWebContentContainerTest, WithoutAValidatorNothingIsLogged) {
  loadPage();
  runMainQueue();
  EXPECT_FALSE(container_->logImpression());
  runMainQueue();
  EXPECT_EQ(scriptsContaining("sendImpression"), 0u);
  EXPECT_EQ(container_->firstImpressionTime(), -1.0);
  EXPECT_FALSE(container_->hasLoggedImpression());
}

TEST_F(OVAdWebContentContainerTest, LinkDecisions) {
  loadPage();
  runMainQueue();
  struct Case {
    const char* name;
    WebNavigationType type;
    bool modal;
    bool handled;
    bool loads;
    bool reachesParent;
  };
  const Case cases[] = {
      {"script navigation", WebNavigationType::Other, false, true, true, false},
      {"form", WebNavigationType::FormSubmitted, false, true, true, false},
      {"handled link", WebNavigationType::LinkActivated, false, true, false, true},
      {"link the parent lets load", WebNavigationType::LinkActivated, false, false, true, true},
      {"link under a modal view", WebNavigationType::LinkActivated, true, true, false, false},
  };
  for (const Case& c : cases) {
    owner_->links.clear();
    owner_->modal = c.modal;
    owner_->handlesLinks = c.handled;
    EXPECT_EQ(page_->navigate("ovad://click?x=1", c.type), c.loads) << c.name;
    EXPECT_EQ(owner_->links.size(), c.reachesParent ? 1u : 0u) << c.name;
  }
  owner_->modal = false;
  owner_->links.clear();
  EXPECT_FALSE(page_->navigate("https://shop.example/item", WebNavigationType::LinkActivated));
  ASSERT_EQ(owner_->links.size(), 1u);
  EXPECT_EQ(owner_->links[0], "https://shop.example/item");
  EXPECT_EQ(owner_->linkModels[0], model_);
}

TEST_F(OVAdWebContentContainerTest, ALinkWithinTheClickabilityThresholdAfterTheImpressionIsCancelled) {
  configure({{"ad_clickability_threshold_ms", 1000}});
  owner_->validator = makeValidator();
  loadPage();
  runMainQueue();
  EXPECT_FALSE(container_->logClickWithExtraData(Value()));
  ASSERT_TRUE(container_->logImpression());
  clock_->advance(0.5);
  EXPECT_FALSE(page_->navigate("ovad://click", WebNavigationType::LinkActivated));
  EXPECT_TRUE(owner_->links.empty()) << "premature: the parent never sees it";
  clock_->advance(0.6);
  EXPECT_FALSE(page_->navigate("ovad://click", WebNavigationType::LinkActivated));
  EXPECT_EQ(owner_->links.size(), 1u);
  runMainQueue();
}

TEST_F(OVAdWebContentContainerTest, OnlyFailuresBeforeThePageLoadedReachTheOwner) {
  const platform::Error failure(platform::kWebViewErrorDomain, 1);
  ASSERT_TRUE(container_->loadAdData(model_, 50));
  runMainQueue();
  page_->failLoad(failure);
  ASSERT_EQ(owner_->failures.size(), 1u);
  EXPECT_EQ(owner_->failures[0].code(), 1);

  loadPage();
  runMainQueue();
  page_->failLoad(failure);
  EXPECT_EQ(owner_->failures.size(), 1u) << "a failing frame of a shown ad is no load failure";

  container_->loadAdMarkup(kMarkup, kActivation);
  page_->failLoad(failure);
  EXPECT_EQ(owner_->failures.size(), 2u) << "a new load may fail again";
}

TEST_F(OVAdWebContentContainerTest, APageLostWithItsWebProcessIsALoadFailureAndCountsNoImpression) {
  const platform::Error gone(platform::kWebViewErrorDomain, platform::kWebViewErrorWebProcessTerminated);
  owner_->validator = makeValidator();
  loadPage();
  runMainQueue();
  ASSERT_TRUE(container_->isJavascriptAdControlInitialized());

  page_->failLoad(gone);
  ASSERT_EQ(owner_->failures.size(), 1u) << "even after the page showed";
  EXPECT_TRUE(platform::isWebProcessTermination(owner_->failures[0]));
  EXPECT_FALSE(container_->isJavascriptAdControlInitialized()) << "the bridge went with the page";
  EXPECT_FALSE(container_->logImpression());
  runMainQueue();
  EXPECT_EQ(scriptsContaining("sendImpression"), 0u);
  EXPECT_TRUE(impressions().empty());

  loadPage();
  runMainQueue();
  EXPECT_EQ(scriptsContaining(kBridgeStart), 2u) << "the next page gets a bridge of its own";
  EXPECT_TRUE(container_->logImpression());
}

TEST_F(OVAdWebContentContainerTest, TheTouchRecordStartsWhereAndWhenTheTouchBegan) {
  const auto window = makeKeyWindow();
  window->addSubview(container_->getView());
  container_->setFrame({{0, 100}, {320, 50}});
  EXPECT_EQ(page_->frameWidth, 320u);
  EXPECT_EQ(page_->frameHeight, 50u);
  loadPage();
  runMainQueue();

  const double began = clock_->monotonicTime();
  auto* app = platform::Application::shared().get();
  app->sendTouch(platform::TouchPhase::Began, {10, 110}, {began, 0.5, 3.0});
  clock_->advance(0.2);
  app->sendTouch(platform::TouchPhase::Ended, {40, 125}, {began + 0.2, 0.7, 5.0});
  runMainQueue();
  EXPECT_EQ(container_->lastTouchStartLocation(), (platform::Point{10, 10}));
  EXPECT_EQ(container_->lastTouchCurrentLocation(), (platform::Point{40, 25}));
  EXPECT_NEAR(container_->lastTouchCurrentTimestamp() - container_->lastTouchStartTimestamp(), 0.2, 1e-6);
  EXPECT_DOUBLE_EQ(container_->lastTouchPressure(), 0.7);
  EXPECT_DOUBLE_EQ(container_->lastTouchRadius(), 5.0);
}

TEST_F(OVAdWebContentContainerTest, TheDefaultMakerMakesThisContainerWhenForced) {
  std::vector<std::shared_ptr<testing::ScriptableWebView>> asyncViews;
  const auto asyncMaker = testing::ScriptableWebView::install(asyncViews);
  const auto forced = OVAdCreateContentContainer(owner_, true, {300, 250}, kOVAdSize320x50);
  ASSERT_NE(std::dynamic_pointer_cast<OVAdWebContentContainer>(forced), nullptr);
  EXPECT_EQ(forced->parent(), owner_);
  EXPECT_EQ(forced->actualAdSize(), (platform::Size{300, 250}));
  EXPECT_NE(std::dynamic_pointer_cast<OVAdWebKitContentContainer>(
                OVAdCreateContentContainer(owner_, false, {300, 250}, kOVAdSize320x50)),
            nullptr);
}

}  // namespace
}  // namespace plexora
