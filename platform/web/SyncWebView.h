// The synchronous web view: a script's result comes back from the call, and
// the delegate answers at once whether a navigation may start.
//
// evaluateJavaScript() waits for the engine by iterating its GLib context in
// a nested loop, bounded by the timeout. Only the engine's sources run there:
// main-queue tasks (and so every delegate call of every view) wait until the
// outer main loop runs again, so nothing re-enters the caller. A page that
// never answers costs at most the timeout, after which the call answers a
// kWebViewErrorJavaScriptTimedOut error.
//
// Thread safety: main thread only; delegate calls arrive on the main queue.
// Ownership: as WebContentView.
#pragma once

#include <memory>
#include <string>
#include <variant>

#include "platform/foundation/Error.h"
#include "platform/value/Value.h"
#include "platform/web/WebContentView.h"
#include "platform/web/WebNavigation.h"

namespace plexora::platform {

class SyncWebView;

class SyncWebViewDelegate {
 public:
  virtual ~SyncWebViewDelegate() = default;
  // YES lets the navigation load. The default allows every one.
  virtual bool shouldStartLoad(SyncWebView&, const WebNavigationAction&) { return true; }
  virtual void didStartLoad(SyncWebView&) {}
  virtual void didFinishLoad(SyncWebView&) {}
  virtual void didFailLoad(SyncWebView&, const Error&) {}
};

inline constexpr double kSyncWebViewDefaultScriptTimeout = 5.0;

class SyncWebView : public WebContentView {
 public:
  // The result (null for undefined and null), or the error of a script that
  // threw, whose result cannot be handed over, or that timed out.
  using JavaScriptAnswer = std::variant<Value, Error>;

  virtual JavaScriptAnswer evaluateJavaScript(const std::string& script,
                                              double timeoutSeconds = kSyncWebViewDefaultScriptTimeout) = 0;
  virtual void setDelegate(std::weak_ptr<SyncWebViewDelegate> delegate) = 0;
};

// A new view of the web engine (started on first use), unless a test installed
// another maker: in the library's shared web process, or for other sites'
// pages in a process of its own. Main thread only.
std::shared_ptr<SyncWebView> makeSyncWebView(WebProcessSharing sharing = WebProcessSharing::Shared);

}  // namespace plexora::platform
