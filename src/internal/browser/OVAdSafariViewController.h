// Opens an ad's http or https link in an in-app browser presented over the
// host's view controller, and reports the browsing session against the ad's
// client token when the user leaves it.
//
// A class-only service: the system browser when the platform has one
// (OVAdSystemBrowserController::maker() installed), else the library's own
// browser on the asynchronous web view when it can be made
// (supportsWebKit()), else the one on the synchronous web view. Tests may
// install another presenter (presenter()).
//
// Thread safety: main thread only, except currentTimeMs (any thread).
// Ownership: the browser holds its delegate weakly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/URL.h"
#include "util/OVAdInstalledFunction.h"

namespace plexora::platform {
class ViewController;
}

namespace plexora {

class OVAdViewControllerProxy;

// Told about the browser's life; each operation is optional (the base does
// nothing) and gets the browser's view controller.
class OVAdSafariViewControllerDelegate {
 public:
  virtual ~OVAdSafariViewControllerDelegate() = default;

  // About to be presented.
  virtual void willPresentViewController(const std::shared_ptr<platform::ViewController>& viewController) {}
  // The presentation has finished.
  virtual void viewControllerCompleted(const std::shared_ptr<platform::ViewController>& viewController) {}
  // The user closed the browser.
  virtual void viewControllerDismissed(const std::shared_ptr<platform::ViewController>& viewController) {}
};

class OVAdSafariViewController final {
 public:
  using Presenter = OVAdInstalledFunction<void(
      const platform::URL& url, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
      const std::string& inlineClientToken, std::int64_t handlerTimeMs,
      const std::weak_ptr<OVAdSafariViewControllerDelegate>& delegate)>;

  OVAdSafariViewController() = delete;

  // Presents the browser for `url` from the controller the proxy resolves
  // to; `handlerTimeMs` (milliseconds since 1970) is when the ad's click was
  // handled.
  static void presentSafariViewControllerWithURL(const platform::URL& url,
                                                 const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
                                                 const std::string& inlineClientToken, std::int64_t handlerTimeMs,
                                                 const std::weak_ptr<OVAdSafariViewControllerDelegate>& delegate);
  // Milliseconds since 1970 on the current Clock, truncated.
  static std::int64_t currentTimeMs();
  // Whether a system browser controller can be made.
  static bool supportsSafariServices();
  // Whether the library's browser on the asynchronous web view can be made:
  // on this platform always, unless a test installs another answer
  // (webKitAvailability()).
  static bool supportsWebKit();
  using Availability = OVAdInstalledFunction<bool()>;
  static Availability& webKitAvailability();

  // The library's presentation unless a test installed another.
  static Presenter& presenter();
};

}  // namespace plexora
