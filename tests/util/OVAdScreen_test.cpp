#include "util/OVAdScreen.h"

#include <gtest/gtest.h>

#include "util/FakeDeviceProvider.h"

namespace plexora {
namespace {

using platform::DeviceProfile;

class OVAdScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    provider_->updateProfile([](DeviceProfile& profile) {
      profile.screen.bounds = {375.0, 667.0};
      profile.screen.scale = 2.0;
      profile.orientation = platform::InterfaceOrientation::Portrait;
    });
    OVAdScreen::recomputeCachedState();
  }
  void TearDown() override {
    scopedProvider_.reset();
    OVAdScreen::recomputeCachedState();
  }

  std::shared_ptr<testing::FakeDeviceProvider> provider_ = std::make_shared<testing::FakeDeviceProvider>();
  std::optional<platform::ScopedDeviceProvider> scopedProvider_{std::in_place, provider_};
};

TEST_F(OVAdScreenTest, KeptFiguresComeFromTheScreen) {
  EXPECT_EQ(OVAdScreen::scale(), 2.0);
  EXPECT_EQ(OVAdScreen::nativeScale(), 2.0);
  EXPECT_EQ(OVAdScreen::size(), (platform::Size{375.0, 667.0}));
  EXPECT_EQ(OVAdScreen::nativeSize(), (platform::Size{750.0, 1334.0}));
  EXPECT_EQ(OVAdScreen::bounds(), (platform::Rect{{0.0, 0.0}, {375.0, 667.0}}));
  EXPECT_EQ(OVAdScreen::orientation(), 1);

  provider_->updateProfile([](DeviceProfile& profile) {
    profile.screen.nativeScale = 3.0;
    profile.screen.nativeBounds = platform::ScreenSize{1080.0, 1920.0};
  });
  OVAdScreen::recomputeCachedState();
  EXPECT_EQ(OVAdScreen::scale(), 2.0);
  EXPECT_EQ(OVAdScreen::nativeScale(), 3.0);
  EXPECT_EQ(OVAdScreen::nativeSize(), (platform::Size{1080.0, 1920.0}));
}

TEST_F(OVAdScreenTest, SizeKeepsTheFirstBoundsWhileSizeInOrientationFollowsRotation) {
  provider_->updateProfile([](DeviceProfile& profile) {
    profile.screen.bounds = {667.0, 375.0};
    profile.screen.scale = 3.0;
    profile.orientation = platform::InterfaceOrientation::LandscapeLeft;
  });
  EXPECT_EQ(OVAdScreen::size(), (platform::Size{375.0, 667.0}));
  EXPECT_EQ(OVAdScreen::scale(), 2.0);
  EXPECT_EQ(OVAdScreen::sizeInOrientation(), (platform::Size{667.0, 375.0}));
  EXPECT_EQ(OVAdScreen::boundsInOrientation(), (platform::Rect{{0.0, 0.0}, {667.0, 375.0}}));
  EXPECT_EQ(OVAdScreen::orientation(), 4);
}

}  // namespace
}  // namespace plexora
