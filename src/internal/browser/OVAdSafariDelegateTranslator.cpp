#include "internal/browser/OVAdSafariDelegateTranslator.h"

#include <utility>

#include "platform/dispatch/DispatchQueue.h"
#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kInitialLoadFormat = "SFSafariViewController load completed successfully? %d";
constexpr const char* kDismissingFormat = "Dismissing SFSafariViewController %p";
constexpr const char* kCallingBackFormat = "Calling back delegate %p for SFSafariViewController %p and cleaning up.";

}  // namespace

std::shared_ptr<OVAdSafariDelegateTranslator> OVAdSafariDelegateTranslator::translatorForObject(
    const std::shared_ptr<OVAdSystemBrowserController>& controller, bool update) {
  if (!controller) {
    return nullptr;
  }
  if (const auto& attached = controller->attachedTranslator()) {
    return attached;
  }
  if (!update) {
    return nullptr;
  }
  auto translator = std::make_shared<OVAdSafariDelegateTranslator>();
  translator->setNotificationCenter(controller);
  return translator;
}

void OVAdSafariDelegateTranslator::setNotificationCenter(
    const std::shared_ptr<OVAdSystemBrowserController>& controller) {
  safariViewController_ = controller;
  controller->attachTranslator(shared_from_this());
}

void OVAdSafariDelegateTranslator::safariViewControllerDidCompleteInitialLoad(
    const std::shared_ptr<OVAdSystemBrowserController>&, bool didLoadSuccessfully) {
  OV_LOG(kOVAdLogLevelDebug, kInitialLoadFormat, didLoadSuccessfully ? 1 : 0);
  if (!didLoadSuccessfully) {
    return;
  }
  const std::int64_t now = OVAdSafariViewController::currentTimeMs();
  responseEndMs_ = now;
  domContentLoadedMs_ = now;
  scrollReadyMs_ = now;
  loadFinishMs_ = now;
}

void OVAdSafariDelegateTranslator::safariViewControllerDidFinish(
    const std::shared_ptr<OVAdSystemBrowserController>& controller) {
  OV_LOG(kOVAdLogLevelDebug, kDismissingFormat, static_cast<const void*>(controller.get()));
  endSession();
  // Whichever comes first, the dismissal's completion or the fallback a
  // second later (for a dismissal that never completes), calls back; the
  // other finds it done.
  const auto self = shared_from_this();
  auto completion = [self, controller] { self->callBackDelegate(controller); };
  if (controller) {
    controller->dismiss(true, completion);
  }
  platform::DispatchQueue::main()->after(kOVAdSafariDismissFallbackSeconds, completion);
}

void OVAdSafariDelegateTranslator::safariViewControllerDidDisappear(
    const std::shared_ptr<OVAdSystemBrowserController>& controller) {
  // Closed some other way than its done button (the ad or the host
  // dismissed it): the visit still ends here, once.
  if (endSession()) {
    callBackDelegate(controller);
  }
}

bool OVAdSafariDelegateTranslator::endSession() {
  if (sessionEnded_) {
    return false;
  }
  sessionEnded_ = true;
  OVAdLogBrowserSessionData(*this);
  return true;
}

void OVAdSafariDelegateTranslator::callBackDelegate(const std::shared_ptr<OVAdSystemBrowserController>& controller) {
  if (delegateCalledBack_) {
    return;
  }
  delegateCalledBack_ = true;
  const auto keepAlive = shared_from_this();
  const auto delegate = delegate_.lock();
  OV_LOG(kOVAdLogLevelDebug, kCallingBackFormat, static_cast<const void*>(delegate.get()),
         static_cast<const void*>(controller.get()));
  if (delegate) {
    delegate->viewControllerDismissed(controller);
  }
  if (safariViewController_) {
    safariViewController_->attachTranslator(nullptr);
    safariViewController_.reset();
  }
}

}  // namespace plexora
