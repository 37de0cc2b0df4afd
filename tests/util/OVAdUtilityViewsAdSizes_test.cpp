#include <gtest/gtest.h>

#include <memory>

#include "platform/device/DeviceProvider.h"
#include "plexora/OVAdSize.h"
#include "util/FakeDeviceProvider.h"
#include "util/OVAdDevice.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::InterfaceOrientation;
using platform::UserInterfaceIdiom;

class OVAdUtilityAdSizesTest : public ::testing::Test {
 protected:
  void SetUp() override { OVAdDevice::resetCache(); }
  void TearDown() override { OVAdDevice::resetCache(); }

  void useDevice(UserInterfaceIdiom idiom, double screenWidth, double screenHeight) {
    provider_->updateProfile([&](platform::DeviceProfile& profile) {
      profile.idiom = idiom;
      profile.screen.bounds = {screenWidth, screenHeight};
    });
    OVAdDevice::resetCache();
  }

  std::shared_ptr<testing::FakeDeviceProvider> provider_ = std::make_shared<testing::FakeDeviceProvider>();
  platform::ScopedDeviceProvider scopedProvider_{provider_};
};

TEST_F(OVAdUtilityAdSizesTest, TemplateIdentifierOfEverySize) {
  const struct {
    const char* name;
    OVAdSize size;
    UserInterfaceIdiom idiom;
    double screenWidth;
    double screenHeight;
    std::int64_t templateID;
  } cases[] = {
      {"320x50", kOVAdSize320x50, UserInterfaceIdiom::Phone, 375, 667, 4},
      {"flexible x 50", kOVAdSizeHeight50Banner, UserInterfaceIdiom::Phone, 375, 667, 5},
      {"flexible x 90", kOVAdSizeHeight90Banner, UserInterfaceIdiom::Phone, 375, 667, 6},
      {"flexible x 250", kOVAdSizeHeight250Rectangle, UserInterfaceIdiom::Phone, 375, 667, 7},
      {"interstitial on a phone in portrait", kOVAdSizeInterstitial, UserInterfaceIdiom::Phone, 375, 667, 102},
      {"interstitial on a phone in landscape", kOVAdSizeInterstitial, UserInterfaceIdiom::Phone, 667, 375, 101},
      {"interstitial on a square screen", kOVAdSizeInterstitial, UserInterfaceIdiom::Phone, 500, 500, 101},
      {"interstitial on a pad in portrait", kOVAdSizeInterstitial, UserInterfaceIdiom::Pad, 768, 1024, 103},
      {"interstitial on a pad in landscape", kOVAdSizeInterstitial, UserInterfaceIdiom::Pad, 1024, 768, 103},
      {"native", kOVAdSizeNative, UserInterfaceIdiom::Phone, 375, 667, 200},
      {"320x100", OVAdSize{320, 100}, UserInterfaceIdiom::Phone, 375, 667, 200},
      {"fixed 300x250", OVAdSize{300, 250}, UserInterfaceIdiom::Phone, 375, 667, 200},
      {"50 wide, flexible height", OVAdSize{50, kOVAdSizeFlexible}, UserInterfaceIdiom::Phone, 375, 667, 200},
  };
  for (const auto& c : cases) {
    useDevice(c.idiom, c.screenWidth, c.screenHeight);
    EXPECT_EQ(OVAdUtility::getTemplateID(c.size), c.templateID) << c.name;
  }
}

TEST_F(OVAdUtilityAdSizesTest, InterstitialTemplateFollowsThePadIdiomWhateverFamiliesTheAppDeclares) {
  provider_->updateProfile([](platform::DeviceProfile& profile) {
    profile.idiom = UserInterfaceIdiom::Pad;
    profile.applicationDeviceFamilies = platform::Value(platform::Array{1});
    profile.screen.bounds = {768, 1024};
  });
  OVAdDevice::resetCache();
  EXPECT_EQ(OVAdUtility::getTemplateID(kOVAdSizeInterstitial), 103);
}

TEST_F(OVAdUtilityAdSizesTest, SizesAreTheSameTypeOnlyWhenBothDimensionsAgree) {
  EXPECT_TRUE(OVAdUtility::isAdSizeType(kOVAdSizeHeight50Banner, OVAdSize{-1, 50}));
  EXPECT_FALSE(OVAdUtility::isAdSizeType(kOVAdSizeHeight50Banner, kOVAdSize320x50));
  EXPECT_FALSE(OVAdUtility::isAdSizeType(kOVAdSizeNative, kOVAdSizeHeight90Banner));
}

TEST_F(OVAdUtilityAdSizesTest, SizeThatFitsWidensFlexibleAdsToAtLeast320) {
  const struct {
    double fittingWidth;
    bool flexible;
    OVAdSize adSize;
    platform::Size expected;
  } cases[] = {
      {300, true, kOVAdSizeHeight50Banner, {320, 50}},
      {414, true, kOVAdSizeHeight50Banner, {414, 50}},
      {0, true, kOVAdSizeHeight250Rectangle, {320, 250}},
      {1000, false, kOVAdSize320x50, {320, 50}},
      {10, false, kOVAdSize320x50, {320, 50}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OVAdUtility::sizeThatFits({c.fittingWidth, 999}, c.flexible, c.adSize), c.expected)
        << c.fittingWidth << (c.flexible ? " flexible" : " fixed");
  }
}

TEST_F(OVAdUtilityAdSizesTest, ServerOrientationToInterfaceOrientation) {
  EXPECT_EQ(OVAdUtility::interfaceOrientationFromServerOrientation(1), InterfaceOrientation::Portrait);
  EXPECT_EQ(OVAdUtility::interfaceOrientationFromServerOrientation(2), InterfaceOrientation::LandscapeLeft);
  for (const OVAdServerOrientation other : {0, 3, -1, 4}) {
    EXPECT_EQ(OVAdUtility::interfaceOrientationFromServerOrientation(other), InterfaceOrientation::Unknown) << other;
  }
}

TEST_F(OVAdUtilityAdSizesTest, InterfaceOrientationMasksToServerOrientation) {
  using namespace platform;
  const struct {
    const char* name;
    InterfaceOrientationMask mask;
    bool portrait;
    bool landscape;
    OVAdServerOrientation server;
  } cases[] = {
      {"none", 0, false, false, 0},
      {"portrait", kInterfaceOrientationMaskPortrait, true, false, 1},
      {"upside down", kInterfaceOrientationMaskPortraitUpsideDown, true, false, 1},
      {"both portraits", 6, true, false, 1},
      {"landscape left", kInterfaceOrientationMaskLandscapeLeft, false, true, 2},
      {"landscape right", kInterfaceOrientationMaskLandscapeRight, false, true, 2},
      {"both landscapes", kInterfaceOrientationMaskLandscape, false, true, 2},
      {"all", kInterfaceOrientationMaskAll, true, true, 0},
      {"all but upside down", kInterfaceOrientationMaskAllButUpsideDown, true, true, 0},
      {"only the unused bit 0", 1, false, false, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OVAdUtility::interfaceOrientationMaskSupportsPortrait(c.mask), c.portrait) << c.name;
    EXPECT_EQ(OVAdUtility::interfaceOrientationMaskSupportsLandscape(c.mask), c.landscape) << c.name;
    EXPECT_EQ(OVAdUtility::serverOrientationFromInterfaceOrientationMask(c.mask), c.server) << c.name;
  }
}

}  // namespace
}  // namespace plexora
