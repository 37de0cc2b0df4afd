// What the engine's tests share: a delegate that records what it hears, and
// waits on the real main loop with room for a loaded machine.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/Error.h"
#include "platform/web/SyncWebView.h"
#include "platform/web/WebView.h"

namespace plexora::platform::testing {

// The engine starts helper processes; on a busy two-core machine that alone
// takes seconds.
inline constexpr double kEngineWaitSeconds = 60.0;

inline bool waitFor(const std::function<bool()>& done) {
  return MainLoop::instance().runUntil(done, kEngineWaitSeconds);
}

struct RecordedFailure {
  Error error;
  bool provisional;
};

class RecordingNavigationDelegate final : public WebViewNavigationDelegate {
 public:
  void decidePolicyForNavigationAction(WebView&, const WebNavigationAction& action,
                                       WebPolicyDecisionHandler decisionHandler) override {
    actions.push_back(action);
    if (holdDecisions) {
      heldDecisions.push_back(std::move(decisionHandler));
      return;
    }
    decisionHandler(cancelScheme && action.url.rfind(*cancelScheme, 0) == 0 ? WebNavigationPolicy::Cancel
                                                                           : WebNavigationPolicy::Allow);
  }
  void didStartProvisionalNavigation(WebView&) override { ++started; }
  void didFinishNavigation(WebView&) override { ++finished; }
  void didFailProvisionalNavigation(WebView&, const Error& error) override { failures.push_back({error, true}); }
  void didFailNavigation(WebView&, const Error& error) override { failures.push_back({error, false}); }

  // Navigations to URLs beginning with this are cancelled.
  std::optional<std::string> cancelScheme;
  // Keep the decisions unanswered, for the test to answer or drop.
  bool holdDecisions = false;
  std::vector<WebPolicyDecisionHandler> heldDecisions;
  std::vector<WebNavigationAction> actions;
  int started = 0;
  int finished = 0;
  std::vector<RecordedFailure> failures;
};

class RecordingSyncDelegate final : public SyncWebViewDelegate {
 public:
  bool shouldStartLoad(SyncWebView&, const WebNavigationAction& action) override {
    actions.push_back(action);
    return action.url.rfind("ovad:", 0) != 0;
  }
  void didStartLoad(SyncWebView&) override { ++started; }
  void didFinishLoad(SyncWebView&) override { ++finished; }
  void didFailLoad(SyncWebView&, const Error& error) override { failures.push_back(error); }

  std::vector<WebNavigationAction> actions;
  int started = 0;
  int finished = 0;
  std::vector<Error> failures;
};

}  // namespace plexora::platform::testing
