#include "platform/web/SyncWebView.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "platform/dispatch/DispatchQueue.h"
#include "web/engine/WebEngineTestSupport.h"

namespace plexora::platform {
namespace {

using testing::RecordingSyncDelegate;
using testing::waitFor;

class SyncWebViewTest : public ::testing::Test {
 protected:
  SyncWebViewTest() { view_->setDelegate(delegate_); }

  void loadAndWait(const std::string& html) {
    view_->loadHTMLString(html, "http://127.0.0.1/");
    ASSERT_TRUE(waitFor([&] { return delegate_->finished > 0 || !delegate_->failures.empty(); }));
    ASSERT_TRUE(delegate_->failures.empty());
  }

  std::shared_ptr<RecordingSyncDelegate> delegate_ = std::make_shared<RecordingSyncDelegate>();
  std::shared_ptr<SyncWebView> view_ = makeSyncWebView();
};

TEST_F(SyncWebViewTest, AnswersScriptsFromTheCall) {
  loadAndWait("<html><head><title>Sync</title></head><body></body></html>");
  EXPECT_EQ(delegate_->started, 1);

  const auto title = view_->evaluateJavaScript("document.title");
  ASSERT_TRUE(std::holds_alternative<Value>(title));
  EXPECT_EQ(std::get<Value>(title), Value("Sync"));

  const auto thrown = view_->evaluateJavaScript("null.property");
  ASSERT_TRUE(std::holds_alternative<Error>(thrown));
  EXPECT_EQ(std::get<Error>(thrown).code(), kWebViewErrorJavaScriptFailed);
}

TEST_F(SyncWebViewTest, AWaitRunsNoMainQueueTaskAndABusyPageTimesOut) {
  loadAndWait("<html><body></body></html>");
  bool taskRan = false;
  DispatchQueue::main()->async([&] { taskRan = true; });

  const auto started = std::chrono::steady_clock::now();
  const auto busy = view_->evaluateJavaScript("var end = Date.now() + 3000; while (Date.now() < end) {}", 0.3);
  const auto waited = std::chrono::steady_clock::now() - started;
  ASSERT_TRUE(std::holds_alternative<Error>(busy));
  EXPECT_EQ(std::get<Error>(busy).domain(), kWebViewErrorDomain);
  EXPECT_EQ(std::get<Error>(busy).code(), kWebViewErrorJavaScriptTimedOut);
  EXPECT_LT(waited, std::chrono::seconds(3)) << "the wait is bounded by its timeout, not by the page";
  EXPECT_FALSE(taskRan) << "the nested wait must not run the caller's main queue";

  ASSERT_TRUE(waitFor([&] { return taskRan; }));
  // Once the page is free again it answers; the late answer of the timed-out
  // script goes nowhere.
  const auto after = view_->evaluateJavaScript("2 * 21", testing::kEngineWaitSeconds);
  ASSERT_TRUE(std::holds_alternative<Value>(after));
  EXPECT_EQ(std::get<Value>(after), Value(42.0));
}

TEST_F(SyncWebViewTest, ShouldStartLoadRefusesACommandLink) {
  loadAndWait("<html><body><a id='ad' href='ovad://open?url=x'>tap</a></body></html>");
  view_->evaluateJavaScript("document.getElementById('ad').click()");
  ASSERT_TRUE(waitFor([&] { return delegate_->actions.size() == 2; }));
  EXPECT_EQ(delegate_->actions.back().url, "ovad://open?url=x");
  EXPECT_EQ(delegate_->actions.back().type, WebNavigationType::LinkActivated);
  EXPECT_EQ(std::get<Value>(view_->evaluateJavaScript("location.href")), Value("http://127.0.0.1/"));
  EXPECT_TRUE(delegate_->failures.empty());
}

}  // namespace
}  // namespace plexora::platform
