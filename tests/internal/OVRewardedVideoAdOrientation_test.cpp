#include "internal/OVRewardedVideoAdOrientation.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/ui/Application.h"
#include "server/OVAdEnvironmentDataTestEnvironment.h"

namespace plexora::testing {
namespace {

using platform::InterfaceOrientation;

TEST(RewardedVideoAdOrientationTest, APortraitDeviceShowsTheAdInALandscapeOrientationTheApplicationDeclares) {
  struct Case {
    const char* name;
    InterfaceOrientation device;
    platform::InterfaceOrientationMask declared;
    bool autoRotate;
    InterfaceOrientation preferred;
    platform::InterfaceOrientationMask supported;
  };
  const std::vector<Case> cases = {
      {"portrait app", InterfaceOrientation::Portrait, platform::kInterfaceOrientationMaskPortrait, false,
       InterfaceOrientation::Portrait, platform::kInterfaceOrientationMaskPortrait},
      {"landscape right declared", InterfaceOrientation::Portrait, platform::kInterfaceOrientationMaskAllButUpsideDown,
       false, InterfaceOrientation::LandscapeRight, platform::kInterfaceOrientationMaskLandscape},
      {"only landscape left declared", InterfaceOrientation::Portrait,
       platform::kInterfaceOrientationMaskPortrait | platform::kInterfaceOrientationMaskLandscapeLeft, false,
       InterfaceOrientation::LandscapeLeft, platform::kInterfaceOrientationMaskLandscape},
      {"already landscape", InterfaceOrientation::LandscapeLeft, platform::kInterfaceOrientationMaskAllButUpsideDown,
       false, InterfaceOrientation::LandscapeLeft, platform::kInterfaceOrientationMaskLandscape},
      {"auto-rotation", InterfaceOrientation::Portrait, platform::kInterfaceOrientationMaskAllButUpsideDown, true,
       InterfaceOrientation::Portrait, platform::kInterfaceOrientationMaskAll},
  };
  EnvironmentDataTestEnvironment environment;
  for (const Case& orientation : cases) {
    SCOPED_TRACE(orientation.name);
    environment.updateProfile([&](platform::DeviceProfile& profile) { profile.orientation = orientation.device; });
    platform::Application::shared()->setSupportedInterfaceOrientations(orientation.declared);
    EXPECT_EQ(OVRewardedVideoAdOrientation::preferredInterfaceOrientationForPresentation(orientation.autoRotate),
              orientation.preferred);
    EXPECT_EQ(OVRewardedVideoAdOrientation::supportedInterfaceOrientations(orientation.autoRotate),
              orientation.supported);
  }
}

}  // namespace
}  // namespace plexora::testing
