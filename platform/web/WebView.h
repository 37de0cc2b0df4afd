// The asynchronous web view: scripts answer later on the main queue, and every
// navigation waits for the delegate's decision, which may cancel it (so a
// page's "ovad://..." command links can be caught before they load).
//
//   auto view = makeWebView();
//   view->setNavigationDelegate(delegate);
//   view->loadHTMLString(markup, "https://ads.example/");
//   ... delegate: decidePolicyForNavigationAction, didStartProvisionalNavigation,
//       didFinishNavigation or didFail(Provisional)Navigation ...
//   view->evaluateJavaScript("document.title", [](Value title, std::optional<Error> error) { ... });
//
// Load failures carry the engine's error domain and code, the engine's text
// under kLocalizedDescriptionKey and the URL under kWebViewFailingURLStringKey.
// A cancelled decision ends that navigation quietly (no failure).
//
// Thread safety: main thread only; every delegate call and completion runs on
// the main queue, never inside the call that caused it.
// Ownership: as WebContentView. A completion still pending when its view goes
// still runs; delegate calls still queued then are dropped.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/value/Value.h"
#include "platform/web/WebContentView.h"
#include "platform/web/WebNavigation.h"

namespace plexora::platform {

class WebView;

class WebViewNavigationDelegate {
 public:
  virtual ~WebViewNavigationDelegate() = default;
  // Every navigation, of the page or of one of its frames, and every
  // new-window request. The default allows it.
  virtual void decidePolicyForNavigationAction(WebView& webView, const WebNavigationAction& action,
                                               WebPolicyDecisionHandler decisionHandler);
  virtual void didStartProvisionalNavigation(WebView&) {}
  virtual void didFinishNavigation(WebView&) {}
  // The load failed before the new page replaced the old one.
  virtual void didFailProvisionalNavigation(WebView&, const Error&) {}
  // The page failed after it began to show.
  virtual void didFailNavigation(WebView&, const Error&) {}
};

class WebView : public WebContentView {
 public:
  // The result (null for undefined and null) or, when the script threw or its
  // result cannot be handed over, an error of kWebViewErrorDomain.
  using JavaScriptCompletion = std::function<void(Value result, std::optional<Error> error)>;

  virtual void evaluateJavaScript(const std::string& script, JavaScriptCompletion completion) = 0;
  virtual void setNavigationDelegate(std::weak_ptr<WebViewNavigationDelegate> delegate) = 0;
};

// A new view of the web engine (started on first use), unless a test installed
// another maker: in the library's shared web process, or for other sites'
// pages in a process of its own. Main thread only.
std::shared_ptr<WebView> makeWebView(WebProcessSharing sharing = WebProcessSharing::Shared);

}  // namespace plexora::platform
