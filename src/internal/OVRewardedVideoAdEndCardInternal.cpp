#include "internal/OVRewardedVideoAdEndCardInternal.h"

#include "internal/OVRewardedVideoAdOrientation.h"
#include "util/OVAdScreen.h"
#include "util/OVAdUtility.h"

namespace plexora {

std::shared_ptr<OVRewardedVideoAdEndCardInternal> OVRewardedVideoAdEndCardInternal::initWithPlacementID(
    const std::string& placementID, const std::shared_ptr<OVRewardedVideoAdDataModel>& adData,
    std::int64_t minViewability, const std::shared_ptr<OVAdViewControllerProxy>& rootViewController) {
  auto controller = std::make_shared<OVRewardedVideoAdEndCardInternal>();
  controller->isAutoRotateEnabled_ = OVRewardedVideoAdOrientation::isAutoRotateEnabled();
  const platform::InterfaceOrientation orientation = controller->isAutoRotateEnabled_
                                                         ? platform::InterfaceOrientation::LandscapeRight
                                                         : controller->preferredInterfaceOrientationForPresentation();
  const auto endView = OVRewardedVideoAdEndView::initWithPlacementID(placementID, adData, minViewability,
                                                                     rootViewController, orientation);
  if (!endView) {
    return nullptr;
  }
  controller->setView(endView);
  controller->endView_ = endView;
  endView->setDelegate(std::weak_ptr<OVRewardedVideoAdEndViewDelegate>(controller));
  return controller;
}

OVRewardedVideoAdEndCardInternal::~OVRewardedVideoAdEndCardInternal() {
  if (const auto endView = endView_.lock()) {
    endView->setDelegate({});
  }
}

std::shared_ptr<OVRewardedVideoAdEndCardInternal> OVRewardedVideoAdEndCardInternal::self() {
  return std::static_pointer_cast<OVRewardedVideoAdEndCardInternal>(shared_from_this());
}

bool OVRewardedVideoAdEndCardInternal::showAdFromRootViewController(
    const std::shared_ptr<platform::ViewController>& viewController, bool animated) {
  OVAdUtility::setApplicationStatusBarHidden(true);
  if (const auto endView = endView_.lock()) {
    endView->setFrameOnShow(OVAdScreen::boundsInOrientation());
    endView->setupNotification();
  }
  if (viewController) {
    viewController->present(self(), animated);
  }
  return true;
}

platform::InterfaceOrientationMask OVRewardedVideoAdEndCardInternal::supportedInterfaceOrientations() const {
  return OVRewardedVideoAdOrientation::supportedInterfaceOrientations(isAutoRotateEnabled_);
}

platform::InterfaceOrientation OVRewardedVideoAdEndCardInternal::preferredInterfaceOrientationForPresentation() const {
  return OVRewardedVideoAdOrientation::preferredInterfaceOrientationForPresentation(isAutoRotateEnabled_);
}

void OVRewardedVideoAdEndCardInternal::rewardedVideoAdEndViewClicked(
    const std::shared_ptr<OVRewardedVideoAdEndView>& /*view*/) {
  if (const auto target = delegate()) target->rewardedVideoAdEndCardDidClick(self());
}

void OVRewardedVideoAdEndCardInternal::rewardedVideoAdEndViewWillClose(
    const std::shared_ptr<OVRewardedVideoAdEndView>& /*view*/) {
  if (const auto target = delegate()) target->rewardedVideoAdEndCardWillClose(self());
}

void OVRewardedVideoAdEndCardInternal::rewardedVideoAdEndView(const std::shared_ptr<OVRewardedVideoAdEndView>& /*view*/,
                                                              const platform::Error& didFailWithError) {
  if (const auto target = delegate()) target->rewardedVideoAdEndCard(self(), didFailWithError);
}

}  // namespace plexora
