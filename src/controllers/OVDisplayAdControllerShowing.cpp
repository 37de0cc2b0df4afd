// Showing the current ad, the impression (the controller's viewable check
// and the adapter's report), the adapter's reports after loading, the
// application's background and active transitions, and the messages to the
// delegate.
#include <string>

#include "controllers/OVDisplayAdController.h"
#include "dto/OVAdCandidate.h"
#include "dto/OVAdPlacementDefinition.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Exception.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "util/OVAdError.h"
#include "util/OVAdLogger.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kClassName = "OVDisplayAdController";
constexpr const char* kStartOperation = "startAdFromRootViewController";
constexpr const char* kControllerImpressionMessage = "Controller logged impression";
constexpr const char* kAdapterImpressionMessage = "Adapter logged impression";
constexpr const char* kClickThruMessage = "AdClickThru occurred, clickUrl=%s playerHandles=%s";
constexpr const char* kMissingClickURLMessage = "Missing click URL, ignoring AdClickThru";
constexpr const char* kControllerHandlesClickMessage = "Controller handles click, url=%s";
constexpr const char* kAdapterHandlesClickMessage = "Adapter handles click, ignoring click url";
constexpr const char* kNone = "(null)";
constexpr const char* kYes = "YES";
constexpr const char* kNo = "NO";

}  // namespace

// ---- Showing ----

bool OVDisplayAdController::startAd() {
  return startAdFromRootViewController(std::shared_ptr<platform::ViewController>(), true);
}

bool OVDisplayAdController::startAdFromRootViewController(
    const std::shared_ptr<platform::ViewController>& rootViewController, bool animated) {
  if (!loaded_) {
    raiseNotLoaded(kStartOperation);
  }
  const std::shared_ptr<platform::View> adView = currentAdapter_ ? currentAdapter_->adView() : nullptr;
  return startCurrentAdapter(OVAdViewControllerProxy::proxyWithViewController(rootViewController, adView), animated);
}

bool OVDisplayAdController::startAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController, bool animated) {
  if (!loaded_) {
    raiseNotLoaded(kStartOperation);
  }
  if (!rootViewController) {
    return startAdFromRootViewController(std::shared_ptr<platform::ViewController>(), animated);
  }
  return startCurrentAdapter(rootViewController, animated);
}

bool OVDisplayAdController::startCurrentAdapter(const std::shared_ptr<OVAdViewControllerProxy>& proxy, bool animated) {
  started_ = true;
  const auto adapter = currentAdapter_;
  const bool shown = adapter && adapter->startAdFromRootViewController(proxy, animated);
  if (shown) {
    notifyAdViewPresented();
    logImpressionFromSource(ImpressionSource::Controller);
  } else {
    notifyAdError(OVAdError::getNSError(kOVAdErrorCodeInternalError, kOVDisplayAdControllerShowFailedDescription));
  }
  return shown;
}

void OVDisplayAdController::raiseNotLoaded(const char* operation) const {
  std::string reason(kOVDisplayAdControllerNotLoadedFormat);
  reason.replace(reason.find("%s"), 2, kClassName);
  reason.replace(reason.find("%s"), 2, operation);
  throw platform::Exception(platform::kInternalInconsistencyException, reason);
}

// ---- Impression ----

void OVDisplayAdController::logImpressionFromSource(ImpressionSource source) {
  if (adapterHadImpression_ && controllerHadImpression_) {
    return;
  }
  if (source == ImpressionSource::Controller) {
    OV_LOG(kOVAdLogLevelVerbose, "%s", kControllerImpressionMessage);
    controllerHadImpression_ = true;
  } else {
    OV_LOG(kOVAdLogLevelVerbose, "%s", kAdapterImpressionMessage);
    adapterHadImpression_ = true;
    scheduleRefresh();
  }
  if (adapterHadImpression_ && controllerHadImpression_) {
    notifyAdImpression();
  }
}

bool OVDisplayAdController::viewabilityValidator(const std::shared_ptr<OVAdViewabilityValidator>& /*validator*/,
                                                 OVAdViewabilityStatus status) {
  if (status != OVAdViewabilityStatus::Viewable) {
    return false;
  }
  logImpressionFromSource(ImpressionSource::Controller);
  return true;
}

void OVDisplayAdController::ensureViewabilityValidator() {
  if (!currentAdapter_) {
    return;
  }
  // A validator left running would count the old view's checks for the new
  // ad.
  disableViewabilityValidator();
  const std::shared_ptr<platform::View> view = currentAdapter_->adView();
  if (!view) {
    // Nothing of a native ad to watch: the host's view decides.
    controllerHadImpression_ = true;
    return;
  }
  controllerHadImpression_ = false;
  const auto& definition = *currentPlacementDefinition_;
  currentViewabilityValidator_ = OVAdViewabilityValidator::initWithView(
      view, definition.viewabilityCheckInterval(), definition.viewabilityCheckInitialDelay(),
      definition.minViewabilityPercentage(), definition.minViewabilityTicks(), false);
  if (currentViewabilityValidator_) {
    currentViewabilityValidator_->setDelegate(weak_from_this());
    currentViewabilityValidator_->scheduleViewabilityCheck();
  }
}

void OVDisplayAdController::disableViewabilityValidator() {
  if (currentViewabilityValidator_) {
    currentViewabilityValidator_->stopViewabilityCheck();
  }
}

// ---- Reports of the current adapter ----

bool OVDisplayAdController::isCurrentAdapter(const std::shared_ptr<OVDisplayAdAdapter>& adapter) const {
  // Only the current adapter reports after its load, and it became current
  // through a delivered load; a replaced or timed-out adapter is ignored,
  // never raised about.
  return adapter && adapter == currentAdapter_;
}

void OVDisplayAdController::handleCurrentAdFailure(const platform::Error& error) {
  // An ad that failed is already gone for the unit; a second report of it
  // (a page failing after its load timed out) tells nothing new.
  if (currentAdapterFailed_) {
    return;
  }
  currentAdapterFailed_ = true;
  disableViewabilityValidator();
  if (!adProvider_ && !nextAdapter_) {
    scheduleRefresh();
  }
  notifyAdError(error);
}

void OVDisplayAdController::adapterDidClick(const std::shared_ptr<OVDisplayAdAdapter>& adapter,
                                            const std::optional<platform::URL>& url, bool playerHandles) {
  if (!isCurrentAdapter(adapter)) {
    return;
  }
  invalidateInProgressAd();
  notifyAdClickThruWithURL(url, playerHandles);
}

void OVDisplayAdController::adapterDidFinishHandlingClick(const std::shared_ptr<OVDisplayAdAdapter>& adapter) {
  if (!isCurrentAdapter(adapter)) {
    return;
  }
  scheduleRefresh();
  notifyAdUserClose();
}

void OVDisplayAdController::adapterWillUnload(const std::shared_ptr<OVDisplayAdAdapter>& adapter) {
  if (isCurrentAdapter(adapter)) {
    notifyAdUserClose();
  }
}

void OVDisplayAdController::adapterDidUnload(const std::shared_ptr<OVDisplayAdAdapter>& adapter) {
  if (isCurrentAdapter(adapter)) {
    notifyAdStopped();
  }
}

void OVDisplayAdController::adapterWillLogImpression(const std::shared_ptr<OVDisplayAdAdapter>& adapter) {
  if (isCurrentAdapter(adapter)) {
    logImpressionFromSource(ImpressionSource::Adapter);
  }
}

void OVDisplayAdController::adapterDidComplete(const std::shared_ptr<OVDisplayAdAdapter>& adapter) {
  if (isCurrentAdapter(adapter)) {
    notifyAdVideoComplete();
  }
}

void OVDisplayAdController::adapterServerRewardSuccess(const std::shared_ptr<OVDisplayAdAdapter>& adapter) {
  if (isCurrentAdapter(adapter)) {
    notify([](OVDisplayAdControllerDelegate& delegate, const std::shared_ptr<OVDisplayAdController>& self) {
      delegate.displayAdControllerServerRewardSuccess(self);
    });
  }
}

void OVDisplayAdController::adapterServerRewardFailed(const std::shared_ptr<OVDisplayAdAdapter>& adapter) {
  if (isCurrentAdapter(adapter)) {
    notify([](OVDisplayAdControllerDelegate& delegate, const std::shared_ptr<OVDisplayAdController>& self) {
      delegate.displayAdControllerServerRewardFailed(self);
    });
  }
}

// ---- Application state ----

void OVDisplayAdController::startObservingNotifications() {
  const std::weak_ptr<OVDisplayAdController> weakSelf = weak_from_this();
  OVAdUtility::startObservingBackgroundNotifications(
      shared_from_this(),
      [weakSelf] {
        if (const auto self = weakSelf.lock()) {
          self->onApplicationBackgrounded();
        }
      },
      [weakSelf] {
        if (const auto self = weakSelf.lock()) {
          self->onApplicationForegrounded();
        }
      });
}

void OVDisplayAdController::stopObservingNotifications() { OVAdUtility::stopObservingBackgroundNotifications(this); }

void OVDisplayAdController::onApplicationBackgrounded() { disableViewabilityValidator(); }

void OVDisplayAdController::onApplicationForegrounded() { ensureViewabilityValidator(); }

// ---- Messages to the delegate ----

void OVDisplayAdController::notify(
    std::function<void(OVDisplayAdControllerDelegate&, const std::shared_ptr<OVDisplayAdController>&)> message) {
  platform::DispatchQueue::main()->async([self = shared_from_this(), message = std::move(message)] {
    if (const auto delegate = self->delegate()) {
      message(*delegate, self);
    }
  });
}

void OVDisplayAdController::notifyAdLoaded() {
  loaded_ = true;
  notify([](OVDisplayAdControllerDelegate& delegate, const std::shared_ptr<OVDisplayAdController>& self) {
    delegate.displayAdControllerLoaded(self);
  });
}

void OVDisplayAdController::notifyAdViewPresented() {
  notify([](OVDisplayAdControllerDelegate& delegate, const std::shared_ptr<OVDisplayAdController>& self) {
    const auto adapter = self->currentAdapter_;
    if (adapter && adapter->nativeAdData()) {
      const std::weak_ptr<OVDisplayAdAdapter> weakAdapter = adapter;
      const std::weak_ptr<OVAdCandidate> weakCandidate = self->currentAdCandidate_;
      delegate.displayAdController(
          self, adapter->nativeAdData(),
          [weakAdapter, weakCandidate](const platform::Dictionary& extraData, const platform::Dictionary& postData) {
            if (const auto strongAdapter = weakAdapter.lock()) {
              strongAdapter->onImpressionWithExtraData(extraData, postData);
            }
            if (const auto candidate = weakCandidate.lock()) {
              candidate->fireTrackers(OVAdTrackerType::Impression, platform::Value());
            }
          },
          [weakAdapter](const platform::Dictionary& extraData, const platform::Dictionary& postData) {
            if (const auto strongAdapter = weakAdapter.lock()) {
              strongAdapter->onImpressionMissWithExtraData(extraData, postData);
            }
          },
          [weakAdapter, weakCandidate](const std::shared_ptr<platform::ViewController>& viewController,
                                       const platform::Dictionary& extraData) {
            if (const auto strongAdapter = weakAdapter.lock()) {
              strongAdapter->onClickForViewController(viewController, extraData);
            }
            if (const auto candidate = weakCandidate.lock()) {
              candidate->fireTrackers(OVAdTrackerType::Click, platform::Value());
            }
          });
      return;
    }
    delegate.displayAdController(self, adapter ? adapter->adView() : std::shared_ptr<platform::View>());
  });
}

void OVDisplayAdController::notifyAdImpression() {
  notify([](OVDisplayAdControllerDelegate& delegate, const std::shared_ptr<OVDisplayAdController>& self) {
    delegate.displayAdControllerImpression(self);
  });
}

void OVDisplayAdController::notifyAdStopped() {
  notify([](OVDisplayAdControllerDelegate& delegate, const std::shared_ptr<OVDisplayAdController>& self) {
    delegate.displayAdControllerStopped(self);
  });
}

void OVDisplayAdController::notifyAdError(const platform::Error& error) {
  notify([error](OVDisplayAdControllerDelegate& delegate, const std::shared_ptr<OVDisplayAdController>& self) {
    delegate.displayAdController(self, error);
  });
}

void OVDisplayAdController::notifyAdClickThruWithURL(const std::optional<platform::URL>& url, bool playerHandles) {
  const std::string urlText = url ? url->absoluteString() : std::string(kNone);
  OV_LOG(kOVAdLogLevelLog, kClickThruMessage, urlText.c_str(), playerHandles ? kYes : kNo);
  if (playerHandles) {
    if (!url) {
      OV_LOG(kOVAdLogLevelLog, "%s", kMissingClickURLMessage);
      return;
    }
    OV_LOG(kOVAdLogLevelLog, kControllerHandlesClickMessage, urlText.c_str());
    if (!platform::Application::shared()->openURL(*url)) {
      return;
    }
  } else {
    OV_LOG(kOVAdLogLevelLog, "%s", kAdapterHandlesClickMessage);
  }
  notify([](OVDisplayAdControllerDelegate& delegate, const std::shared_ptr<OVDisplayAdController>& self) {
    delegate.displayAdController(self, std::optional<platform::URL>());
  });
}

void OVDisplayAdController::notifyAdUserClose() {
  notify([](OVDisplayAdControllerDelegate& delegate, const std::shared_ptr<OVDisplayAdController>& self) {
    delegate.displayAdControllerUserClosed(self);
  });
}

void OVDisplayAdController::notifyAdVideoComplete() {
  notify([](OVDisplayAdControllerDelegate& delegate, const std::shared_ptr<OVDisplayAdController>& self) {
    delegate.displayAdControllerVideoComplete(self);
  });
}

}  // namespace plexora
