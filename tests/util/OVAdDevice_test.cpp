#include "util/OVAdDevice.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Exception.h"
#include "util/FakeDeviceProvider.h"

namespace plexora {
namespace {

using platform::DeviceProfile;

class OVAdDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { OVAdDevice::resetCache(); }
  void TearDown() override { OVAdDevice::resetCache(); }

  void changeProfile(const std::function<void(DeviceProfile&)>& change) { provider_->updateProfile(change); }

  template <typename F>
  static auto offMainThread(F call) {
    decltype(call()) result{};
    std::thread([&] { result = call(); }).join();
    return result;
  }

  std::shared_ptr<testing::FakeDeviceProvider> provider_ = std::make_shared<testing::FakeDeviceProvider>();
  platform::ScopedDeviceProvider scopedProvider_{provider_};
  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>(1.7e9, 1000.0);
  platform::ScopedClock scopedClock_{clock_};
};

TEST_F(OVAdDeviceTest, ModelCodeAndFillRateTierOfMachineIdentifiers) {
  const struct {
    std::optional<std::string> machine;
    std::int64_t code;
    std::int64_t tier;
  } cases[] = {
      {"iPhone2,1", 3, 0},
      {"iPhone3,3", 4, 0},
      {"iPhone4,1", 5, 1},
      {"iPhone5,2", 6, 2},
      {"iPhone6,1", 7, 3},
      {"iPhone7,1", 9, 3},
      {"iPhone7,2", 8, 3},
      {"iPhone7", 8, 3},
      {"iPhone7,x", 9, 3},
      {"iPod3,1", 103, 0},
      {"iPod4,1", 104, 0},
      {"iPod5,1", 105, 1},
      {"iPad1,1", 201, 0},
      {"iPad2,4", 202, 1},
      {"iPad2,5", 207, 1},
      {"iPad3,3", 203, 0},
      {"iPad3,4", 204, 2},
      {"iPad4,3", 205, 3},
      {"iPad4,4", 208, 3},
      {"iPad5,3", 206, 3},
      {"x86_64", 900, 2},
      {"iPhone10,1", 999, 4},
      {"i386", 999, 4},
      {"", 999, 4},
      {std::nullopt, 999, 4},
      // A family number that merely starts with a known one is another family.
      {"iPad11,1", 999, 4},
      {"iPad10,1", 999, 4},
      {"iPhone70,1", 999, 4},
      {"iPod31,1", 999, 4},
      {"x866", 999, 4},
  };
  for (const auto& c : cases) {
    const std::int64_t code = OVAdDevice::deviceModelForMachine(c.machine);
    EXPECT_EQ(code, c.code) << c.machine.value_or("(none)");
    EXPECT_EQ(OVAdDevice::fillRateForDeviceModel(code), c.tier) << c.machine.value_or("(none)");
  }
}

TEST_F(OVAdDeviceTest, LiveModelFactsFollowTheMachineIdentifier) {
  EXPECT_EQ(OVAdDevice::deviceModel(), 900);
  EXPECT_EQ(OVAdDevice::adjustedFillRate(), 2);
  EXPECT_FALSE(OVAdDevice::isSlowerDevice());

  for (const char* slower : {"iPhone2,1", "iPhone3,1", "iPhone4,1", "iPod3,1", "iPad1,1"}) {
    changeProfile([&](DeviceProfile& profile) { profile.machine = slower; });
    OVAdDevice::resetCache();
    EXPECT_TRUE(OVAdDevice::isSlowerDevice()) << slower;
  }
  changeProfile([](DeviceProfile& profile) { profile.machine = "iPad11,1"; });
  OVAdDevice::resetCache();
  EXPECT_FALSE(OVAdDevice::isSlowerDevice());
  EXPECT_EQ(OVAdDevice::deviceModel(), 999);
}

TEST_F(OVAdDeviceTest, SystemStringsAreCleanedAndCutToTheirBuffers) {
  changeProfile([](DeviceProfile& profile) {
    profile.machine = std::string(" iPhone 7,2/\0", 13);
    profile.hardwareModel = "Model/With Spaces And A Name Longer Than Thirty-Two Bytes";
    profile.systemBuild = "16A366 extra long build";
  });
  EXPECT_EQ(OVAdDevice::machine(), "iPhone7,2");
  EXPECT_EQ(OVAdDevice::machineName(), "iPhone7,2");
  EXPECT_EQ(OVAdDevice::architecture(), "iPhone7,2");
  EXPECT_EQ(OVAdDevice::deviceModel(), 8);
  EXPECT_EQ(OVAdDevice::model(), "ModelWithSpacesAndANameLongerThanThirty-TwoBytes");
  EXPECT_EQ(OVAdDevice::systemBuildNumber(), "16A366extralon");

  changeProfile([](DeviceProfile& profile) { profile.machine = "0123456789abcdef0123456789ABCDEFtail"; });
  OVAdDevice::resetCache();
  EXPECT_EQ(OVAdDevice::machine(), "0123456789abcdef0123456789ABCDEF");
}

TEST_F(OVAdDeviceTest, SystemStringsThatCannotBeReadAreNone) {
  changeProfile([](DeviceProfile& profile) {
    profile.machine.reset();
    profile.hardwareModel = "Mod\xC3\xA8le";
    profile.systemBuild.reset();
  });
  EXPECT_FALSE(OVAdDevice::machine());
  EXPECT_FALSE(OVAdDevice::model());
  EXPECT_FALSE(OVAdDevice::systemBuildNumber());
  EXPECT_EQ(OVAdDevice::deviceModel(), 999);

  // Nothing was kept, so a value that becomes readable is seen.
  changeProfile([](DeviceProfile& profile) { profile.machine = "x86_64"; });
  EXPECT_EQ(OVAdDevice::machine(), "x86_64");
}

TEST_F(OVAdDeviceTest, KeptValuesStayUntilTheCacheIsReset) {
  OVAdDevice::initializeAndCacheValues();
  EXPECT_EQ(OVAdDevice::machine(), "x86_64");
  EXPECT_EQ(OVAdDevice::systemName(), "Linux");
  EXPECT_EQ(OVAdDevice::coreCount(), 4u);

  changeProfile([](DeviceProfile& profile) {
    profile.machine = "iPhone7,1";
    profile.systemName = "Other";
    profile.systemVersion = "11.0";
    profile.idiom = platform::UserInterfaceIdiom::Pad;
  });
  provider_->setCoreCount(16);
  EXPECT_EQ(OVAdDevice::machine(), "x86_64");
  EXPECT_EQ(OVAdDevice::systemName(), "Linux");
  EXPECT_EQ(OVAdDevice::systemVersion(), "10.3");
  EXPECT_FALSE(OVAdDevice::isPad());
  EXPECT_EQ(OVAdDevice::coreCount(), 4u);
  EXPECT_EQ(provider_->coreCountReads(), 1);

  OVAdDevice::resetCache();
  EXPECT_EQ(OVAdDevice::machine(), "iPhone7,1");
  EXPECT_EQ(OVAdDevice::systemName(), "Other");
  EXPECT_EQ(OVAdDevice::systemVersion(), "11.0");
  EXPECT_TRUE(OVAdDevice::isPad());
  EXPECT_EQ(OVAdDevice::coreCount(), 16u);
}

TEST_F(OVAdDeviceTest, ACoreCountTheSystemCannotReportIsZero) {
  provider_->setCoreCount(std::nullopt);
  EXPECT_EQ(OVAdDevice::coreCount(), 0u);
}

TEST_F(OVAdDeviceTest, PadFlagNeedsThePadIdiomAndThePadFamily) {
  using platform::Array;
  using platform::UserInterfaceIdiom;
  using platform::Value;
  const struct {
    const char* name;
    UserInterfaceIdiom idiom;
    Value families;
    bool pad;
  } cases[] = {
      {"phone idiom", UserInterfaceIdiom::Phone, Value(Array{1, 2}), false},
      {"universal", UserInterfaceIdiom::Pad, Value(Array{1, 2}), true},
      {"phone only", UserInterfaceIdiom::Pad, Value(Array{1}), false},
      {"string in array", UserInterfaceIdiom::Pad, Value(Array{"1", "2"}), true},
      {"string", UserInterfaceIdiom::Pad, Value("2"), true},
      {"other string", UserInterfaceIdiom::Pad, Value("1,2"), false},
      {"number", UserInterfaceIdiom::Pad, Value(2), true},
      {"double", UserInterfaceIdiom::Pad, Value(2.0), true},
      {"bool", UserInterfaceIdiom::Pad, Value(true), false},
      {"none", UserInterfaceIdiom::Pad, Value(), false},
      {"dictionary", UserInterfaceIdiom::Pad, Value(platform::Dictionary{{"2", 2}}), false},
      {"unspecified idiom", UserInterfaceIdiom::Unspecified, Value(Array{2}), false},
  };
  for (const auto& c : cases) {
    changeProfile([&](DeviceProfile& profile) {
      profile.idiom = c.idiom;
      profile.applicationDeviceFamilies = c.families;
    });
    OVAdDevice::resetCache();
    EXPECT_EQ(OVAdDevice::isPad(), c.pad) << c.name;
  }
}

TEST_F(OVAdDeviceTest, PhoneOnlyApplicationOnATabletRunsInThePhoneEmulator) {
  changeProfile([](DeviceProfile& profile) {
    profile.idiom = platform::UserInterfaceIdiom::Pad;
    profile.modelName = "iPad";
    profile.applicationDeviceFamilies = platform::Value(platform::Array{1});
  });
  EXPECT_FALSE(OVAdDevice::isPad());
  EXPECT_TRUE(OVAdDevice::isRunningOnPadInPhoneEmulator());

  changeProfile([](DeviceProfile& profile) {
    profile.applicationDeviceFamilies = platform::Value(platform::Array{1, 2});
  });
  OVAdDevice::resetCache();
  EXPECT_FALSE(OVAdDevice::isRunningOnPadInPhoneEmulator());

  changeProfile([](DeviceProfile& profile) { profile.modelName = "Linux"; });
  EXPECT_FALSE(OVAdDevice::isRunningOnPadInPhoneEmulator());
}

TEST_F(OVAdDeviceTest, SystemVersionComparison) {
  const struct {
    const char* system;
    const char* wanted;
    bool atLeast;
  } cases[] = {
      {"10.3", "8.0", true},
      {"10.3", "9.0", true},
      {"10.3", "10.3", true},
      {"10.3", "10.3.0", true},
      {"10.3", "10", true},
      {"10.3", "010.03", true},
      {"10.3", "10.3.1", false},
      {"10.3", "11", false},
      {"10.3", "10.10", false},
      {"10.3.0.0", "10.3", true},
      {"10.3-beta", "10.3", true},
      {"6.8.0", "8.0", false},
      {"", "0", true},
      {"", "1", false},
      {"-5.0", "0.0", true},
      {"abc", "0.1", false},
      {"10.3", "99999999999999999999", false},
  };
  for (const auto& c : cases) {
    changeProfile([&](DeviceProfile& profile) { profile.systemVersion = c.system; });
    OVAdDevice::resetCache();
    EXPECT_EQ(OVAdDevice::systemVersionIsGreaterThanOrEqualTo(std::string(c.wanted)), c.atLeast)
        << c.system << " >= " << c.wanted;
    EXPECT_EQ(OVAdDevice::systemVersionIsLessThan(std::string(c.wanted)), !c.atLeast) << c.system << " < " << c.wanted;
  }

  EXPECT_FALSE(OVAdDevice::systemVersionIsGreaterThanOrEqualTo(std::nullopt));
  EXPECT_TRUE(OVAdDevice::systemVersionIsLessThan(std::nullopt));
}

TEST_F(OVAdDeviceTest, TheNamedVersionChecksCompareWithEightAndNine) {
  EXPECT_TRUE(OVAdDevice::systemVersionIsGreaterThanOrEqualToiOS8());
  EXPECT_TRUE(OVAdDevice::systemVersionIsGreaterThanOrEqualToiOS9());
  changeProfile([](DeviceProfile& profile) { profile.systemVersion = "8.4"; });
  OVAdDevice::resetCache();
  EXPECT_TRUE(OVAdDevice::systemVersionIsGreaterThanOrEqualToiOS8());
  EXPECT_FALSE(OVAdDevice::systemVersionIsGreaterThanOrEqualToiOS9());
}

TEST_F(OVAdDeviceTest, AMalformedVersionToCompareWithRaises) {
  const struct {
    const char* version;
    const char* reason;
  } cases[] = {
      {"10..3", "Invalid version number"}, {"", "Invalid version number"},       {"8.", "Invalid version number"},
      {".8", "Invalid version number"},    {"10.a", "Invalid version number."},  {"1 0", "Invalid version number."},
      {"-1", "Invalid version number."},   {"10.3b", "Invalid version number."},
  };
  for (const auto& c : cases) {
    try {
      OVAdDevice::systemVersionIsGreaterThanOrEqualTo(std::string(c.version));
      ADD_FAILURE() << "no exception for " << c.version;
    } catch (const platform::Exception& exception) {
      EXPECT_EQ(exception.name(), "NSInvalidArgumentException") << c.version;
      EXPECT_EQ(exception.reason(), c.reason) << c.version;
    }
  }
}

TEST_F(OVAdDeviceTest, BatteryReadOnTheMainThreadIsReusedFor180Seconds) {
  EXPECT_EQ(OVAdDevice::deviceBatteryInfo().batteryLevel, 0.5);
  provider_->setBatteryReading({platform::BatteryState::Charging, 0.75});

  clock_->advance(180.0);
  EXPECT_EQ(OVAdDevice::deviceBatteryInfo().batteryLevel, 0.5);
  EXPECT_EQ(OVAdDevice::deviceBatteryInfo().batteryState, 1);
  EXPECT_EQ(provider_->batteryReads(), 1);

  clock_->advance(0.5);
  EXPECT_EQ(OVAdDevice::deviceBatteryInfo().batteryLevel, 0.75);
  EXPECT_EQ(OVAdDevice::deviceBatteryInfo().batteryState, 2);
  EXPECT_EQ(provider_->batteryReads(), 2);
}

TEST_F(OVAdDeviceTest, BatteryReadOffTheMainThreadIsRepeatedAtTheNextCall) {
  const OVAdDeviceBatteryInfo offMain = offMainThread([] { return OVAdDevice::deviceBatteryInfo(); });
  EXPECT_EQ(offMain.batteryLevel, -1.0);
  EXPECT_EQ(offMain.batteryState, 0);
  EXPECT_EQ(provider_->batteryReads(), 0);

  EXPECT_EQ(OVAdDevice::deviceBatteryInfo().batteryLevel, 0.5);
  EXPECT_EQ(provider_->batteryReads(), 1);
  // A reading kept on the main thread serves the other threads too.
  EXPECT_EQ(offMainThread([] { return OVAdDevice::deviceBatteryInfo(); }).batteryLevel, 0.5);
}

struct RefreshedFigure {
  const char* name;
  std::uint64_t (*read)();
  std::function<void(testing::FakeDeviceProvider&, std::uint64_t)> set;
  double interval;
};

const RefreshedFigure kRefreshedFigures[] = {
    {"free memory", &OVAdDevice::freeMemoryBytes,
     [](testing::FakeDeviceProvider& provider, std::uint64_t bytes) {
       provider.setSystemMemory({std::uint64_t{1} << 40, bytes});
     },
     60.0},
    {"total memory", &OVAdDevice::totalMemoryBytes,
     [](testing::FakeDeviceProvider& provider, std::uint64_t bytes) {
       provider.setSystemMemory({bytes, 1});
     },
     180.0},
    {"free disk", &OVAdDevice::freeDiskBytes,
     [](testing::FakeDeviceProvider& provider, std::uint64_t bytes) {
       provider.setDiskSpace(platform::DiskSpace{bytes, std::uint64_t{1} << 40});
     },
     180.0},
};

TEST_F(OVAdDeviceTest, FiguresReadOnTheMainThreadAreReusedForTheirInterval) {
  for (const auto& figure : kRefreshedFigures) {
    OVAdDevice::resetCache();
    figure.set(*provider_, 100);
    EXPECT_EQ(figure.read(), 100u) << figure.name;
    figure.set(*provider_, 200);
    clock_->advance(figure.interval);
    EXPECT_EQ(figure.read(), 100u) << figure.name;
    clock_->advance(0.001);
    EXPECT_EQ(figure.read(), 200u) << figure.name;
  }
}

TEST_F(OVAdDeviceTest, FiguresReadOffTheMainThreadAreReadAgainAtTheNextCall) {
  for (const auto& figure : kRefreshedFigures) {
    OVAdDevice::resetCache();
    figure.set(*provider_, 100);
    EXPECT_EQ(offMainThread(figure.read), 100u) << figure.name;
    figure.set(*provider_, 200);
    EXPECT_EQ(offMainThread(figure.read), 200u) << figure.name;
    figure.set(*provider_, 300);
    EXPECT_EQ(figure.read(), 300u) << figure.name;
  }
}

TEST_F(OVAdDeviceTest, FiguresAreReadAtTheFirstCallEvenSoonAfterBoot) {
  auto earlyClock = std::make_shared<platform::ManualClock>(1.7e9, 5.0);
  platform::ScopedClock scoped(earlyClock);
  EXPECT_EQ(OVAdDevice::freeMemoryBytes(), 2ull << 30);
  EXPECT_EQ(OVAdDevice::totalMemoryBytes(), 8ull << 30);
  EXPECT_EQ(OVAdDevice::freeDiskBytes(), 10ull << 30);
  EXPECT_EQ(OVAdDevice::deviceBatteryInfo().batteryLevel, 0.5);
}

TEST_F(OVAdDeviceTest, ResetCacheMakesTheNextCallReadAgain) {
  EXPECT_EQ(OVAdDevice::freeMemoryBytes(), 2ull << 30);
  provider_->setSystemMemory({8ull << 30, 3ull << 30});
  OVAdDevice::resetCache();
  EXPECT_EQ(OVAdDevice::freeMemoryBytes(), 3ull << 30);
}

TEST_F(OVAdDeviceTest, FreeDiskSpaceIsReadAtEachCallAndZeroWhenUnknown) {
  EXPECT_EQ(OVAdDevice::freeDiskSpace(), 10ull << 30);
  provider_->setDiskSpace(platform::DiskSpace{5, 10});
  EXPECT_EQ(OVAdDevice::freeDiskSpace(), 5u);
  provider_->setDiskSpace(std::nullopt);
  EXPECT_EQ(OVAdDevice::freeDiskSpace(), 0u);
}

TEST_F(OVAdDeviceTest, ManyThreadsAskingAtOnceSeeOneConsistentAnswer) {
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&wrong, i] {
      for (int round = 0; round < 200; ++round) {
        if (i == 0 && round % 50 == 0) OVAdDevice::resetCache();
        if (OVAdDevice::adjustedFillRate() != 2 || OVAdDevice::machine() != "x86_64" ||
            OVAdDevice::freeMemoryBytes() != (2ull << 30)) {
          ++wrong;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace plexora
