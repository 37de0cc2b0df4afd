#include "util/OVAdPerformanceMetrics.h"

#include <gtest/gtest.h>

#include <thread>

#include "util/FakeDeviceProvider.h"

namespace plexora {
namespace {

class OVAdPerformanceMetricsTest : public ::testing::Test {
 protected:
  std::shared_ptr<testing::FakeDeviceProvider> provider_ = std::make_shared<testing::FakeDeviceProvider>();
  platform::ScopedDeviceProvider scopedProvider_{provider_};
};

TEST_F(OVAdPerformanceMetricsTest, FiguresComeFromTheProvider) {
  EXPECT_EQ(OVAdPerformanceMetrics::coreCount(), 4u);
  EXPECT_EQ(OVAdPerformanceMetrics::freeMemoryBytes(), 2ull << 30);
  EXPECT_EQ(OVAdPerformanceMetrics::totalMemoryBytes(), 8ull << 30);
  EXPECT_EQ(OVAdPerformanceMetrics::residentMemoryBytes(), 64ull << 20);
  EXPECT_EQ(OVAdPerformanceMetrics::virtualMemoryBytes(), 512ull << 20);
  EXPECT_EQ(OVAdPerformanceMetrics::freeAndTotalDiskBytes().freeBytes, 10ull << 30);
  EXPECT_EQ(OVAdPerformanceMetrics::freeAndTotalDiskBytes().totalBytes, 100ull << 30);
  EXPECT_EQ(OVAdPerformanceMetrics::freeDiskBytes(), 10ull << 30);
}

TEST_F(OVAdPerformanceMetricsTest, FiguresTheSystemCannotReportAreZero) {
  provider_->setCoreCount(std::nullopt);
  provider_->setSystemMemory({});
  provider_->setProcessMemory(std::nullopt);
  provider_->setDiskSpace(std::nullopt);
  EXPECT_EQ(OVAdPerformanceMetrics::coreCount(), 0u);
  EXPECT_EQ(OVAdPerformanceMetrics::freeMemoryBytes(), 0u);
  EXPECT_EQ(OVAdPerformanceMetrics::totalMemoryBytes(), 0u);
  EXPECT_EQ(OVAdPerformanceMetrics::residentMemoryBytes(), 0u);
  EXPECT_EQ(OVAdPerformanceMetrics::virtualMemoryBytes(), 0u);
  EXPECT_EQ(OVAdPerformanceMetrics::freeAndTotalDiskBytes().totalBytes, 0u);
  EXPECT_EQ(OVAdPerformanceMetrics::freeDiskBytes(), 0u);
}

TEST_F(OVAdPerformanceMetricsTest, BatteryIsReadWithMonitoringOnAndTheSwitchIsPutBack) {
  provider_->setBatteryReading({platform::BatteryState::Charging, 0.42});
  for (bool monitoring : {false, true}) {
    provider_->setBatteryMonitoringEnabled(monitoring);
    const OVAdDeviceBatteryInfo info = OVAdPerformanceMetrics::batteryInfo();
    EXPECT_EQ(info.batteryState, 2);
    EXPECT_EQ(info.batteryLevel, 0.42);
    EXPECT_EQ(provider_->isBatteryMonitoringEnabled(), monitoring);
  }
  EXPECT_EQ(provider_->batteryReads(), 2);
}

TEST_F(OVAdPerformanceMetricsTest, BatteryOffTheMainThreadIsUnknownAndLeavesMonitoringAlone) {
  provider_->setBatteryMonitoringEnabled(true);
  OVAdDeviceBatteryInfo info{};
  std::thread([&info] { info = OVAdPerformanceMetrics::batteryInfo(); }).join();
  EXPECT_EQ(info.batteryState, 0);
  EXPECT_EQ(info.batteryLevel, -1.0);
  EXPECT_EQ(provider_->batteryReads(), 0);
  EXPECT_TRUE(provider_->isBatteryMonitoringEnabled());
}

}  // namespace
}  // namespace plexora
