#include "internal/OVRewardedVideoAdOrientation.h"

#include "platform/ui/Application.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdScreen.h"

namespace plexora {

bool OVRewardedVideoAdOrientation::isAutoRotateEnabled() {
  return OVAdConfigManager::sharedManager()->rvAutoRotate() == kOVRewardedVideoAutoRotateEnabled;
}

platform::InterfaceOrientation OVRewardedVideoAdOrientation::preferredInterfaceOrientationForPresentation(
    bool autoRotateEnabled) {
  const auto current = static_cast<platform::InterfaceOrientation>(OVAdScreen::orientation());
  if (autoRotateEnabled || current != platform::InterfaceOrientation::Portrait) {
    return current;
  }
  const platform::InterfaceOrientationMask declared =
      platform::Application::shared()->supportedInterfaceOrientationsForWindow(nullptr);
  if ((declared & platform::kInterfaceOrientationMaskLandscapeRight) != 0) {
    return platform::InterfaceOrientation::LandscapeRight;
  }
  if ((declared & platform::kInterfaceOrientationMaskLandscapeLeft) != 0) {
    return platform::InterfaceOrientation::LandscapeLeft;
  }
  return current;
}

platform::InterfaceOrientationMask OVRewardedVideoAdOrientation::supportedInterfaceOrientations(
    bool autoRotateEnabled) {
  if (autoRotateEnabled) {
    return platform::kInterfaceOrientationMaskAll;
  }
  return platform::isLandscape(preferredInterfaceOrientationForPresentation(false))
             ? platform::kInterfaceOrientationMaskLandscape
             : platform::kInterfaceOrientationMaskPortrait;
}

}  // namespace plexora
