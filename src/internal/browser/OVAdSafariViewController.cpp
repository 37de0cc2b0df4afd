#include "internal/browser/OVAdSafariViewController.h"

#include <mutex>

#include "internal/browser/OVAdSafariDelegateTranslator.h"
#include "internal/browser/OVAdSystemBrowserController.h"
#include "internal/browser/OVAdUIWebViewBrowserController.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "internal/browser/OVAdWKWebViewBrowserController.h"
#include "internal/browser/data/OVAdBrowserSessionData.h"
#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kCreatingSystemBrowserFormat = "Creating SFSafariViewController for url: %s";
constexpr const char* kPresentedSystemBrowserFormat = "Presented SFSafariViewController %p";
constexpr const char* kPresentedWKBrowserFormat = "Presented OVAdWKWebViewBrowserController %p";
constexpr const char* kPresentedUIBrowserFormat = "Presented OVAdUIWebViewBrowserController %p";
constexpr const char* kNoPresenterMessage = "No view controller to present the browser from";

// Presents the system browser when one can be made; answers whether it did.
bool presentSystemBrowser(const platform::URL& url, const std::shared_ptr<platform::ViewController>& presenter,
                          const std::string& inlineClientToken, std::int64_t handlerTimeMs,
                          const std::weak_ptr<OVAdSafariViewControllerDelegate>& delegate) {
  OV_LOG(kOVAdLogLevelDebug, kCreatingSystemBrowserFormat, url.absoluteString().c_str());
  const std::shared_ptr<OVAdSystemBrowserController> controller = OVAdSystemBrowserController::maker()(url);
  if (!controller) {
    return false;
  }
  const auto translator = OVAdSafariDelegateTranslator::translatorForObject(controller);
  translator->setDelegate(delegate);
  translator->setURL(url);
  translator->setInlineClientToken(inlineClientToken);
  translator->setHandlerTimeMs(handlerTimeMs);
  translator->setLoadStartMs(OVAdSafariViewController::currentTimeMs());
  controller->setDelegate(translator);
  if (const auto listener = delegate.lock()) listener->willPresentViewController(controller);
  const std::weak_ptr<OVAdSystemBrowserController> weakController = controller;
  presenter->present(controller, true, [weakController, delegate] {
    const auto presented = weakController.lock();
    OV_LOG(kOVAdLogLevelDebug, kPresentedSystemBrowserFormat, static_cast<const void*>(presented.get()));
    if (const auto listener = delegate.lock(); listener && presented) listener->viewControllerCompleted(presented);
  });
  return true;
}

// Presents one of the library's own browsers and loads the link once the
// presentation has finished.
void presentOwnBrowser(const std::shared_ptr<OVAdBrowserViewController>& browser, const char* presentedFormat,
                       const platform::URL& url, const std::shared_ptr<platform::ViewController>& presenter,
                       const std::string& inlineClientToken, std::int64_t handlerTimeMs,
                       const std::weak_ptr<OVAdSafariViewControllerDelegate>& delegate) {
  browser->setDelegate(delegate);
  browser->setInlineClientToken(inlineClientToken);
  browser->setHandlerTimeMs(handlerTimeMs);
  if (const auto listener = delegate.lock()) listener->willPresentViewController(browser);
  const std::weak_ptr<OVAdBrowserViewController> weakBrowser = browser;
  presenter->present(browser, true, [weakBrowser, presentedFormat, delegate, url] {
    const auto presented = weakBrowser.lock();
    OV_LOG(kOVAdLogLevelDebug, presentedFormat, static_cast<const void*>(presented.get()));
    if (!presented) {
      return;
    }
    if (const auto listener = delegate.lock()) listener->viewControllerCompleted(presented);
    presented->loadURL(url);
  });
}

void presentBrowser(const platform::URL& url, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
                    const std::string& inlineClientToken, std::int64_t handlerTimeMs,
                    const std::weak_ptr<OVAdSafariViewControllerDelegate>& delegate) {
  const std::shared_ptr<platform::ViewController> presenter =
      rootViewController ? rootViewController->currentViewController() : nullptr;
  if (!presenter) {
    OV_LOG(kOVAdLogLevelError, "%s", kNoPresenterMessage);
    return;
  }
  if (OVAdSafariViewController::supportsSafariServices() &&
      presentSystemBrowser(url, presenter, inlineClientToken, handlerTimeMs, delegate)) {
    return;
  }
  if (OVAdSafariViewController::supportsWebKit()) {
    presentOwnBrowser(std::make_shared<OVAdWKWebViewBrowserController>(), kPresentedWKBrowserFormat, url, presenter,
                      inlineClientToken, handlerTimeMs, delegate);
  } else {
    presentOwnBrowser(std::make_shared<OVAdUIWebViewBrowserController>(), kPresentedUIBrowserFormat, url, presenter,
                      inlineClientToken, handlerTimeMs, delegate);
  }
}

}  // namespace

void OVAdSafariViewController::presentSafariViewControllerWithURL(
    const platform::URL& url, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
    const std::string& inlineClientToken, std::int64_t handlerTimeMs,
    const std::weak_ptr<OVAdSafariViewControllerDelegate>& delegate) {
  presenter()(url, rootViewController, inlineClientToken, handlerTimeMs, delegate);
}

std::int64_t OVAdSafariViewController::currentTimeMs() { return OVAdBrowserSessionData::currentTimeMs(); }

bool OVAdSafariViewController::supportsSafariServices() { return OVAdSystemBrowserController::maker().isInstalled(); }

bool OVAdSafariViewController::supportsWebKit() { return webKitAvailability()(); }

OVAdSafariViewController::Availability& OVAdSafariViewController::webKitAvailability() {
  static Availability instance;
  static std::once_flag installed;
  std::call_once(installed, [] { instance.install([] { return true; }); });
  return instance;
}

OVAdSafariViewController::Presenter& OVAdSafariViewController::presenter() {
  static Presenter instance;
  static std::once_flag installed;
  std::call_once(installed, [] { instance.install(presentBrowser); });
  return instance;
}

}  // namespace plexora
