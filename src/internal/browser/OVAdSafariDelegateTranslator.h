// Serves one system browser controller: records its load timing, reports the
// browsing session when it closes, and turns the close into exactly one
// viewControllerDismissed() for the presenter's delegate.
//
// Attached to its controller (which keeps it alive) while it holds the
// controller; the pair is broken up when the session ends.
//
// Thread safety: main thread only.
// Ownership: see above; the delegate is held weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "internal/browser/OVAdSafariViewController.h"
#include "internal/browser/OVAdSystemBrowserController.h"
#include "internal/browser/data/OVAdBrowserSessionData.h"

namespace plexora {

inline constexpr double kOVAdSafariDismissFallbackSeconds = 1.0;

class OVAdSafariDelegateTranslator final : public OVAdSystemBrowserControllerDelegate,
                                           public OVAdBrowserSessionDataGeneration,
                                           public std::enable_shared_from_this<OVAdSafariDelegateTranslator> {
 public:
  // The translator attached to the controller; with `update`, one made and
  // attached when there is none. None for no controller.
  static std::shared_ptr<OVAdSafariDelegateTranslator> translatorForObject(
      const std::shared_ptr<OVAdSystemBrowserController>& controller, bool update = true);

  void setDelegate(std::weak_ptr<OVAdSafariViewControllerDelegate> delegate) { delegate_ = std::move(delegate); }
  void setURL(platform::URL url) { url_ = std::move(url); }
  void setInlineClientToken(std::string token) { inlineClientToken_ = std::move(token); }
  void setHandlerTimeMs(std::int64_t value) { handlerTimeMs_ = value; }
  void setLoadStartMs(std::int64_t value) { loadStartMs_ = value; }
  const std::shared_ptr<OVAdSystemBrowserController>& safariViewController() const { return safariViewController_; }

  // ---- OVAdSystemBrowserControllerDelegate
  void safariViewControllerDidCompleteInitialLoad(const std::shared_ptr<OVAdSystemBrowserController>& controller,
                                                  bool didLoadSuccessfully) override;
  void safariViewControllerDidFinish(const std::shared_ptr<OVAdSystemBrowserController>& controller) override;
  void safariViewControllerDidDisappear(const std::shared_ptr<OVAdSystemBrowserController>& controller) override;

  // ---- OVAdBrowserSessionDataGeneration
  std::string inlineClientToken() const override { return inlineClientToken_; }
  std::optional<platform::URL> url() const override { return url_; }
  std::int64_t handlerTimeMs() const override { return handlerTimeMs_; }
  std::int64_t loadStartMs() const override { return loadStartMs_; }
  std::int64_t responseEndMs() const override { return responseEndMs_; }
  std::int64_t domContentLoadedMs() const override { return domContentLoadedMs_; }
  std::int64_t scrollReadyMs() const override { return scrollReadyMs_; }
  std::int64_t loadFinishMs() const override { return loadFinishMs_; }

 private:
  void setNotificationCenter(const std::shared_ptr<OVAdSystemBrowserController>& controller);
  // Reports the session (once) and answers whether this call ended it.
  bool endSession();
  void callBackDelegate(const std::shared_ptr<OVAdSystemBrowserController>& controller);

  std::shared_ptr<OVAdSystemBrowserController> safariViewController_;
  std::weak_ptr<OVAdSafariViewControllerDelegate> delegate_;
  std::string inlineClientToken_;
  std::optional<platform::URL> url_;
  std::int64_t handlerTimeMs_ = 0;
  std::int64_t loadStartMs_ = 0;
  std::int64_t responseEndMs_ = 0;
  std::int64_t domContentLoadedMs_ = 0;
  std::int64_t scrollReadyMs_ = 0;
  std::int64_t loadFinishMs_ = 0;
  bool sessionEnded_ = false;
  bool delegateCalledBack_ = false;
};

}  // namespace plexora
