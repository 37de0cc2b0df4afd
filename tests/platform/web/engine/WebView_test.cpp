#include "platform/web/WebView.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/web/WebEngine.h"
#include "testserver/TestServer.h"
#include "web/engine/WebEngineTestSupport.h"

namespace plexora::platform {
namespace {

using testing::RecordedFailure;
using testing::RecordingNavigationDelegate;
using testing::waitFor;

constexpr const char* kBaseURL = "http://127.0.0.1/";

struct Answer {
  Value result;
  std::optional<Error> error;
};

class WebViewTest : public ::testing::Test {
 protected:
  WebViewTest() { view_->setNavigationDelegate(delegate_); }

  void loadAndWait(const std::string& html) {
    const int finishedBefore = delegate_->finished;
    view_->loadHTMLString(html, kBaseURL);
    ASSERT_TRUE(waitFor([&] { return delegate_->finished > finishedBefore || !delegate_->failures.empty(); }));
    ASSERT_TRUE(delegate_->failures.empty()) << delegate_->failures.front().error.localizedDescription();
  }

  Answer evaluate(const std::string& script) {
    std::optional<Answer> answer;
    bool answeredInline = true;
    view_->evaluateJavaScript(script, [&](Value result, std::optional<Error> error) {
      answer = Answer{std::move(result), std::move(error)};
    });
    answeredInline = answer.has_value();
    EXPECT_FALSE(answeredInline) << "completions come through the main queue";
    EXPECT_TRUE(waitFor([&] { return answer.has_value(); })) << script;
    return answer.value_or(Answer{});
  }

  std::shared_ptr<RecordingNavigationDelegate> delegate_ = std::make_shared<RecordingNavigationDelegate>();
  std::shared_ptr<WebView> view_ = makeWebView();
};

TEST_F(WebViewTest, LoadsMarkupAndAnswersScriptsAsValues) {
  loadAndWait("<html><head><title>Banner</title></head><body><p id='p'>hi</p></body></html>");
  EXPECT_EQ(delegate_->started, 1);
  EXPECT_EQ(delegate_->finished, 1);
  ASSERT_FALSE(delegate_->actions.empty());
  EXPECT_EQ(delegate_->actions.front().type, WebNavigationType::Other) << "a host's load is not a link";
  EXPECT_FALSE(view_->isLoading());
  EXPECT_EQ(view_->url(), kBaseURL);

  struct Case {
    const char* script;
    Value expected;
  };
  const Case cases[] = {
      {"document.title", Value("Banner")},
      {"1 + 2", Value(3.0)},
      {"document.getElementById('p') !== null", Value(true)},
      {"undefined", Value()},
      {"null", Value()},
      {"({name: 'a', list: [1, 'b', false]})",
       Value(Dictionary{{"name", Value("a")}, {"list", Value(Array{Value(1), Value("b"), Value(false)})}})},
  };
  for (const Case& test : cases) {
    const Answer answer = evaluate(test.script);
    EXPECT_FALSE(answer.error.has_value()) << test.script;
    EXPECT_EQ(answer.result, test.expected) << test.script;
  }
}

TEST_F(WebViewTest, AScriptThatThrowsAnswersAnErrorAndTheViewGoesOn) {
  loadAndWait("<html><body></body></html>");
  const Answer thrown = evaluate("throw new Error('broken ad')");
  ASSERT_TRUE(thrown.error.has_value());
  EXPECT_EQ(thrown.error->domain(), kWebViewErrorDomain);
  EXPECT_EQ(thrown.error->code(), kWebViewErrorJavaScriptFailed);
  EXPECT_EQ(thrown.result, Value());

  const Answer wrapped = evaluate("(function(){try{undefinedThing();}catch(e){return e.toString();}}());");
  EXPECT_FALSE(wrapped.error.has_value());
  EXPECT_EQ(wrapped.result, Value("ReferenceError: Can't find variable: undefinedThing"));
}

TEST_F(WebViewTest, AScriptStillRunningWhenItsViewGoesStillAnswersAndTheViewsDelegateHearsNothing) {
  loadAndWait("<html><head><title>Gone</title></head></html>");
  const int finishedBefore = delegate_->finished;
  std::optional<Value> title;
  view_->evaluateJavaScript("document.title", [&](Value result, std::optional<Error>) { title = result; });
  view_->loadHTMLString("<html></html>", kBaseURL);
  view_.reset();
  ASSERT_TRUE(waitFor([&] { return title.has_value(); }));
  EXPECT_EQ(title, Value("Gone"));
  bool settled = false;
  DispatchQueue::main()->async([&] { settled = true; });
  ASSERT_TRUE(waitFor([&] { return settled; }));
  EXPECT_EQ(delegate_->finished, finishedBefore);
}

TEST_F(WebViewTest, AHugeScriptResultIsRefusedWithoutHangingTheLoop) {
  loadAndWait("<html><body></body></html>");
  const Answer huge = evaluate("'x'.repeat(9 * 1024 * 1024)");
  ASSERT_TRUE(huge.error.has_value());
  EXPECT_EQ(huge.error->code(), kWebViewErrorJavaScriptResultUnsupported);
  EXPECT_EQ(huge.result, Value());

  const Answer hugeObject = evaluate("({text: 'y'.repeat(9 * 1024 * 1024)})");
  ASSERT_TRUE(hugeObject.error.has_value());
  EXPECT_EQ(hugeObject.error->code(), kWebViewErrorJavaScriptResultUnsupported);

  EXPECT_EQ(evaluate("'x'.repeat(1000).length").result, Value(1000.0));
}

TEST_F(WebViewTest, ACommandLinkClickedByTheScriptIsOfferedAndCancelledQuietly) {
  delegate_->cancelScheme = "ovad:";
  loadAndWait("<html><body><a id='ad' href='ovad://click?target=store&amp;id=7'>tap</a></body></html>");
  const std::size_t actionsBefore = delegate_->actions.size();

  evaluate("document.getElementById('ad').click()");
  ASSERT_TRUE(waitFor([&] { return delegate_->actions.size() > actionsBefore; }));
  const WebNavigationAction& click = delegate_->actions.back();
  EXPECT_EQ(click.url, "ovad://click?target=store&id=7");
  EXPECT_EQ(click.type, WebNavigationType::LinkActivated);
  EXPECT_FALSE(click.opensNewWindow);

  // The cancelled link leaves the page where it was, and says nothing more.
  EXPECT_EQ(evaluate("location.href").result, Value(kBaseURL));
  EXPECT_TRUE(delegate_->failures.empty());
  EXPECT_EQ(delegate_->started, 1);
}

TEST_F(WebViewTest, ADecisionMayComeLaterAndOneDroppedUnansweredCancels) {
  testserver::TestServer server;
  server.start();
  server.on("/next", testserver::Response::text(200, "next"));
  loadAndWait("<html><body><a id='next' href='" + server.url("next") + "'>next</a></body></html>");

  delegate_->holdDecisions = true;
  evaluate("document.getElementById('next').click()");
  ASSERT_TRUE(waitFor([&] { return delegate_->heldDecisions.size() == 1; }));
  delegate_->heldDecisions.clear();
  bool settled = false;
  DispatchQueue::main()->async([&] { settled = true; });
  ASSERT_TRUE(waitFor([&] { return settled; }));
  EXPECT_EQ(evaluate("location.href").result, Value(kBaseURL)) << "a dropped decision cancels";
  EXPECT_TRUE(server.requests().empty());

  evaluate("document.getElementById('next').click()");
  ASSERT_TRUE(waitFor([&] { return delegate_->heldDecisions.size() == 1; }));
  WebPolicyDecisionHandler later = std::move(delegate_->heldDecisions.front());
  delegate_->heldDecisions.clear();
  delegate_->holdDecisions = false;
  later(WebNavigationPolicy::Allow);
  later(WebNavigationPolicy::Cancel);  // a second answer changes nothing
  ASSERT_TRUE(waitFor([&] { return view_->url() == server.url("next") && !view_->isLoading(); }));
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(WebViewTest, APageOpeningThousandsOfLinksHasEachDecidedAndTheLoopStaysFree) {
  delegate_->cancelScheme = "ovad:";
  loadAndWait("<html><body><a id='ad' href='ovad://click'>tap</a></body></html>");
  const std::size_t actionsBefore = delegate_->actions.size();
  evaluate("for (let i = 0; i < 2000; ++i) document.getElementById('ad').click();");
  bool taskRan = false;
  DispatchQueue::main()->async([&] { taskRan = true; });
  EXPECT_TRUE(waitFor([&] { return taskRan; }));
  EXPECT_EQ(evaluate("location.href").result, Value(kBaseURL));
  // The engine may fold clicks made while one decision is pending; every one
  // it offers is a cancelled command link.
  EXPECT_GT(delegate_->actions.size(), actionsBefore);
  for (std::size_t at = actionsBefore; at < delegate_->actions.size(); ++at) {
    EXPECT_EQ(delegate_->actions[at].url, "ovad://click");
  }
}

TEST_F(WebViewTest, AFailedLoadIsReportedAsProvisionalWithItsURLAndNeverAsFinished) {
  testserver::TestServer server;
  server.start();
  server.on("/ad", testserver::Response::dropped());
  const std::string url = server.url("ad");

  view_->loadURL(url);
  ASSERT_TRUE(waitFor([&] { return !delegate_->failures.empty(); }));
  const RecordedFailure& failure = delegate_->failures.front();
  EXPECT_TRUE(failure.provisional);
  EXPECT_FALSE(failure.error.localizedDescription().empty());
  const Value* failingURL = failure.error.userInfo().find(kWebViewFailingURLStringKey);
  ASSERT_NE(failingURL, nullptr);
  EXPECT_EQ(*failingURL, Value(url));

  // A later marker task proves nothing else was queued behind the failure.
  bool settled = false;
  DispatchQueue::main()->async([&] { settled = true; });
  ASSERT_TRUE(waitFor([&] { return settled; }));
  EXPECT_EQ(delegate_->finished, 0);
}

TEST_F(WebViewTest, APageThatNeverFinishesKeepsTheLoopFreeAndStopsWithAFailure) {
  testserver::TestServer server;
  server.start();
  server.on("/slow", testserver::Response::text(200, "late", std::chrono::minutes(5)));

  view_->loadURL(server.url("slow"));
  ASSERT_TRUE(waitFor([&] { return delegate_->started == 1; }));
  ASSERT_TRUE(waitFor([&] { return !server.requests().empty(); }));
  EXPECT_TRUE(view_->isLoading());

  bool taskRan = false;
  DispatchQueue::main()->async([&] { taskRan = true; });
  ASSERT_TRUE(waitFor([&] { return taskRan; })) << "the main queue runs while the page loads";

  view_->stopLoading();
  ASSERT_TRUE(waitFor([&] { return !delegate_->failures.empty(); }));
  EXPECT_TRUE(delegate_->failures.front().provisional);
  EXPECT_FALSE(view_->isLoading());
  EXPECT_EQ(delegate_->finished, 0);
}

TEST_F(WebViewTest, APageNavigatingInALoopLeavesTheLoopFreeAndIsReplacedByTheNextLoad) {
  testserver::TestServer server;
  server.start();
  testserver::Response page;
  page.headers = {{"Content-Type", "text/html"}};
  page.body = "<html><body><script>location.replace('/loop?' + Date.now());</script></body></html>";
  server.on("/loop", page);

  view_->loadURL(server.url("loop"));
  ASSERT_TRUE(waitFor([&] { return server.requests().size() >= 5; }));
  bool taskRan = false;
  DispatchQueue::main()->async([&] { taskRan = true; });
  ASSERT_TRUE(waitFor([&] { return taskRan; }));

  const int finishedBefore = delegate_->finished;
  view_->loadHTMLString("<html><head><title>Calm</title></head></html>", kBaseURL);
  ASSERT_TRUE(waitFor([&] { return evaluate("document.title").result == Value("Calm") && !view_->isLoading(); }));
  EXPECT_GT(delegate_->finished, finishedBefore);
}

TEST_F(WebViewTest, HistoryMovesBackAndForthBetweenServedPages) {
  testserver::TestServer server;
  server.start();
  testserver::Response page;
  page.headers = {{"Content-Type", "text/html"}};
  page.body = "<html><body><a id='next' href='two'>next</a></body></html>";
  server.on("/one", page);
  page.body = "<html><body>two</body></html>";
  server.on("/two", page);

  view_->loadURL(server.url("one"));
  ASSERT_TRUE(waitFor([&] { return delegate_->finished == 1; }));
  EXPECT_FALSE(view_->canGoBack());
  evaluate("document.getElementById('next').click()");
  ASSERT_TRUE(waitFor([&] { return delegate_->finished == 2; }));
  EXPECT_EQ(view_->url(), server.url("two"));
  EXPECT_EQ(delegate_->actions.back().type, WebNavigationType::LinkActivated);
  ASSERT_TRUE(view_->canGoBack());

  view_->goBack();
  ASSERT_TRUE(waitFor([&] { return delegate_->finished == 3; }));
  EXPECT_EQ(view_->url(), server.url("one"));
  EXPECT_TRUE(view_->canGoForward());
  EXPECT_EQ(delegate_->actions.back().type, WebNavigationType::BackForward);

  view_->reload();
  ASSERT_TRUE(waitFor([&] { return delegate_->finished == 4; }));
  EXPECT_EQ(delegate_->actions.back().type, WebNavigationType::Reload);
}

// The library takes its web user agent from the engine without a page: it
// must be what a page reports, here one that never loaded anything.
TEST_F(WebViewTest, AViewThatLoadedNothingAnswersTheEnginesUserAgent) {
  const Answer agent = evaluate("(function(){try{return navigator.userAgent}catch(e){return e.toString();}}());");
  EXPECT_FALSE(agent.error.has_value());
  EXPECT_EQ(agent.result, Value(view_->userAgent()));
  const std::optional<std::string> engineAgent = WebEngine::userAgent();
  ASSERT_TRUE(engineAgent.has_value()) << "the view started the engine";
  EXPECT_EQ(agent.result, Value(*engineAgent));
}

TEST_F(WebViewTest, TheCustomUserAgentReachesTheServer) {
  testserver::TestServer server;
  server.start();
  server.on("/ua", testserver::Response::text(200, "ok"));
  EXPECT_NE(view_->userAgent().find("AppleWebKit"), std::string::npos) << view_->userAgent();

  view_->setCustomUserAgent("PlexoraTest/1.0");
  EXPECT_EQ(view_->userAgent(), "PlexoraTest/1.0");
  view_->loadURL(server.url("ua"));
  // The main loop must run meanwhile: the load waits for its navigation
  // decision there.
  ASSERT_TRUE(waitFor([&] { return !server.requests().empty(); }));
  const auto requests = server.requests();
  EXPECT_EQ(requests.front().header("User-Agent"), "PlexoraTest/1.0");
}

TEST_F(WebViewTest, AFrameReadsBackWithThePageBackground) {
  view_->setFrameSize(64, 32);
  loadAndWait("<html><body style='margin:0;background:rgb(200,30,60)'></body></html>");
  std::shared_ptr<Image> frame;
  ASSERT_TRUE(waitFor([&] {
    frame = view_->snapshot();
    return frame && frame->pixelWidth() == 64 && frame->pixelHeight() == 32 &&
           frame->pixel(32, 16) == Pixel{200, 30, 60, 255};
  })) << (frame ? "last frame differs" : "no frame");
  EXPECT_EQ(frame->pixel(0, 0), (Pixel{200, 30, 60, 255}));
  EXPECT_EQ(frame->pixel(63, 31), (Pixel{200, 30, 60, 255}));
}

}  // namespace
}  // namespace plexora::platform
