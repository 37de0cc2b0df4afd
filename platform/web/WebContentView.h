// What both web view flavours share: loading, history, state, the user agent,
// the size of the page and a picture of it. WebView (asynchronous scripts)
// and SyncWebView (scripts answered at once) add their delegates and their
// way of running scripts.
//
// Thread safety: main thread only.
// Ownership: the host owns a view through a shared_ptr; its delegate is held
// weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/Image.h"

namespace plexora::platform {

enum class WebPointerPhase { Press, Move, Release };

// Which web process a new view's pages run in. The library's own pages (its
// ads) share one, as a phone's web views share their app's renderer; a view
// that shows other sites' pages (the in-app browser, a store's page) gets a
// process of its own, so such a site never runs beside, or takes down, an ad.
enum class WebProcessSharing { Shared, OwnProcess };

class WebContentView {
 public:
  virtual ~WebContentView() = default;

  // `baseURL` resolves the markup's relative links and is its origin; empty
  // for none.
  virtual void loadHTMLString(const std::string& html, const std::string& baseURL) = 0;
  virtual void loadURL(const std::string& url) = 0;

  virtual void goBack() = 0;
  virtual void goForward() = 0;
  virtual void reload() = 0;
  virtual void stopLoading() = 0;
  virtual bool canGoBack() const = 0;
  virtual bool canGoForward() const = 0;
  virtual bool isLoading() const = 0;
  // The page's current URL; empty before the first load.
  virtual std::string url() const = 0;

  // The agent the page's requests carry.
  virtual std::string userAgent() const = 0;
  // Replaces the engine's agent; an empty agent restores it.
  virtual void setCustomUserAgent(const std::string& userAgent) = 0;

  // In pixels; the page lays itself out again at the new size.
  virtual void setFrameSize(std::uint32_t pixelWidth, std::uint32_t pixelHeight) = 0;
  // The last frame drawn, or null before the page drew anything.
  virtual std::shared_ptr<Image> snapshot() const = 0;

  // The user's pointer over the page, at a pixel of its frame: a press, a
  // move and a release there work the page as a mouse's first button would
  // (a link is followed). Views without a page to work ignore it.
  virtual void sendPointer(WebPointerPhase /*phase*/, std::int32_t /*x*/, std::int32_t /*y*/) {}
};

}  // namespace plexora::platform
