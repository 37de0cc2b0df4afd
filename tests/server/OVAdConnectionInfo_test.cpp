#include "server/OVAdConnectionInfo.h"

#include <gtest/gtest.h>

#include "platform/device/NetworkReachability.h"
#include "util/FakeDeviceProvider.h"

namespace plexora {
namespace {

using namespace platform;

class OVAdConnectionInfoTest : public ::testing::Test {
 protected:
  void connect(std::optional<std::uint32_t> flags, std::optional<std::string> technology) {
    provider_->updateProfile([&](DeviceProfile& profile) {
      profile.reachabilityFlags = flags;
      profile.radioAccessTechnology = technology;
    });
  }

  std::shared_ptr<testing::FakeDeviceProvider> provider_ = std::make_shared<testing::FakeDeviceProvider>();
  ScopedDeviceProvider scopedProvider_{provider_};
};

constexpr std::uint32_t kCellular = kReachabilityFlagReachable | kReachabilityFlagIsWWAN;

TEST_F(OVAdConnectionInfoTest, CurrentConnectionTypeAndCategory) {
  const struct {
    const char* name;
    std::optional<std::uint32_t> flags;
    std::optional<std::string> technology;
    std::int64_t type;
    std::int64_t category;
  } cases[] = {
      {"wifi", kReachabilityFlagReachable, std::nullopt, 1, 1},
      {"wifi ignores the radio", kReachabilityFlagReachable, "CTRadioAccessTechnologyLTE", 1, 1},
      {"LTE", kCellular, "CTRadioAccessTechnologyLTE", 12, 4},
      {"HSDPA", kCellular, "CTRadioAccessTechnologyHSDPA", 5, 3},
      {"Edge", kCellular, "CTRadioAccessTechnologyEdge", 3, 2},
      {"GPRS", kCellular, "CTRadioAccessTechnologyGPRS", 2, 2},
      {"WCDMA", kCellular, "CTRadioAccessTechnologyWCDMA", 4, 2},
      {"HSUPA", kCellular, "CTRadioAccessTechnologyHSUPA", 6, 3},
      {"CDMA1x", kCellular, "CTRadioAccessTechnologyCDMA1x", 7, 3},
      {"EV-DO 0", kCellular, "CTRadioAccessTechnologyCDMAEVDORev0", 8, 3},
      {"EV-DO A", kCellular, "CTRadioAccessTechnologyCDMAEVDORevA", 9, 3},
      {"EV-DO B", kCellular, "CTRadioAccessTechnologyCDMAEVDORevB", 10, 3},
      {"eHRPD", kCellular, "CTRadioAccessTechnologyeHRPD", 11, 3},
      {"bare name", kCellular, "LTE", 12, 4},
      {"unlisted technology", kCellular, "CTRadioAccessTechnologyNRNSA", 0, 0},
      {"cellular without a radio", kCellular, std::nullopt, 0, 0},
      {"no network", 0u, "CTRadioAccessTechnologyLTE", 0, 0},
      {"flags unreadable", std::nullopt, std::nullopt, 0, 0},
  };
  for (const auto& c : cases) {
    connect(c.flags, c.technology);
    EXPECT_EQ(OVAdConnectionInfo::currentConnection(), c.type) << c.name;
    EXPECT_EQ(OVAdConnectionInfo::currentConnectionCategory(), c.category) << c.name;
  }
}

TEST_F(OVAdConnectionInfoTest, CellularConnectionNameLosesTheSystemPrefix) {
  connect(kCellular, "CTRadioAccessTechnologyLTE");
  EXPECT_EQ(OVAdConnectionInfo::currentCellularConnection(), "LTE");
  connect(kCellular, std::nullopt);
  EXPECT_FALSE(OVAdConnectionInfo::currentCellularConnection());
}

TEST_F(OVAdConnectionInfoTest, TheFirstListedTechnologyTheTextContainsWins) {
  EXPECT_EQ(OVAdConnectionInfo::typeFromString("LTE+GPRS"), 2);
  EXPECT_EQ(OVAdConnectionInfo::typeFromString("lte"), 0);
  EXPECT_EQ(OVAdConnectionInfo::typeFromString(""), 0);
  EXPECT_EQ(OVAdConnectionInfo::typeFromString(std::nullopt), 0);
}

TEST_F(OVAdConnectionInfoTest, CategoryOfEveryType) {
  const std::int64_t categories[] = {0, 1, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 4};
  for (std::int64_t type = 0; type <= 12; ++type) {
    EXPECT_EQ(OVAdConnectionInfo::categoryForType(type), categories[type]) << type;
  }
  EXPECT_EQ(OVAdConnectionInfo::categoryForType(-1), 0);
  EXPECT_EQ(OVAdConnectionInfo::categoryForType(13), 0);
}

TEST_F(OVAdConnectionInfoTest, ReachabilityStatusOfFlags) {
  const std::uint32_t reachable = kReachabilityFlagReachable;
  const std::uint32_t required = kReachabilityFlagConnectionRequired;
  const struct {
    const char* name;
    std::uint32_t flags;
    std::uint64_t status;
  } cases[] = {
      {"nothing", 0u, 0},
      {"cellular flag alone", kReachabilityFlagIsWWAN, 0},
      {"reachable", reachable, 1},
      {"reachable cellular", reachable | kReachabilityFlagIsWWAN, 2},
      {"cellular needing a connection", reachable | kReachabilityFlagIsWWAN | required, 2},
      {"connection required", reachable | required, 0},
      {"on traffic", reachable | required | kReachabilityFlagConnectionOnTraffic, 1},
      {"on demand", reachable | required | kReachabilityFlagConnectionOnDemand, 1},
      {"on demand needing the user",
       reachable | required | kReachabilityFlagConnectionOnDemand | kReachabilityFlagInterventionRequired, 0},
      {"on traffic needing the user but no connection required",
       reachable | kReachabilityFlagConnectionOnTraffic | kReachabilityFlagInterventionRequired, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OVAdConnectionInfo::statusForReachabilityFlags(c.flags), c.status) << c.name;
    connect(c.flags, std::nullopt);
    EXPECT_EQ(OVAdConnectionInfo::currentReachabilityStatus(), c.status) << c.name;
  }
  connect(std::nullopt, std::nullopt);
  EXPECT_EQ(OVAdConnectionInfo::currentReachabilityStatus(), 0u);
}

}  // namespace
}  // namespace plexora
