#include "util/OVAdDeviceVolume.h"

#include <gtest/gtest.h>

#include <limits>

#include "util/FakeDeviceProvider.h"

namespace plexora {
namespace {

TEST(OVAdDeviceVolumeTest, VolumeOfTheProfileWithinZeroAndOne) {
  auto provider = std::make_shared<testing::FakeDeviceProvider>();
  platform::ScopedDeviceProvider scoped(provider);
  const struct {
    double profile;
    double reported;
  } cases[] = {
      {1.0, 1.0}, {0.3, 0.3}, {0.0, 0.0}, {1.5, 1.0}, {-0.2, 0.0}, {std::numeric_limits<double>::quiet_NaN(), 0.0},
  };
  for (const auto& c : cases) {
    provider->updateProfile([&](platform::DeviceProfile& profile) { profile.outputVolume = c.profile; });
    EXPECT_EQ(deviceVolume(), c.reported) << c.profile;
  }
}

}  // namespace
}  // namespace plexora
