// The makers tests use to put doubles in the engine's place, and the
// scriptable doubles' timing on the manual clock.
#include "platform/web/WebViewMaker.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "support/doubles/ScriptableWebView.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/web/WebEngine.h"

namespace plexora::platform {
namespace {

using testing::ScriptableSyncWebView;
using testing::ScriptableWebView;

TEST(ScopedWebViewMakerTest, InstalledMakersAnswerUntilTheScopeEndsAndNestedScopesRestoreTheirOuter) {
  std::vector<std::shared_ptr<ScriptableWebView>> outer;
  std::vector<std::shared_ptr<ScriptableSyncWebView>> sync;
  {
    const auto outerScope = ScriptableWebView::install(outer);
    const auto syncScope = ScriptableSyncWebView::install(sync);
    const std::shared_ptr<WebView> first = makeWebView();
    EXPECT_EQ(first, outer.at(0)) << "a sync-only maker keeps the asynchronous one";
    const std::shared_ptr<SyncWebView> firstSync = makeSyncWebView();
    EXPECT_EQ(firstSync, sync.at(0));
    {
      std::vector<std::shared_ptr<ScriptableWebView>> inner;
      const auto innerScope = ScriptableWebView::install(inner);
      const std::shared_ptr<WebView> innerView = makeWebView();
      EXPECT_EQ(innerView, inner.at(0));
    }
    const std::shared_ptr<WebView> second = makeWebView();
    EXPECT_EQ(second, outer.at(1));
  }
  EXPECT_EQ(outer.size(), 2u);
  EXPECT_FALSE(WebEngine::isStarted()) << "doubles never start the engine";
}

TEST(ScriptableWebViewTest, AnswersScriptsOnlyWhenTheManualClockReachesTheDelay) {
  auto clock = std::make_shared<ManualClock>();
  ScopedClock scopedClock(clock);
  ScriptableWebView view;
  view.answerDelay = 0.5;
  view.answers.answer("userAgent", Value("Agent"));
  view.answers.never("hang()");

  std::optional<Value> agent;
  bool hungAnswered = false;
  view.evaluateJavaScript("navigator.userAgent", [&](Value result, std::optional<Error>) { agent = result; });
  view.evaluateJavaScript("hang()", [&](Value, std::optional<Error>) { hungAnswered = true; });
  ASSERT_TRUE(DispatchQueue::settle());
  EXPECT_FALSE(agent.has_value());
  clock->advance(0.5);
  EXPECT_EQ(agent, Value("Agent"));
  clock->advance(60);
  EXPECT_FALSE(hungAnswered);
  EXPECT_EQ(view.scripts, (std::vector<std::string>{"navigator.userAgent", "hang()"}));
}

}  // namespace
}  // namespace plexora::platform
