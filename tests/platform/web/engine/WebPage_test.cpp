// Which web process the engine's views run their pages in, and what a view
// tells its delegate when that process dies.
#include "platform/web/WebPage.h"

#include <gtest/gtest.h>

#include <deque>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <variant>

#include "platform/web/SyncWebView.h"
#include "platform/web/WebView.h"
#include "support/WebProcesses.h"
#include "web/engine/WebEngineTestSupport.h"

namespace plexora::platform {
namespace {

using plexora::testing::killProcesses;
using plexora::testing::webProcesses;
using testing::RecordingNavigationDelegate;
using testing::RecordingSyncDelegate;
using testing::waitFor;

constexpr const char* kBaseURL = "http://127.0.0.1/";
constexpr const char* kMarkup = "<html><body><p>ad</p></body></html>";
constexpr int kSharedViews = 4;

struct Page {
  std::shared_ptr<RecordingNavigationDelegate> delegate = std::make_shared<RecordingNavigationDelegate>();
  std::shared_ptr<WebView> view;
};

std::set<long> difference(const std::set<long>& after, const std::set<long>& before) {
  std::set<long> added;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::inserter(added, added.end()));
  return added;
}

class WebPageProcessTest : public ::testing::Test {
 protected:
  // Each test starts with one web process, a new shared one: the shared
  // process lives on between tests, and another test's may linger. The
  // engine may hear of the kill after /proc shows it: a load that meets the
  // dying process fails, and the next one starts a new shared process.
  WebPageProcessTest() {
    killProcesses(webProcesses());
    EXPECT_TRUE(waitFor([] { return webProcesses().empty(); }));
    Page probe;
    probe.view = makeWebView();
    probe.view->setNavigationDelegate(probe.delegate);
    for (int attempt = 0; attempt < 2 && !load(probe); ++attempt) {
      probe.delegate->failures.clear();
    }
    EXPECT_EQ(webProcesses().size(), 1u);
  }

  Page& addPage(WebProcessSharing sharing) {
    pages_.push_back(Page{});
    Page& page = pages_.back();
    page.view = makeWebView(sharing);
    page.view->setNavigationDelegate(page.delegate);
    page.view->setFrameSize(320, 50);
    return page;
  }

  static bool load(Page& page) {
    const int finishedBefore = page.delegate->finished;
    page.view->loadHTMLString(kMarkup, kBaseURL);
    return waitFor([&] { return page.delegate->finished > finishedBefore || !page.delegate->failures.empty(); }) &&
           page.delegate->failures.empty();
  }

  std::deque<Page> pages_;
};

TEST_F(WebPageProcessTest, SharedViewsRunInOneWebProcessAndAViewOfItsOwnInAnother) {
  for (int index = 0; index < kSharedViews; ++index) {
    ASSERT_TRUE(load(addPage(WebProcessSharing::Shared))) << index;
  }
  const std::set<long> shared = webProcesses();
  EXPECT_EQ(shared.size(), 1u) << "every shared view in one web process";

  ASSERT_TRUE(load(addPage(WebProcessSharing::OwnProcess)));
  EXPECT_EQ(webProcesses().size(), 2u) << "a view of its own adds its own process";

  // Each view keeps settings of its own although they share a process.
  pages_[0].view->setCustomUserAgent("Plexora-Test/1");
  EXPECT_EQ(pages_[0].view->userAgent(), "Plexora-Test/1");
  EXPECT_NE(pages_[1].view->userAgent(), "Plexora-Test/1");
}

TEST_F(WebPageProcessTest, WhenTheSharedProcessDiesEveryViewInItFailsAndItsNextLoadSharesAgain) {
  for (int index = 0; index < kSharedViews; ++index) {
    ASSERT_TRUE(load(addPage(WebProcessSharing::Shared))) << index;
  }
  const std::set<long> shared = webProcesses();
  ASSERT_EQ(shared.size(), 1u);
  Page& own = addPage(WebProcessSharing::OwnProcess);
  ASSERT_TRUE(load(own));
  // A shared view asked for no page yet has lost nothing.
  Page& unused = addPage(WebProcessSharing::Shared);

  killProcesses(shared);

  for (int index = 0; index < kSharedViews; ++index) {
    const Page& page = pages_[static_cast<std::size_t>(index)];
    ASSERT_TRUE(waitFor([&] { return !page.delegate->failures.empty(); })) << index;
    ASSERT_EQ(page.delegate->failures.size(), 1u) << index;
    const auto& failure = page.delegate->failures.front();
    EXPECT_FALSE(failure.provisional) << "the page had shown";
    EXPECT_TRUE(isWebProcessTermination(failure.error)) << failure.error.localizedDescription();
    const Value* failingURL = failure.error.userInfo().find(kWebViewFailingURLStringKey);
    ASSERT_NE(failingURL, nullptr);
    EXPECT_EQ(*failingURL, Value(kBaseURL));
    EXPECT_EQ(page.delegate->finished, 1) << "no late success for the page that is gone";
  }
  EXPECT_TRUE(own.delegate->failures.empty());
  EXPECT_TRUE(unused.delegate->failures.empty());

  // The views load again, together in one new process.
  const std::set<long> survivors = webProcesses();
  for (int index = 0; index < kSharedViews; ++index) {
    Page& page = pages_[static_cast<std::size_t>(index)];
    page.delegate->failures.clear();
    ASSERT_TRUE(load(page)) << index;
  }
  ASSERT_TRUE(load(unused));
  EXPECT_EQ(difference(webProcesses(), survivors).size(), 1u);
  EXPECT_TRUE(own.delegate->failures.empty());
}

TEST_F(WebPageProcessTest, ALoadCutShortByTheProcessDeathFailsProvisionallyAndASyncViewHearsOfItToo) {
  Page& loaded = addPage(WebProcessSharing::Shared);
  ASSERT_TRUE(load(loaded));
  const std::set<long> shared = webProcesses();
  ASSERT_EQ(shared.size(), 1u);

  const auto syncDelegate = std::make_shared<RecordingSyncDelegate>();
  const auto syncView = makeSyncWebView();
  syncView->setDelegate(syncDelegate);
  syncView->loadHTMLString(kMarkup, kBaseURL);
  ASSERT_TRUE(waitFor([&] { return syncDelegate->finished > 0; }));

  // A navigation held at its decision never commits: the death ends it.
  Page& pending = addPage(WebProcessSharing::Shared);
  pending.delegate->holdDecisions = true;
  pending.view->loadHTMLString(kMarkup, kBaseURL);
  ASSERT_TRUE(waitFor([&] { return !pending.delegate->heldDecisions.empty(); }));

  killProcesses(shared);

  ASSERT_TRUE(waitFor([&] { return !pending.delegate->failures.empty() && syncDelegate->failures.size() == 1; }));
  EXPECT_TRUE(pending.delegate->failures.front().provisional);
  EXPECT_TRUE(isWebProcessTermination(pending.delegate->failures.front().error));
  EXPECT_TRUE(isWebProcessTermination(syncDelegate->failures.front()));
  // Answering the dead navigation's decision late neither hangs nor loads.
  pending.delegate->heldDecisions.front()(WebNavigationPolicy::Allow);
  EXPECT_EQ(pending.delegate->finished, 0);

  // The sync view still answers scripts once it loads again.
  syncView->loadHTMLString(kMarkup, kBaseURL);
  ASSERT_TRUE(waitFor([&] { return syncDelegate->finished > 1; }));
  const auto answer = syncView->evaluateJavaScript("1 + 1");
  ASSERT_TRUE(std::holds_alternative<Value>(answer));
  EXPECT_EQ(std::get<Value>(answer), Value(2.0));
}

}  // namespace
}  // namespace plexora::platform
