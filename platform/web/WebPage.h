// One page of the web engine: a WebKit view on an fdo backend whose frames
// arrive as shared-memory buffers. The engine-backed WebView and SyncWebView
// are thin shells around it.
//
// Navigation events are queued on the main queue (never run inside the
// engine's own callbacks), so they arrive in order like every other callback
// and a nested wait for a script (SyncWebView) never re-enters a delegate.
// Script results, by contrast, are handed over inside the engine's callback:
// the caller decides whether to queue them.
//
// A shared page runs in the one web process of the library's pages
// (SharedWebProcess). When a
// page's web process dies, its view reports the load failed with
// kWebViewErrorWebProcessTerminated (not provisional once the page had begun
// to show); a shared page's next load joins a running shared process again.
//
// Thread safety: main thread only; makes the engine start.
// Ownership: the page owns its WebKit view. Events already queued when the
// page goes are dropped, and a navigation decision not yet answered is
// cancelled; a script evaluation still pending then still answers (the
// engine keeps the view until it has).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/ui/Image.h"
#include "platform/value/Value.h"
#include "platform/web/WebContentView.h"
#include "platform/web/WebNavigation.h"

namespace plexora::platform::detail {

struct WebPageEvents {
  std::function<void(const WebNavigationAction& action, WebPolicyDecisionHandler decide)> decidePolicy;
  std::function<void()> started;
  std::function<void()> finished;
  // `provisional`: the load failed before anything of the page was shown.
  std::function<void(const Error& error, bool provisional)> failed;
};

using ScriptCompletion = std::function<void(Value result, std::optional<Error> error)>;

class WebPage final {
 public:
  WebPage(std::uint32_t pixelWidth, std::uint32_t pixelHeight, WebPageEvents events, WebProcessSharing sharing);
  ~WebPage();
  WebPage(const WebPage&) = delete;
  WebPage& operator=(const WebPage&) = delete;

  void loadHTML(const std::string& html, const std::string& baseURL);
  void loadURL(const std::string& url);
  // The completion runs inside the engine's callback on the main thread.
  void evaluate(const std::string& script, ScriptCompletion completion);

  void goBack();
  void goForward();
  void reload();
  void stopLoading();
  bool canGoBack() const;
  bool canGoForward() const;
  bool isLoading() const;
  std::string url() const;

  std::string userAgent() const;
  // An empty agent restores the engine's own.
  void setCustomUserAgent(const std::string& userAgent);

  // Zero sizes become one pixel: the engine draws nothing into an empty view.
  void setSize(std::uint32_t pixelWidth, std::uint32_t pixelHeight);
  // The last frame the engine drew, or null before the first.
  std::shared_ptr<Image> snapshot() const;
  // The mouse's first button at a pixel of the page.
  void sendPointer(WebPointerPhase phase, std::int32_t x, std::int32_t y);

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace plexora::platform::detail
