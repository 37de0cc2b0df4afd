#include "util/OVAdDeviceState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "platform/device/DeviceProvider.h"
#include "platform/device/Motion.h"
#include "platform/value/Value.h"
#include "util/FakeDeviceProvider.h"
#include "util/OVAdDevice.h"
#include "util/OVAdSdkCapabilityUtility.h"

namespace plexora {
namespace {

using platform::Dictionary;
using platform::MotionSample;
using platform::MotionSensor;
using platform::Value;

// Keeps each reading request so the test delivers it when it chooses, on
// its own thread, as the motion queue would.
class RecordingMotionProvider final : public platform::MotionProvider {
 public:
  struct Request {
    MotionSensor sensor;
    std::shared_ptr<platform::OperationQueue> queue;
    platform::MotionHandler handler;
  };

  bool hasSensor(MotionSensor sensor) const override { return !missing.contains(sensor); }
  void requestReading(MotionSensor sensor, std::shared_ptr<platform::OperationQueue> queue,
                      platform::MotionHandler handler) override {
    requests.push_back({sensor, std::move(queue), std::move(handler)});
  }

  std::vector<Request> requests;
  std::set<MotionSensor> missing;
};

class OVAdDeviceStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OVAdDevice::resetCache();
    OVAdResetMotionSampleForTesting();
  }
  void TearDown() override {
    OVAdDevice::resetCache();
    OVAdResetMotionSampleForTesting();
  }

  static Value deviceState() {
    const auto json = OVAdDeviceStateJSON();
    EXPECT_TRUE(json.has_value());
    return json ? platform::parseJSON(*json).value_or(Value()) : Value();
  }

  // Samples once, answering each sensor with its reading.
  void sample(const platform::MotionReading& acceleration, const platform::MotionReading& rotation) {
    motion_->requests.clear();
    OVAdStartMotionSampling();
    ASSERT_EQ(motion_->requests.size(), 2u);
    for (const auto& request : motion_->requests) {
      EXPECT_NE(request.queue, nullptr);
      request.handler(request.sensor == MotionSensor::Accelerometer ? acceleration : rotation);
    }
  }

  std::shared_ptr<testing::FakeDeviceProvider> device_ = std::make_shared<testing::FakeDeviceProvider>();
  platform::ScopedDeviceProvider scopedDevice_{device_};
  std::shared_ptr<RecordingMotionProvider> motion_ = std::make_shared<RecordingMotionProvider>();
  platform::ScopedMotionProvider scopedMotion_{motion_};
};

TEST_F(OVAdDeviceStateTest, KeysInOrderWithTheMemoryFiguresUnderTheNamesTheServerReads) {
  device_->setSystemMemory({.totalBytes = 8000, .availableBytes = 3000});
  device_->setDiskSpace(platform::DiskSpace{.freeBytes = 123456, .totalBytes = 999999});
  device_->setBatteryReading({platform::BatteryState::Unplugged, 0.5});

  const auto json = OVAdDeviceStateJSON();
  ASSERT_TRUE(json.has_value());
  EXPECT_EQ(*json,
            R"({"total_memory":3000,"available_memory":8000,"free_space":123456,"battery":50.0,"charging":0,)"
            R"("accelerometer_x":0.0,"accelerometer_y":0.0,"accelerometer_z":0.0,"rotation_x":0.0,)"
            R"("rotation_y":0.0,"rotation_z":0.0})");
}

TEST_F(OVAdDeviceStateTest, BatteryLevelAndChargingFlag) {
  const struct {
    platform::BatteryReading reading;
    double battery;
    std::int64_t charging;
  } cases[] = {
      {{platform::BatteryState::Full, 1.0}, 100.0, 1},
      {{platform::BatteryState::Charging, 0.42}, 42.0, 1},
      {{platform::BatteryState::Unplugged, 0.42}, 42.0, 0},
      {{platform::BatteryState::Unknown, -1.0}, -100.0, 0},
  };
  for (const auto& c : cases) {
    device_->setBatteryReading(c.reading);
    OVAdDevice::resetCache();
    const Value state = deviceState();
    EXPECT_DOUBLE_EQ(state.find("battery")->toDouble(), c.battery) << static_cast<int>(c.reading.state);
    EXPECT_EQ(*state.find("charging"), Value(c.charging)) << static_cast<int>(c.reading.state);
  }
}

TEST_F(OVAdDeviceStateTest, ASamplingStoresOneReadingOfEachSensor) {
  sample(MotionSample{0.1, -0.2, 0.98, 1.0}, MotionSample{1.5, 2.5, -3.5, 1.0});
  const Value expected(Dictionary{{"accelerometer_x", 0.1},
                                  {"accelerometer_y", -0.2},
                                  {"accelerometer_z", 0.98},
                                  {"rotation_x", 1.5},
                                  {"rotation_y", 2.5},
                                  {"rotation_z", -3.5}});
  EXPECT_EQ(OVAdMotionSample(), expected);

  const Value state = deviceState();
  for (const auto& [key, value] : expected.asDictionary()) {
    EXPECT_EQ(*state.find(key), value) << key;
  }
}

TEST_F(OVAdDeviceStateTest, AReadingWithAnErrorLeavesThePreviousSample) {
  sample(MotionSample{1, 2, 3, 0}, MotionSample{4, 5, 6, 0});
  sample(platform::motionSensorUnavailableError(MotionSensor::Accelerometer), MotionSample{7, 8, 9, 0});
  const Value motion = OVAdMotionSample();
  EXPECT_EQ(*motion.find("accelerometer_x"), Value(1.0));
  EXPECT_EQ(*motion.find("accelerometer_z"), Value(3.0));
  EXPECT_EQ(*motion.find("rotation_x"), Value(7.0));
}

TEST_F(OVAdDeviceStateTest, AMissingSensorIsNotAskedAndKeepsItsPreviousSample) {
  sample(MotionSample{1, 2, 3, 0}, MotionSample{4, 5, 6, 0});
  const struct {
    const char* name;
    std::set<MotionSensor> missing;
    std::vector<MotionSensor> asked;
  } cases[] = {
      {"no gyroscope", {MotionSensor::Gyroscope}, {MotionSensor::Accelerometer}},
      {"no sensors at all", {MotionSensor::Accelerometer, MotionSensor::Gyroscope}, {}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    motion_->requests.clear();
    motion_->missing = test.missing;
    OVAdStartMotionSampling();
    std::vector<MotionSensor> asked;
    for (const auto& request : motion_->requests) {
      asked.push_back(request.sensor);
    }
    EXPECT_EQ(asked, test.asked);
  }
  const Value motion = OVAdMotionSample();
  EXPECT_EQ(*motion.find("accelerometer_x"), Value(1.0));
  EXPECT_EQ(*motion.find("rotation_z"), Value(6.0));
}

TEST_F(OVAdDeviceStateTest, ReadersOnOtherThreadsSeeWholeSamples) {
  sample(MotionSample{}, MotionSample{});
  const auto accelerometer = motion_->requests[0].sensor == MotionSensor::Accelerometer ? motion_->requests[0].handler
                                                                                         : motion_->requests[1].handler;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 1; i <= 2000; ++i) {
      const double v = i;
      accelerometer(MotionSample{v, v, v, 0});
    }
    done = true;
  });
  int torn = 0;
  while (!done) {
    const Value motion = OVAdMotionSample();
    const double x = motion.find("accelerometer_x")->toDouble();
    if (x != motion.find("accelerometer_y")->toDouble() || x != motion.find("accelerometer_z")->toDouble()) ++torn;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(*OVAdMotionSample().find("accelerometer_z"), Value(2000.0));
}

TEST(OVAdSdkCapabilityUtilityTest, CapabilityCodesInOrder) {
  EXPECT_EQ(OVAdSdkCapabilityUtility::supportedCapabilities(),
            (std::vector<std::int64_t>{3, 4, 5, 7, 9, 10, 12, 16, 17}));
}

}  // namespace
}  // namespace plexora
