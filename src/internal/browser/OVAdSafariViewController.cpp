#include "internal/browser/OVAdSafariViewController.h"

#include "platform/dispatch/Clock.h"

namespace plexora {

void OVAdSafariViewController::presentSafariViewControllerWithURL(
    const platform::URL& url, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController,
    const std::string& inlineClientToken, std::int64_t handlerTimeMs,
    const std::weak_ptr<OVAdSafariViewControllerDelegate>& delegate) {
  presenter()(url, rootViewController, inlineClientToken, handlerTimeMs, delegate);
}

std::int64_t OVAdSafariViewController::currentTimeMs() {
  return static_cast<std::int64_t>(platform::Clock::current()->wallTime() * 1000.0);
}

}  // namespace plexora
