#include "adapters/OVPXNativeAdAdapter.h"

#include "adapters/OVAdAdapterManagerClassTable.h"
#include "adapters/OVNativeAdDataModel.h"
#include "internal/browser/OVAdViewControllerProxy.h"
#include "tracking/OVAdEventManager.h"
#include "util/OVAdError.h"
#include "util/OVAdLogger.h"
#include "util/OVAdTimer.h"

namespace plexora {

const char* const kOVPXNativeAdAdapterClassName = "OVPXNativeAdAdapter";

namespace {

// Known to the registry from the start, as a class linked into the process.
const auto registration = OVAdAdapterClassTable::registerClass<OVPXNativeAdAdapter>(kOVPXNativeAdAdapterClassName);

constexpr const char* kPXAdNetwork = "PX";
constexpr const char* kMissingCommandMessage = "Native ad click without a command";

}  // namespace

OVPXNativeAdAdapter::OVPXNativeAdAdapter(std::weak_ptr<OVDisplayAdAdapterDelegate> delegate)
    : OVDisplayAdAdapter(std::move(delegate)) {}

std::optional<std::string> OVPXNativeAdAdapter::getAdNetwork() { return std::string(kPXAdNetwork); }

void OVPXNativeAdAdapter::loadAdData(const platform::Dictionary& adData, OVAdSize /*size*/,
                                     std::int64_t /*orientation*/, const std::string& /*placement*/,
                                     const std::shared_ptr<OVAdPlacementDefinition>& /*placementDefinition*/,
                                     const std::shared_ptr<OVRewardedVideoRewardData>& /*rewardData*/) {
  OV_LOG_TESTMODE("%s", kOVPXNativeAdLoadingMessage);
  commandProcessor_ = OVAdCommandProcessor::create();
  commandProcessor_->setDelegate(std::static_pointer_cast<OVPXNativeAdAdapter>(shared_from_this()));
  if (eventManager_) commandProcessor_->setEventManager(eventManager_);
  hasLoggedImpression_ = false;
  const auto model = OVNativeAdDataModel::initWithMetadata(adData);
  setNativeAdData(model);
  const auto target = delegate();
  if (!target) return;
  if (!OVAdCommandProcessor::shouldInvalidate(model) && model->isValid()) {
    target->adapterDidLoad(shared_from_this());
  } else {
    target->adapter(shared_from_this(), OVAdError::getNSError(kOVAdErrorCodeNoFill));
  }
}

bool OVPXNativeAdAdapter::startAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) {
  return startAdFromRootViewController(rootViewController, true);
}

bool OVPXNativeAdAdapter::startAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController, bool /*animated*/) {
  viewController_ = OVAdViewControllerProxy::proxyWithViewController(rootViewController);
  return true;
}

void OVPXNativeAdAdapter::registerViewForInteraction(const std::shared_ptr<platform::View>& view,
                                                     const std::shared_ptr<platform::ViewController>& viewController) {
  viewController_ = OVAdViewControllerProxy::proxyWithViewController(viewController, view);
}

void OVPXNativeAdAdapter::onImpressionWithExtraData(const platform::Dictionary& extraData,
                                                    const platform::Dictionary& postData) {
  OV_LOG_TESTMODE("%s", kOVPXNativeAdLoadedMessage);
  if (hasLoggedImpression_) return;
  if (const auto target = delegate()) target->adapterWillLogImpression(shared_from_this());
  const std::string token = clientToken();
  const auto events = eventManager();
  events->logImpressionForToken(token, extraData);
  if (!postData.empty()) {
    const auto model = nativeAdData();
    const double delay = model ? static_cast<double>(model->snapshotDelayPostInSecond()) : 0.0;
    // The event belongs to this impression: the block holds what it logs.
    snapshotTimer_ = OVAdTimer::scheduledTimerWithTimeInterval(
        delay, false, [events, token, extraData, postData](const std::shared_ptr<OVAdTimer>&) {
          platform::Dictionary data = extraData;
          for (const auto& [key, value] : postData) data.set(key, value);
          events->logSnapshotForToken(token, data);
        });
  }
  hasLoggedImpression_ = true;
}

void OVPXNativeAdAdapter::onImpressionMissWithExtraData(const platform::Dictionary& extraData,
                                                        const platform::Dictionary& /*postData*/) {
  if (hasLoggedImpressionMiss_) return;
  eventManager()->logImpressionMissForToken(clientToken(), extraData);
  hasLoggedImpressionMiss_ = true;
}

void OVPXNativeAdAdapter::onClickForViewController(const std::shared_ptr<platform::ViewController>& /*viewController*/,
                                                   const platform::Dictionary& extraData) {
  const auto model = nativeAdData();
  if (!commandProcessor_ || !model || !model->commandURL()) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kMissingCommandMessage);
    return;
  }
  const std::weak_ptr<OVDisplayAdAdapter> weakSelf = shared_from_this();
  commandProcessor_->processCommand(*model->commandURL(), platform::Value(extraData), model,
                                    [weakSelf](OVAdCommand, OVAdAction, const std::shared_ptr<OVAdDataModel>&) {
                                      const auto self = weakSelf.lock();
                                      if (!self) return;
                                      if (const auto target = self->delegate()) {
                                        target->adapterDidClick(self, std::nullopt, false);
                                      }
                                    });
}

std::shared_ptr<OVAdViewControllerProxy> OVPXNativeAdAdapter::viewControllerForPresentingModalView() {
  return viewController_;
}

void OVPXNativeAdAdapter::viewControllerDismissed(OVAdCommandProcessor& /*processor*/) {
  if (const auto target = delegate()) target->adapterDidFinishHandlingClick(shared_from_this());
}

void OVPXNativeAdAdapter::setEventManager(std::shared_ptr<OVAdEventManager> eventManager) {
  eventManager_ = std::move(eventManager);
  if (commandProcessor_) commandProcessor_->setEventManager(eventManager_);
}

std::shared_ptr<OVAdEventManager> OVPXNativeAdAdapter::eventManager() const {
  return eventManager_ ? eventManager_ : OVAdEventManager::sharedManager();
}

std::string OVPXNativeAdAdapter::clientToken() const {
  const auto model = nativeAdData();
  return model && model->inlineClientToken() ? *model->inlineClientToken() : std::string();
}

}  // namespace plexora
