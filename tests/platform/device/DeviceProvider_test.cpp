#include "platform/device/DeviceProvider.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/device/LinuxDeviceProvider.h"
#include "support/TempDir.h"

namespace plexora::platform {
namespace {

TEST(DeviceProviderTest, TheSystemProfileDescribesThisMachine) {
  const DeviceProfile profile = DeviceProfile::fromSystem();
  ASSERT_TRUE(profile.machine);
  EXPECT_FALSE(profile.machine->empty());
  EXPECT_EQ(profile.hardwareModel, "Linux");
  EXPECT_EQ(profile.systemName, "Linux");
  EXPECT_FALSE(profile.systemVersion.empty());
  ASSERT_TRUE(profile.advertisingIdentifier);
  EXPECT_EQ(profile.advertisingIdentifier->size(), 36u);
  EXPECT_EQ(DeviceProfile::fromSystem().advertisingIdentifier, profile.advertisingIdentifier);
  EXPECT_TRUE(profile.advertisingTrackingEnabled);
  EXPECT_EQ(profile.outputVolume, 1.0);
  EXPECT_EQ(profile.idiom, UserInterfaceIdiom::Phone);
  EXPECT_EQ(profile.screen.bounds, (ScreenSize{1280.0, 720.0}));
  EXPECT_EQ(profile.screen.scale, 1.0);
  EXPECT_FALSE(profile.radioAccessTechnology);
}

TEST(DeviceProviderTest, NativeScreenFiguresFollowScaleAndBoundsUnlessSet) {
  ScreenProfile screen;
  screen.bounds = {400.0, 300.0};
  screen.scale = 2.0;
  EXPECT_EQ(screen.effectiveNativeScale(), 2.0);
  EXPECT_EQ(screen.effectiveNativeBounds(), (ScreenSize{800.0, 600.0}));
  screen.nativeScale = 3.0;
  EXPECT_EQ(screen.effectiveNativeBounds(), (ScreenSize{1200.0, 900.0}));
  screen.nativeBounds = ScreenSize{1080.0, 1920.0};
  EXPECT_EQ(screen.effectiveNativeBounds(), (ScreenSize{1080.0, 1920.0}));
}

TEST(DeviceProviderTest, ScopedProviderReplacesAndRestoresTheCurrentOne) {
  const auto original = DeviceProvider::current();
  ASSERT_TRUE(original);
  EXPECT_NE(dynamic_cast<LinuxDeviceProvider*>(original.get()), nullptr);
  {
    auto replacement = std::make_shared<LinuxDeviceProvider>(DeviceProfile{});
    ScopedDeviceProvider scoped(replacement);
    EXPECT_EQ(DeviceProvider::current(), replacement);
    {
      auto inner = std::make_shared<LinuxDeviceProvider>(DeviceProfile{});
      ScopedDeviceProvider nested(inner);
      EXPECT_EQ(DeviceProvider::current(), inner);
    }
    EXPECT_EQ(DeviceProvider::current(), replacement);
  }
  EXPECT_EQ(DeviceProvider::current(), original);
}

TEST(DeviceProviderTest, ProfileChangesAreSeenByLaterReads) {
  LinuxDeviceProvider provider(DeviceProfile{});
  provider.updateProfile([](DeviceProfile& profile) {
    profile.outputVolume = 0.25;
    profile.radioAccessTechnology = "LTE";
  });
  EXPECT_EQ(provider.profile().outputVolume, 0.25);
  EXPECT_EQ(provider.profile().radioAccessTechnology, "LTE");

  DeviceProfile replaced;
  replaced.systemVersion = "9.1";
  provider.setProfile(replaced);
  EXPECT_EQ(provider.profile().systemVersion, "9.1");
  EXPECT_EQ(provider.profile().outputVolume, 1.0);
}

class LinuxSourcesTest : public ::testing::Test {
 protected:
  void write(const std::string& relativePath, std::string_view text) {
    const auto path = dir_.path() / relativePath;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << text;
  }
  LinuxDeviceSources sources() const {
    return {(dir_.path() / "proc").string(), (dir_.path() / "power_supply").string(), dir_.path().string()};
  }

  testing::TempDir dir_;
};

TEST_F(LinuxSourcesTest, FiguresComeFromTheFilesTheSourcesName) {
  write("proc/meminfo", "MemTotal: 2048 kB\nMemAvailable: 1024 kB\n");
  write("proc/self/statm", "10 4 3 1 0 2 0\n");
  write("power_supply/BAT1/type", "Battery\n");
  write("power_supply/BAT1/status", "Discharging\n");
  write("power_supply/BAT1/capacity", "35\n");
  LinuxDeviceProvider provider(DeviceProfile{}, sources());

  EXPECT_EQ(provider.systemMemory().totalBytes, 2048u * 1024);
  EXPECT_EQ(provider.systemMemory().availableBytes, 1024u * 1024);
  const auto process = provider.processMemory();
  ASSERT_TRUE(process);
  const auto pageSize = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
  EXPECT_EQ(process->virtualBytes, 10 * pageSize);
  EXPECT_EQ(process->residentBytes, 4 * pageSize);

  EXPECT_FALSE(provider.isBatteryMonitoringEnabled());
  EXPECT_EQ(provider.battery(), (BatteryReading{BatteryState::Unknown, -1.0}));
  provider.setBatteryMonitoringEnabled(true);
  EXPECT_EQ(provider.battery(), (BatteryReading{BatteryState::Unplugged, 0.35}));
}

TEST_F(LinuxSourcesTest, MissingProcFilesGiveNoFigures) {
  LinuxDeviceProvider provider(DeviceProfile{}, sources());
  EXPECT_FALSE(provider.systemMemory().totalBytes);
  EXPECT_FALSE(provider.systemMemory().availableBytes);
  EXPECT_FALSE(provider.processMemory());
}

TEST_F(LinuxSourcesTest, DiskSpaceIsThatOfTheFileSystemHoldingThePath) {
  LinuxDeviceProvider provider(DeviceProfile{}, sources());
  const auto space = provider.diskSpace();
  ASSERT_TRUE(space);
  const auto expected = std::filesystem::space(dir_.path());
  EXPECT_EQ(space->totalBytes, expected.capacity);
  EXPECT_GT(space->totalBytes, 0u);
  EXPECT_LE(space->freeBytes, space->totalBytes);
}

TEST_F(LinuxSourcesTest, ADiskPathThatDoesNotExistFallsBackToTheRootFileSystem) {
  LinuxDeviceSources missing = sources();
  missing.diskPath = (dir_.path() / "not" / "there").string();
  LinuxDeviceProvider provider(DeviceProfile{}, missing);
  const auto space = provider.diskSpace();
  ASSERT_TRUE(space);
  EXPECT_EQ(space->totalBytes, std::filesystem::space("/").capacity);
}

TEST(LinuxDeviceProviderTest, TheRunningSystemAnswersEveryFigure) {
  LinuxDeviceProvider provider;
  EXPECT_GE(provider.availableCoreCount().value_or(0), 1u);
  EXPECT_GT(provider.systemMemory().totalBytes.value_or(0), 0u);
  EXPECT_GT(provider.processMemory().value_or(ProcessMemory{}).residentBytes, 0u);
  EXPECT_TRUE(provider.diskSpace());
}

}  // namespace
}  // namespace plexora::platform
