#include "platform/device/Battery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/TempDir.h"

namespace plexora::platform {
namespace {

TEST(BatteryTest, SupplyTextsMapToStateAndLevel) {
  const struct {
    const char* status;
    const char* capacity;
    BatteryReading reading;
  } cases[] = {
      {"Charging\n", "42\n", {BatteryState::Charging, 0.42}},
      {"Discharging\n", "100\n", {BatteryState::Unplugged, 1.0}},
      {"Full\n", "100\n", {BatteryState::Full, 1.0}},
      {"Not charging\n", "80\n", {BatteryState::Full, 0.8}},
      {"Unknown\n", "0\n", {BatteryState::Unknown, 0.0}},
      {"", "", {BatteryState::Unknown, -1.0}},
      {"Charging", "101", {BatteryState::Charging, -1.0}},
      {"Charging", "-1", {BatteryState::Charging, -1.0}},
      {"Charging", "4x", {BatteryState::Charging, -1.0}},
      {"charging", "50", {BatteryState::Unknown, 0.5}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(batteryFromSupplyTexts(c.status, c.capacity), c.reading) << c.status << "/" << c.capacity;
  }
}

class PowerSupplyTreeTest : public ::testing::Test {
 protected:
  void addSupply(const std::string& name, std::initializer_list<std::pair<const char*, const char*>> attributes) {
    const auto directory = dir_.path() / name;
    std::filesystem::create_directories(directory);
    for (const auto& [attribute, text] : attributes) std::ofstream(directory / attribute) << text;
  }
  std::string root() const { return dir_.path().string(); }

  testing::TempDir dir_;
};

TEST_F(PowerSupplyTreeTest, TheSystemBatteryIsRead) {
  addSupply("AC", {{"type", "Mains\n"}, {"online", "1\n"}});
  addSupply("BAT0", {{"type", "Battery\n"}, {"scope", "System\n"}, {"status", "Charging\n"}, {"capacity", "42\n"}});
  EXPECT_EQ(readSystemBattery(root()), (BatteryReading{BatteryState::Charging, 0.42}));
}

TEST_F(PowerSupplyTreeTest, PeripheralBatteriesAreSkipped) {
  addSupply("hidpp_battery_0",
            {{"type", "Battery\n"}, {"scope", "Device\n"}, {"status", "Discharging\n"}, {"capacity", "5\n"}});
  addSupply("hidpp_battery_1", {{"type", "Battery\n"}, {"status", "Discharging\n"}, {"capacity", "70\n"}});
  EXPECT_EQ(readSystemBattery(root()), (BatteryReading{BatteryState::Unplugged, 0.7}));
}

TEST_F(PowerSupplyTreeTest, WithoutABatteryTheMachineReadsAsOnMainsPower) {
  EXPECT_EQ(readSystemBattery(root()), kMainsPowerReading);
  addSupply("AC", {{"type", "Mains\n"}});
  addSupply("broken", {});
  EXPECT_EQ(readSystemBattery(root()), kMainsPowerReading);
  EXPECT_EQ(readSystemBattery(root() + "/missing"), kMainsPowerReading);
}

TEST_F(PowerSupplyTreeTest, ABatteryWithoutReadableFiguresIsUnknown) {
  addSupply("BAT0", {{"type", "Battery\n"}});
  EXPECT_EQ(readSystemBattery(root()), (BatteryReading{BatteryState::Unknown, -1.0}));
}

}  // namespace
}  // namespace plexora::platform
