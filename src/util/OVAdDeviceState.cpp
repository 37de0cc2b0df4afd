#include "util/OVAdDeviceState.h"

#include <mutex>
#include <variant>

#include "platform/device/Motion.h"
#include "platform/dispatch/OperationQueue.h"
#include "util/OVAdDevice.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

constexpr const char* kTotalMemoryKey = "total_memory";
constexpr const char* kAvailableMemoryKey = "available_memory";
constexpr const char* kFreeSpaceKey = "free_space";
constexpr const char* kBatteryKey = "battery";
constexpr const char* kChargingKey = "charging";
constexpr const char* kAccelerometerXKey = "accelerometer_x";
constexpr const char* kAccelerometerYKey = "accelerometer_y";
constexpr const char* kAccelerometerZKey = "accelerometer_z";
constexpr const char* kRotationXKey = "rotation_x";
constexpr const char* kRotationYKey = "rotation_y";
constexpr const char* kRotationZKey = "rotation_z";

constexpr const char* kMotionQueueName = "com.plexora.ads.motion";

constexpr std::int64_t kBatteryStateCharging = 2;
constexpr std::int64_t kBatteryStateFull = 3;
constexpr double kBatteryPercent = 100.0;

struct Vector3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

// The last readings. A mutex, not six separate atomics, so that a reader
// never sees half of one sample and half of the next.
struct MotionState {
  std::mutex mutex;
  Vector3 acceleration;
  Vector3 rotationRate;
};

MotionState& motionState() {
  static MotionState state;
  return state;
}

const std::shared_ptr<platform::OperationQueue>& motionQueue() {
  static const auto queue = platform::OperationQueue::create(kMotionQueueName);
  return queue;
}

// Stores a reading that arrived without an error; an error leaves the
// previous sample in place. Each request yields one reading at most, so
// nothing is left to stop.
void store(Vector3 MotionState::*slot, const platform::MotionReading& reading) {
  const auto* sample = std::get_if<platform::MotionSample>(&reading);
  if (sample == nullptr) return;
  auto& state = motionState();
  std::lock_guard lock(state.mutex);
  state.*slot = {sample->x, sample->y, sample->z};
}

}  // namespace

platform::Value OVAdMotionSample() {
  auto& state = motionState();
  std::lock_guard lock(state.mutex);
  return platform::Value(platform::Dictionary{
      {kAccelerometerXKey, state.acceleration.x},
      {kAccelerometerYKey, state.acceleration.y},
      {kAccelerometerZKey, state.acceleration.z},
      {kRotationXKey, state.rotationRate.x},
      {kRotationYKey, state.rotationRate.y},
      {kRotationZKey, state.rotationRate.z},
  });
}

void OVAdStartMotionSampling() {
  const auto provider = platform::MotionProvider::current();
  // A missing sensor could only answer an error, which stores nothing: not
  // asking it spares every request two trips through the motion queue.
  if (provider->hasSensor(platform::MotionSensor::Accelerometer)) {
    provider->requestReading(platform::MotionSensor::Accelerometer, motionQueue(),
                             [](const platform::MotionReading& reading) { store(&MotionState::acceleration, reading); });
  }
  if (provider->hasSensor(platform::MotionSensor::Gyroscope)) {
    provider->requestReading(platform::MotionSensor::Gyroscope, motionQueue(),
                             [](const platform::MotionReading& reading) { store(&MotionState::rotationRate, reading); });
  }
}

void OVAdResetMotionSampleForTesting() {
  auto& state = motionState();
  std::lock_guard lock(state.mutex);
  state.acceleration = {};
  state.rotationRate = {};
}

std::optional<std::string> OVAdDeviceStateJSON() {
  const OVAdDeviceBatteryInfo battery = OVAdDevice::deviceBatteryInfo();
  const bool charging = battery.batteryState == kBatteryStateCharging || battery.batteryState == kBatteryStateFull;
  // The server reads the free memory under "total_memory" and the total
  // under "available_memory".
  platform::Value state(platform::Dictionary{
      {kTotalMemoryKey, OVAdDevice::freeMemoryBytes()},
      {kAvailableMemoryKey, OVAdDevice::totalMemoryBytes()},
      {kFreeSpaceKey, OVAdDevice::freeDiskBytes()},
      {kBatteryKey, battery.batteryLevel * kBatteryPercent},
      {kChargingKey, charging ? 1 : 0},
  });
  const platform::Value motion = OVAdMotionSample();
  for (const auto& [key, value] : motion.asDictionary()) {
    state.set(key, value);
  }
  return OVAdUtility::getJSONStringFromObject(state);
}

}  // namespace plexora
