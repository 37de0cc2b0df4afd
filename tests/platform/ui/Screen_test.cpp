#include "platform/ui/Screen.h"

#include <gtest/gtest.h>

#include "platform/device/DeviceProvider.h"
#include "platform/ui/UITest.h"

namespace plexora::platform {
namespace {

using testing::UITest;
using ScreenTest = UITest;

TEST_F(ScreenTest, TheMainScreenIsTheDeviceProfilesScreen) {
  auto screen = Screen::main();
  EXPECT_TRUE(screen->isMain());
  EXPECT_EQ(screen->bounds(), Rect(0, 0, 375, 667));
  EXPECT_EQ(screen->scale(), 2.0);
  EXPECT_EQ(screen->nativeScale(), 2.0);
  EXPECT_EQ(screen->nativeBounds(), Rect(0, 0, 750, 1334));

  ScreenProfile larger;
  larger.bounds = ScreenSize{414, 896};
  larger.scale = 3.0;
  larger.nativeScale = 2.6;
  screen->setProfile(larger);
  EXPECT_EQ(DeviceProvider::current()->profile().screen.bounds, (ScreenSize{414, 896}));
  EXPECT_EQ(screen->bounds(), Rect(0, 0, 414, 896));
  EXPECT_EQ(screen->nativeScale(), 2.6);
}

TEST_F(ScreenTest, OtherScreensKeepFactsOfTheirOwn) {
  ScreenProfile external;
  external.bounds = ScreenSize{1920, 1080};
  auto screen = Screen::create(external);
  EXPECT_FALSE(screen->isMain());
  EXPECT_EQ(screen->bounds(), Rect(0, 0, 1920, 1080));
  EXPECT_EQ(Screen::main()->bounds(), Rect(0, 0, 375, 667));
}

}  // namespace
}  // namespace plexora::platform
