// The in-app browser on the synchronous web view, chosen when the
// asynchronous one cannot be made: presentation, the ready-state poll read
// from the call, the toolbar, link policy, failures and the session.
#include "internal/browser/OVAdUIWebViewBrowserController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "BrowserTestSupport.h"
#include "platform/ui/Application.h"
#include "util/RuntimeTestSupport.h"

namespace plexora {
namespace {

using Item = OVAdBrowserViewController::ToolbarItem;
using platform::WebNavigationType;

class OVAdUIWebViewBrowserControllerTest : public testing::BrowserTest {
 protected:
  // Presents the browser for kLink; it has asked its web view to load it.
  void presentBrowser() {
    present();
    browser_ = std::dynamic_pointer_cast<OVAdUIWebViewBrowserController>(delegate_->browser);
    ASSERT_NE(browser_, nullptr);
    ASSERT_EQ(syncViews_.size(), 1u);
    page_ = syncViews_.front();
  }
  std::int64_t nowMs() const { return OVAdSafariViewController::currentTimeMs(); }
  void advance(double seconds) {
    clock_->advance(seconds);
    runMainQueue();
  }
  std::size_t polls() const {
    return static_cast<std::size_t>(std::count(page_->scripts.begin(), page_->scripts.end(),
                                               std::string(kOVAdBrowserReadyStateScript)));
  }

  OVAdSafariViewController::Availability::Scope noWebKit_{OVAdSafariViewController::webKitAvailability(),
                                                          [] { return false; }};
  std::vector<std::shared_ptr<testing::ScriptableSyncWebView>> syncViews_;
  platform::ScopedWebViewMaker syncMaker_ = testing::ScriptableSyncWebView::install(syncViews_);
  std::shared_ptr<OVAdUIWebViewBrowserController> browser_;
  std::shared_ptr<testing::ScriptableSyncWebView> page_;
};

TEST_F(OVAdUIWebViewBrowserControllerTest, WithoutTheAsynchronousViewThisBrowserIsPresentedAndLoadsTheLink) {
  testing::RuntimeLogCapture log;
  OVAdSafariViewController::presentSafariViewControllerWithURL(
      *platform::URL::parse(kLink), OVAdViewControllerProxy::proxyWithViewController(root_), kToken, kHandlerTimeMs,
      delegate_);
  EXPECT_EQ(delegate_->heard, (std::vector<std::string>{"will"}));
  ASSERT_EQ(syncViews_.size(), 1u);
  EXPECT_TRUE(webViews_.empty()) << "no asynchronous view is made";
  EXPECT_TRUE(syncViews_.front()->loads.empty()) << "nothing loads before the browser is on screen";

  finishTransition();
  EXPECT_EQ(delegate_->heard, (std::vector<std::string>{"will", "completed"}));
  EXPECT_EQ(log.count("Presented OVAdUIWebViewBrowserController 0x"), 1u);
  ASSERT_EQ(syncViews_.front()->loads.size(), 1u);
  EXPECT_EQ(syncViews_.front()->loads.front().baseURL, kLink);
  const auto browser = std::dynamic_pointer_cast<OVAdUIWebViewBrowserController>(delegate_->browser);
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(root_->presentedViewController(), browser);
  EXPECT_EQ(browser->inlineClientToken(), kToken);
  EXPECT_EQ(browser->handlerTimeMs(), kHandlerTimeMs);
  EXPECT_EQ(browser->loadStartMs(), nowMs());
  EXPECT_TRUE(platform::Application::shared()->isStatusBarHidden());
}

TEST_F(OVAdUIWebViewBrowserControllerTest, TheReadyStateIsReadFromTheCallUntilComplete) {
  presentBrowser();
  page_->answers.answer(kOVAdBrowserReadyStateScript, platform::Value("loading"));
  advance(1.0);
  page_->startLoad();
  const std::int64_t responseEnd = nowMs();
  EXPECT_EQ(browser_->responseEndMs(), responseEnd);
  advance(0.5);
  EXPECT_GE(polls(), 4u) << "polled every 0.1 s";
  EXPECT_EQ(browser_->domContentLoadedMs(), 0);

  page_->answers = {};
  page_->answers.never(kOVAdBrowserReadyStateScript);
  advance(0.3);
  EXPECT_EQ(browser_->domContentLoadedMs(), 0) << "a page that does not answer is not ready";

  page_->answers = {};
  page_->answers.answer(kOVAdBrowserReadyStateScript, platform::Value(kOVAdBrowserReadyStateComplete));
  advance(0.1);
  const std::int64_t ready = browser_->domContentLoadedMs();
  EXPECT_GT(ready, responseEnd);
  EXPECT_EQ(browser_->scrollReadyMs(), ready);
  const std::size_t pollsAtReady = polls();
  advance(1.0);
  EXPECT_EQ(polls(), pollsAtReady) << "the poll stopped at complete";

  page_->finishLoad();
  EXPECT_EQ(browser_->loadFinishMs(), nowMs());
}

TEST_F(OVAdUIWebViewBrowserControllerTest, AFailedLoadStopsThePollAndShowsRefresh) {
  presentBrowser();
  page_->answers.answer(kOVAdBrowserReadyStateScript, platform::Value("interactive"));
  const std::vector<Item> loading{Item::Back,    Item::FlexibleSpace, Item::Forward,       Item::FlexibleSpace,
                                  Item::Spinner, Item::FlexibleSpace, Item::Done};
  const std::vector<Item> idle{Item::Back,    Item::FlexibleSpace, Item::Forward,       Item::FlexibleSpace,
                               Item::Refresh, Item::FlexibleSpace, Item::Done};
  page_->startLoad();
  EXPECT_EQ(browser_->toolbarItems(), loading);
  advance(1.0);
  testing::RuntimeLogCapture log;
  page_->failLoad(platform::Error(platform::kWebViewErrorDomain, 1));
  page_->failLoad(platform::Error("", 0));
  EXPECT_EQ(log.count("Webview failed to load with error: "), 1u);
  EXPECT_EQ(log.count("Webview failed to load with unknown error"), 1u);
  EXPECT_EQ(browser_->toolbarItems(), idle);
  const std::size_t pollsAtFailure = polls();
  advance(1.0);
  EXPECT_EQ(polls(), pollsAtFailure);
  EXPECT_EQ(browser_->domContentLoadedMs(), 0);
  EXPECT_EQ(browser_->loadFinishMs(), 0);
}

TEST_F(OVAdUIWebViewBrowserControllerTest, OnlyWebLinksLoadAndAnyOtherGoesToTheSystemAndClosesWithoutASession) {
  platform::Application::shared()->setOpenableSchemes({"mailto", "http", "https"});
  presentBrowser();
  EXPECT_TRUE(page_->navigate("https://advertiser.test/b", WebNavigationType::LinkActivated));
  EXPECT_TRUE(page_->navigate("HTTP://ADVERTISER.TEST/C", WebNavigationType::Other));
  EXPECT_FALSE(page_->navigate("javascript:alert(1)", WebNavigationType::LinkActivated));
  EXPECT_TRUE(platform::Application::shared()->openedURLs().empty());
  finishTransition();
  EXPECT_EQ(root_->presentedViewController(), browser_) << "links nobody can open leave the browser up";

  EXPECT_FALSE(page_->navigate("mailto:someone@advertiser.test", WebNavigationType::LinkActivated));
  ASSERT_EQ(platform::Application::shared()->openedURLs().size(), 1u);
  finishTransition();
  EXPECT_EQ(root_->presentedViewController(), nullptr);
  EXPECT_EQ(delegate_->heard, (std::vector<std::string>{"will", "completed", "dismissed"}));
  EXPECT_TRUE(sessions_->empty());
}

TEST_F(OVAdUIWebViewBrowserControllerTest, DoneReportsTheSessionOnceAndTellsTheDelegate) {
  presentBrowser();
  page_->startLoad();
  advance(2.0);
  browser_->doneButton()->sendTap();
  ASSERT_EQ(sessions_->size(), 1u);
  EXPECT_EQ(sessions_->front().token, kToken);
  EXPECT_EQ(sessions_->front()["initial_url"], kLink);
  EXPECT_EQ(sessions_->front()["response_end_ms"], std::to_string(browser_->responseEndMs()));
  EXPECT_EQ(page_->stopCount, 1) << "a page still loading is stopped";
  finishTransition();
  EXPECT_EQ(delegate_->heard, (std::vector<std::string>{"will", "completed", "dismissed"}));
  EXPECT_EQ(sessions_->size(), 1u);
}

TEST_F(OVAdUIWebViewBrowserControllerTest, ClearContentEmptiesThePageOnTheNextTurn) {
  presentBrowser();
  const std::size_t before = page_->scripts.size();
  browser_->clearContent();
  EXPECT_EQ(page_->scripts.size(), before);
  runMainQueue();
  ASSERT_EQ(page_->scripts.size(), before + 1);
  EXPECT_NE(page_->scripts.back().find(kOVAdBrowserClearContentScript), std::string::npos);
  EXPECT_NE(page_->scripts.back().find("catch(e)"), std::string::npos);
}

}  // namespace
}  // namespace plexora
