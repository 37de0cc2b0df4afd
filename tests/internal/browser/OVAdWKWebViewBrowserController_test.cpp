#include "internal/browser/OVAdWKWebViewBrowserController.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "BrowserTestSupport.h"
#include "platform/ui/Application.h"

namespace plexora {
namespace {

using Item = OVAdWKWebViewBrowserController::ToolbarItem;
using platform::WebNavigationPolicy;
using platform::WebNavigationType;

class OVAdWKWebViewBrowserControllerTest : public testing::BrowserTest {
 protected:
  // Presents the browser for kLink; it has asked its web view to load it.
  void presentBrowser() {
    present();
    browser_ = std::dynamic_pointer_cast<OVAdWKWebViewBrowserController>(delegate_->browser);
    ASSERT_NE(browser_, nullptr);
    ASSERT_EQ(webViews_.size(), 1u);
    page_ = webViews_.front();
  }
  std::int64_t nowMs() const { return OVAdSafariViewController::currentTimeMs(); }
  // Advances the clock and runs what fell due, the poll's script answers too.
  void advance(double seconds) {
    clock_->advance(seconds);
    runMainQueue();
  }

  std::shared_ptr<OVAdWKWebViewBrowserController> browser_;
  std::shared_ptr<testing::ScriptableWebView> page_;
};

TEST_F(OVAdWKWebViewBrowserControllerTest, PresentingLoadsTheLinkOnceThePresentationHasFinished) {
  OVAdSafariViewController::presentSafariViewControllerWithURL(
      *platform::URL::parse(kLink), OVAdViewControllerProxy::proxyWithViewController(root_), kToken, kHandlerTimeMs,
      delegate_);
  EXPECT_EQ(delegate_->heard, (std::vector<std::string>{"will"}));
  ASSERT_EQ(webViews_.size(), 1u);
  EXPECT_TRUE(webViews_.front()->loads.empty()) << "nothing loads before the browser is on screen";

  finishTransition();
  EXPECT_EQ(delegate_->heard, (std::vector<std::string>{"will", "completed"}));
  ASSERT_EQ(webViews_.front()->loads.size(), 1u);
  EXPECT_EQ(webViews_.front()->loads.front().baseURL, kLink);
  EXPECT_EQ(root_->presentedViewController(), delegate_->browser);
  auto browser = std::dynamic_pointer_cast<OVAdWKWebViewBrowserController>(delegate_->browser);
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(browser->inlineClientToken(), kToken);
  EXPECT_EQ(browser->handlerTimeMs(), kHandlerTimeMs);
  EXPECT_EQ(browser->loadStartMs(), nowMs());
  EXPECT_TRUE(platform::Application::shared()->isStatusBarHidden());
}

TEST_F(OVAdWKWebViewBrowserControllerTest, WithoutAControllerToPresentFromNothingHappens) {
  OVAdSafariViewController::presentSafariViewControllerWithURL(*platform::URL::parse(kLink), nullptr, kToken,
                                                               kHandlerTimeMs, delegate_);
  finishTransition();
  EXPECT_TRUE(delegate_->heard.empty());
  EXPECT_TRUE(webViews_.empty());
}

TEST_F(OVAdWKWebViewBrowserControllerTest, TheLoadIsTimedByItsFirstOccurrences) {
  presentBrowser();
  const std::int64_t loadStart = nowMs();
  page_->answers.answer(kOVAdBrowserReadyStateScript, platform::Value("loading"));
  advance(1.0);
  page_->startLoad();
  const std::int64_t responseEnd = nowMs();
  EXPECT_EQ(browser_->responseEndMs(), responseEnd);

  advance(0.5);
  EXPECT_GE(page_->scripts.size(), 4u) << "the ready state is polled every 0.1 s";
  EXPECT_EQ(browser_->domContentLoadedMs(), 0) << "not complete yet";

  page_->answers = {};
  page_->answers.answer(kOVAdBrowserReadyStateScript, platform::Value(kOVAdBrowserReadyStateComplete));
  advance(0.1);
  const std::int64_t ready = browser_->domContentLoadedMs();
  EXPECT_GT(ready, responseEnd);
  EXPECT_EQ(browser_->scrollReadyMs(), ready);
  const std::size_t polls = page_->scripts.size();
  advance(1.0);
  EXPECT_EQ(page_->scripts.size(), polls) << "the poll stopped at complete";

  page_->finishLoad();
  const std::int64_t finish = nowMs();
  EXPECT_EQ(browser_->loadFinishMs(), finish);

  // A second page in the same browser keeps the first page's times.
  advance(2.0);
  page_->startLoad();
  advance(0.2);
  page_->finishLoad();
  browser_->loadURL(*platform::URL::parse("https://advertiser.test/other"));
  EXPECT_EQ(browser_->loadStartMs(), loadStart);
  EXPECT_EQ(browser_->responseEndMs(), responseEnd);
  EXPECT_EQ(browser_->domContentLoadedMs(), ready);
  EXPECT_EQ(browser_->loadFinishMs(), finish);
}

TEST_F(OVAdWKWebViewBrowserControllerTest, APageThatNeverCompletesIsPolledUntilItsLoadEnds) {
  presentBrowser();
  page_->answers.answer(kOVAdBrowserReadyStateScript, platform::Value("interactive"));
  page_->startLoad();
  advance(1.0);
  page_->failLoad(platform::Error(platform::kWebViewErrorDomain, 1), true);
  const std::size_t polls = page_->scripts.size();
  advance(1.0);
  EXPECT_EQ(page_->scripts.size(), polls);
  EXPECT_EQ(browser_->domContentLoadedMs(), 0);
  EXPECT_EQ(browser_->scrollReadyMs(), 0);
  EXPECT_EQ(browser_->loadFinishMs(), 0);
}

TEST_F(OVAdWKWebViewBrowserControllerTest, APageFinishedBeforeThePollsFirstTickIsAskedOnceAtTheFinish) {
  presentBrowser();
  page_->answers.answer(kOVAdBrowserReadyStateScript, platform::Value(kOVAdBrowserReadyStateComplete));
  page_->startLoad();
  advance(0.05);
  ASSERT_TRUE(page_->scripts.empty()) << "no poll tick yet";
  page_->finishLoad();
  runMainQueue();
  EXPECT_EQ(page_->scripts.size(), 1u);
  EXPECT_EQ(browser_->domContentLoadedMs(), nowMs());
  EXPECT_EQ(browser_->scrollReadyMs(), nowMs());
  advance(1.0);
  EXPECT_EQ(page_->scripts.size(), 1u) << "and the poll does not start again";
}

TEST_F(OVAdWKWebViewBrowserControllerTest, AScriptErrorDoesNotStopThePoll) {
  presentBrowser();
  page_->answers.fail(kOVAdBrowserReadyStateScript,
                      platform::Error(platform::kWebViewErrorDomain, platform::kWebViewErrorJavaScriptFailed));
  page_->startLoad();
  advance(0.35);
  const std::size_t polls = page_->scripts.size();
  advance(0.3);
  EXPECT_GT(page_->scripts.size(), polls);
  EXPECT_EQ(browser_->domContentLoadedMs(), 0);
}

TEST_F(OVAdWKWebViewBrowserControllerTest, TheSpinnerTakesTheRefreshButtonsPlaceWhileLoading) {
  presentBrowser();
  const std::vector<Item> loading{Item::Back,    Item::FlexibleSpace, Item::Forward,       Item::FlexibleSpace,
                                  Item::Spinner, Item::FlexibleSpace, Item::Done};
  const std::vector<Item> idle{Item::Back,    Item::FlexibleSpace, Item::Forward,       Item::FlexibleSpace,
                               Item::Refresh, Item::FlexibleSpace, Item::Done};
  EXPECT_EQ(browser_->toolbarItems(), loading) << "loadURL started the load";
  page_->canGoBackAnswer = true;
  page_->finishLoad();
  EXPECT_EQ(browser_->toolbarItems(), idle);
  EXPECT_TRUE(browser_->backButton()->isEnabled());
  EXPECT_FALSE(browser_->forwardButton()->isEnabled());
  EXPECT_TRUE(browser_->spinnerButton()->isHidden());
  page_->startLoad();
  EXPECT_EQ(browser_->toolbarItems(), loading);
  EXPECT_TRUE(browser_->refreshButton()->isHidden());
  page_->failLoad(platform::Error(platform::kWebViewErrorDomain, 1), false);
  EXPECT_EQ(browser_->toolbarItems(), idle);
}

TEST_F(OVAdWKWebViewBrowserControllerTest, TheButtonsDriveThePageAndTheToolbarSitsAtTheBottom) {
  presentBrowser();
  browser_->backButton()->sendTap();
  browser_->forwardButton()->sendTap();
  browser_->refreshButton()->sendTap();
  EXPECT_EQ(page_->backCount, 1);
  EXPECT_EQ(page_->forwardCount, 1);
  EXPECT_EQ(page_->reloadCount, 1);
  const platform::Rect bounds = browser_->view()->bounds();
  EXPECT_EQ(browser_->toolBar()->frame(),
            platform::Rect(0, bounds.height() - kOVAdBrowserToolbarHeight, bounds.width(), kOVAdBrowserToolbarHeight));
  EXPECT_EQ(page_->frameHeight, static_cast<std::uint32_t>((bounds.height() - kOVAdBrowserToolbarHeight) * 2));
}

TEST_F(OVAdWKWebViewBrowserControllerTest, DoneReportsTheSessionOnceAndTellsTheDelegate) {
  platform::Application::shared()->setStatusBarHidden(false);
  presentBrowser();
  page_->startLoad();
  advance(3.0);
  browser_->doneButton()->sendTap();
  ASSERT_EQ(sessions_->size(), 1u);
  const testing::LoggedSession& session = sessions_->front();
  EXPECT_EQ(session.token, kToken);
  EXPECT_EQ(session["initial_url"], kLink);
  EXPECT_EQ(session["handler_time_ms"], std::to_string(kHandlerTimeMs));
  EXPECT_EQ(session["load_start_ms"], std::to_string(browser_->loadStartMs()));
  EXPECT_EQ(session["response_end_ms"], std::to_string(browser_->responseEndMs()));
  EXPECT_EQ(session["dom_content_loaded_ms"], "0") << "closed before the page was ready";
  EXPECT_EQ(session["scroll_ready_ms"], "0");
  EXPECT_EQ(session["load_finish_ms"], "0");
  EXPECT_EQ(session["session_finish_ms"], std::to_string(nowMs()));
  EXPECT_EQ(page_->stopCount, 1) << "a page still loading is stopped";

  finishTransition();
  EXPECT_EQ(delegate_->heard, (std::vector<std::string>{"will", "completed", "dismissed"}));
  EXPECT_EQ(root_->presentedViewController(), nullptr);
  EXPECT_FALSE(platform::Application::shared()->isStatusBarHidden()) << "the host's status bar is back";
  EXPECT_EQ(sessions_->size(), 1u);
}

TEST_F(OVAdWKWebViewBrowserControllerTest, ABrowserClosedByAnotherWayStillEndsItsSessionOnce) {
  presentBrowser();
  page_->finishLoad();
  ASSERT_TRUE(root_->dismiss(true));
  finishTransition();
  EXPECT_EQ(sessions_->size(), 1u);
  EXPECT_EQ(delegate_->heard, (std::vector<std::string>{"will", "completed", "dismissed"}));
}

TEST_F(OVAdWKWebViewBrowserControllerTest, OnlyWebLinksLoadInTheBrowser) {
  platform::Application::shared()->setOpenableSchemes({"mailto", "http", "https"});
  struct Case {
    const char* url;
    WebNavigationPolicy policy;
    bool opensOutside;
  };
  const Case cases[] = {
      {"http://advertiser.test/a", WebNavigationPolicy::Allow, false},
      {"https://advertiser.test/b", WebNavigationPolicy::Allow, false},
      {"HTTPS://ADVERTISER.TEST/C", WebNavigationPolicy::Allow, false},
      {"Http://advertiser.test/d", WebNavigationPolicy::Allow, false},
      {"javascript:alert(1)", WebNavigationPolicy::Cancel, false},
      {"no scheme at all", WebNavigationPolicy::Cancel, false},
  };
  presentBrowser();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(page_->navigate(c.url, WebNavigationType::LinkActivated), c.policy);
  }
  EXPECT_TRUE(platform::Application::shared()->openedURLs().empty());
  finishTransition();
  EXPECT_EQ(root_->presentedViewController(), browser_) << "links nobody can open leave the browser up";
}

TEST_F(OVAdWKWebViewBrowserControllerTest, ALinkForTheSystemClosesTheBrowserWithoutASession) {
  platform::Application::shared()->setOpenableSchemes({"mailto", "http", "https"});
  presentBrowser();
  EXPECT_EQ(page_->navigate("mailto:someone@advertiser.test", WebNavigationType::LinkActivated),
            WebNavigationPolicy::Cancel);
  ASSERT_EQ(platform::Application::shared()->openedURLs().size(), 1u);
  EXPECT_EQ(platform::Application::shared()->openedURLs().front().absoluteString(), "mailto:someone@advertiser.test");
  finishTransition();
  EXPECT_EQ(root_->presentedViewController(), nullptr);
  EXPECT_EQ(delegate_->heard, (std::vector<std::string>{"will", "completed", "dismissed"}));
  EXPECT_TRUE(sessions_->empty());
}

TEST_F(OVAdWKWebViewBrowserControllerTest, ClearContentEmptiesThePageAndSwallowsItsErrors) {
  presentBrowser();
  browser_->clearContent();
  ASSERT_FALSE(page_->scripts.empty());
  const std::string& script = page_->scripts.back();
  EXPECT_NE(script.find(kOVAdBrowserClearContentScript), std::string::npos);
  EXPECT_NE(script.find("catch(e)"), std::string::npos);
}

}  // namespace
}  // namespace plexora
