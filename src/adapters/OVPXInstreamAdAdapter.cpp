#include "adapters/OVPXInstreamAdAdapter.h"

#include "adapters/OVAdAdapterManagerClassTable.h"
#include "adapters/OVInstreamAdDataModel.h"
#include "adapters/views/video/OVInstreamAdContentView.h"
#include "tracking/OVAdEventManager.h"

namespace plexora {

const char* const kOVPXInstreamAdAdapterClassName = "OVPXInstreamAdAdapter";

namespace {

// Known to the registry from the start, as a class linked into the process.
const auto registration = OVAdAdapterClassTable::registerClass<OVPXInstreamAdAdapter>(kOVPXInstreamAdAdapterClassName);

}  // namespace

OVPXInstreamAdAdapter::OVPXInstreamAdAdapter(std::weak_ptr<OVDisplayAdAdapterDelegate> delegate)
    : OVDisplayAdAdapter(std::move(delegate)),
      videoAdController_(OVVideoAdController::initWithContentView(OVInstreamAdContentView::create())) {
  // The ad's view is the content view, for the whole life of the adapter.
  if (videoAdController_) setAdView(videoAdController_->contentView());
}

void OVPXInstreamAdAdapter::loadAdData(const platform::Dictionary& adData, OVAdSize /*size*/,
                                       std::int64_t /*orientation*/, const std::string& /*placement*/,
                                       const std::shared_ptr<OVAdPlacementDefinition>& /*placementDefinition*/,
                                       const std::shared_ptr<OVRewardedVideoRewardData>& /*rewardData*/) {
  loadAdData(adData);
}

void OVPXInstreamAdAdapter::loadAdData(const platform::Dictionary& adData) {
  dataModel_ = OVInstreamAdDataModel::initWithMetadata(platform::Value(adData));
  if (!videoAdController_) return;
  // Reports can only follow a load, and only now is the adapter shared.
  videoAdController_->setDelegate(
      std::weak_ptr<OVVideoAdControllerDelegate>(std::static_pointer_cast<OVPXInstreamAdAdapter>(shared_from_this())));
  videoAdController_->loadAdFromDataModel(dataModel_);
}

bool OVPXInstreamAdAdapter::isAdValid() const { return videoAdController_ && videoAdController_->isValid(); }

bool OVPXInstreamAdAdapter::startAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) {
  return startAdFromRootViewController(rootViewController, false);
}

bool OVPXInstreamAdAdapter::startAdFromRootViewController(
    const std::shared_ptr<OVAdViewControllerProxy>& rootViewController, bool /*animated*/) {
  return videoAdController_ && videoAdController_->showAdFromRootViewController(rootViewController);
}

void OVPXInstreamAdAdapter::setEventManager(std::shared_ptr<OVAdEventManager> eventManager) {
  eventManager_ = std::move(eventManager);
  if (videoAdController_) videoAdController_->setEventManager(eventManager_);
}

// ---- The video ad controller's reports ----

void OVPXInstreamAdAdapter::controllerDidLoad(const std::shared_ptr<OVVideoAdController>& /*controller*/) {
  if (const auto target = delegate()) target->adapterDidLoad(shared_from_this());
}

void OVPXInstreamAdAdapter::controller(const std::shared_ptr<OVVideoAdController>& /*controller*/,
                                       const platform::Error& didFailWithError) {
  if (const auto target = delegate()) target->adapter(shared_from_this(), didFailWithError);
}

void OVPXInstreamAdAdapter::controllerDidClick(const std::shared_ptr<OVVideoAdController>& /*controller*/) {
  // The controller opened what the click asked for itself.
  if (const auto target = delegate()) target->adapterDidClick(shared_from_this(), std::nullopt, false);
}

void OVPXInstreamAdAdapter::controllerDidUnload(const std::shared_ptr<OVVideoAdController>& /*controller*/) {
  // Either report may release the adapter's owner; keep the adapter meanwhile.
  const auto self = shared_from_this();
  if (const auto target = delegate()) target->adapterWillUnload(self);
  if (const auto target = delegate()) target->adapterDidUnload(self);
}

void OVPXInstreamAdAdapter::controllerWillRegisterViewableImpression(
    const std::shared_ptr<OVVideoAdController>& /*controller*/) {
  if (const auto target = delegate()) target->adapterWillLogImpression(shared_from_this());
  const std::optional<std::string> token = dataModel_ ? dataModel_->inlineClientToken() : std::nullopt;
  if (!token) return;
  const auto manager = eventManager_ ? eventManager_ : OVAdEventManager::sharedManager();
  manager->logImpressionForToken(*token, std::nullopt);
}

}  // namespace plexora
