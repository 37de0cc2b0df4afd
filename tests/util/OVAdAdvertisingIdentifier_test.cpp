#include "util/OVAdAdvertisingIdentifier.h"

#include <gtest/gtest.h>

#include "util/FakeDeviceProvider.h"

namespace plexora {
namespace {

class OVAdAdvertisingIdentifierTest : public ::testing::Test {
 protected:
  std::shared_ptr<testing::FakeDeviceProvider> provider_ = std::make_shared<testing::FakeDeviceProvider>();
  platform::ScopedDeviceProvider scopedProvider_{provider_};
};

TEST_F(OVAdAdvertisingIdentifierTest, IdentifierFlagAndTestHashComeFromTheProfile) {
  EXPECT_EQ(getAdvertisingIdentifier(), "00000000-1111-2222-3333-444444444444");
  EXPECT_TRUE(isAdvertisingTrackingEnabled());
  EXPECT_EQ(testHashForSelf(), "ac54dda1c8db9584dff4a320aad79fe7f769f6d0");
  EXPECT_EQ(testHashForAdvertiserID("00000000-1111-2222-3333-444444444444"), testHashForSelf());

  provider_->updateProfile([](platform::DeviceProfile& profile) { profile.advertisingTrackingEnabled = false; });
  EXPECT_FALSE(isAdvertisingTrackingEnabled());
}

TEST_F(OVAdAdvertisingIdentifierTest, WithoutAnIdentifierThereIsNoTestHash) {
  provider_->updateProfile([](platform::DeviceProfile& profile) { profile.advertisingIdentifier.reset(); });
  EXPECT_FALSE(getAdvertisingIdentifier());
  EXPECT_FALSE(testHashForSelf());
}

}  // namespace
}  // namespace plexora
