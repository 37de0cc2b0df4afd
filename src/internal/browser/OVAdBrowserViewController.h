// What both of the library's full-screen browsers share, whichever web view
// shows the page: a 44-point toolbar under the page (back, forward, refresh
// or a spinner while loading, done), the status bar hidden while shown, web
// pages only (any other link goes to the system and closes the browser),
// the load's timing with its ready-state poll, and the browsing-session
// event.
//
// A browser is presented by OVAdSafariViewController, which sets the
// delegate, token and handler time before presenting and calls loadURL()
// once the presentation has finished. The session is reported once, when
// the browser goes away (done, or dismissed by anyone else); not when a
// non-web link closed it.
//
// Subclasses make the page's web view in makePage() and tell the base of
// the page's load through the loadStarted/Finished/Failed steps and
// allowsLink().
//
// Thread safety: main thread only.
// Ownership: whoever presents the controller owns it; it owns its web view
// and views, and holds its delegate weakly. The ready-state poll holds the
// controller weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "internal/browser/OVAdSafariViewController.h"
#include "internal/browser/data/OVAdBrowserSessionData.h"
#include "platform/ui/Button.h"
#include "platform/ui/ViewController.h"
#include "platform/web/WebContentView.h"

namespace plexora {

class OVAdTimer;

inline constexpr double kOVAdBrowserToolbarHeight = 44.0;
inline constexpr double kOVAdBrowserReadyStatePollInterval = 0.1;
inline constexpr const char* kOVAdBrowserReadyStateScript = "document.readyState";
inline constexpr const char* kOVAdBrowserReadyStateComplete = "complete";
inline constexpr const char* kOVAdBrowserClearContentScript = "document.open();document.close()";

class OVAdBrowserViewController : public platform::ViewController, public OVAdBrowserSessionDataGeneration {
 public:
  // What the toolbar shows, left to right.
  enum class ToolbarItem { Back, FlexibleSpace, Forward, Refresh, Spinner, Done };
  // Where the shown one of refresh and spinner sits.
  static constexpr std::size_t kLoadingItemIndex = 4;

  ~OVAdBrowserViewController() override;

  void setDelegate(std::weak_ptr<OVAdSafariViewControllerDelegate> delegate) { delegate_ = std::move(delegate); }
  void setInlineClientToken(std::string token) { inlineClientToken_ = std::move(token); }
  void setHandlerTimeMs(std::int64_t handlerTimeMs) { handlerTimeMs_ = handlerTimeMs; }

  // Starts the session's load timing (first call only) and loads the link.
  void loadURL(const platform::URL& url);
  // Empties the page.
  virtual void clearContent() = 0;

  void backButtonClicked();
  void forwardButtonClicked();
  void refreshButtonClicked();
  // Reports the session and closes the browser.
  void doneButtonClicked();

  // The web view under the bounds less the toolbar at the bottom.
  void viewWillLayoutSubviews();

  // ---- ViewController
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  bool prefersStatusBarHidden() const override { return true; }
  platform::InterfaceOrientation preferredInterfaceOrientationForPresentation() const override {
    return platform::InterfaceOrientation::Portrait;
  }

  // ---- OVAdBrowserSessionDataGeneration
  std::string inlineClientToken() const override { return inlineClientToken_; }
  std::optional<platform::URL> url() const override { return url_; }
  std::int64_t handlerTimeMs() const override { return handlerTimeMs_; }
  std::int64_t loadStartMs() const override { return loadStartMs_; }
  std::int64_t responseEndMs() const override { return responseEndMs_; }
  std::int64_t domContentLoadedMs() const override { return domContentLoadedMs_; }
  std::int64_t scrollReadyMs() const override { return scrollReadyMs_; }
  std::int64_t loadFinishMs() const override { return loadFinishMs_; }

  // ---- Views (after the view loaded)
  const std::shared_ptr<platform::View>& toolBar() const { return toolBar_; }
  const std::shared_ptr<platform::Button>& backButton() const { return backButton_; }
  const std::shared_ptr<platform::Button>& forwardButton() const { return forwardButton_; }
  const std::shared_ptr<platform::Button>& refreshButton() const { return refreshButton_; }
  const std::shared_ptr<platform::View>& spinnerButton() const { return spinnerButton_; }
  const std::shared_ptr<platform::Button>& doneButton() const { return doneButton_; }
  const std::vector<ToolbarItem>& toolbarItems() const { return toolbarItems_; }
  bool isStatusBarHidden() const { return statusBarHidden_; }

 protected:
  OVAdBrowserViewController() = default;

  // Makes the page's web view with this controller as its delegate; null
  // when none can be made.
  virtual std::shared_ptr<platform::WebContentView> makePage() = 0;
  // Asks the page for its ready state and hands a string answer to
  // readyStateAnswered().
  virtual void checkReadyState() = 0;

  // The steps of the page's load.
  void loadStarted();
  void loadFinished();
  void loadFailed();
  void readyStateAnswered(const std::string& readyState);
  // Whether a navigation to `url` may load in the browser: web pages only.
  // Any other link is handed to the system and, when it opened, the
  // browser closes without a session.
  bool allowsLink(const std::string& url);
  void updateButtons();

 private:
  std::shared_ptr<OVAdBrowserViewController> sharedBrowser();
  void startDOMContentLoadedTimer();
  void stopDOMContentLoadedTimer();
  // Reports the session unless it already ended; once only.
  void endSession(bool report);
  // Tells the delegate the browser is gone; once only.
  void notifyDismissed();
  static void setIfUnset(std::int64_t& field);

  std::weak_ptr<OVAdSafariViewControllerDelegate> delegate_;
  std::string inlineClientToken_;
  std::optional<platform::URL> url_;
  std::int64_t handlerTimeMs_ = 0;
  std::int64_t loadStartMs_ = 0;
  std::int64_t responseEndMs_ = 0;
  std::int64_t domContentLoadedMs_ = 0;
  std::int64_t scrollReadyMs_ = 0;
  std::int64_t loadFinishMs_ = 0;
  bool statusBarHidden_ = false;
  bool sessionEnded_ = false;
  bool delegateToldDismissed_ = false;

  std::shared_ptr<platform::WebContentView> page_;
  std::shared_ptr<platform::View> toolBar_;
  std::shared_ptr<platform::Button> backButton_;
  std::shared_ptr<platform::Button> forwardButton_;
  std::shared_ptr<platform::Button> refreshButton_;
  std::shared_ptr<platform::View> spinnerButton_;
  std::shared_ptr<platform::Button> doneButton_;
  std::vector<ToolbarItem> toolbarItems_;
  std::shared_ptr<OVAdTimer> domContentLoadedTimer_;
};

}  // namespace plexora
