#include "platform/device/DeviceProvider.h"

#include <utility>

#include "platform/device/LinuxDeviceProvider.h"

namespace plexora::platform {
namespace {

// The three are never destroyed: the library's background threads may ask
// for the provider while a host that just made an ad exits.
std::mutex& currentMutex() {
  static auto* const mutex = new std::mutex;
  return *mutex;
}

// The process's own provider, made on first use and kept for good so that a
// restored default keeps the host's profile changes.
std::shared_ptr<DeviceProvider> systemProvider() {
  static const auto* const provider = new std::shared_ptr<DeviceProvider>(std::make_shared<LinuxDeviceProvider>());
  return *provider;
}

std::shared_ptr<DeviceProvider>& installedProvider() {
  static auto* const provider = new std::shared_ptr<DeviceProvider>;
  return *provider;
}

}  // namespace

DeviceProvider::DeviceProvider(DeviceProfile profile) : profile_(std::move(profile)) {}

std::shared_ptr<DeviceProvider> DeviceProvider::current() {
  {
    std::lock_guard lock(currentMutex());
    if (installedProvider()) return installedProvider();
  }
  return systemProvider();
}

void DeviceProvider::setCurrent(std::shared_ptr<DeviceProvider> provider) {
  std::shared_ptr<DeviceProvider> replaced;
  std::lock_guard lock(currentMutex());
  replaced = std::exchange(installedProvider(), std::move(provider));
  // `replaced` is released after the lock, in case its destructor asks for
  // the current provider.
}

DeviceProfile DeviceProvider::profile() const {
  std::lock_guard lock(mutex_);
  return profile_;
}

void DeviceProvider::setProfile(DeviceProfile profile) {
  std::lock_guard lock(mutex_);
  profile_ = std::move(profile);
}

void DeviceProvider::updateProfile(const std::function<void(DeviceProfile&)>& change) {
  std::lock_guard lock(mutex_);
  change(profile_);
}

bool DeviceProvider::isBatteryMonitoringEnabled() const {
  std::lock_guard lock(mutex_);
  return batteryMonitoringEnabled_;
}

void DeviceProvider::setBatteryMonitoringEnabled(bool enabled) {
  std::lock_guard lock(mutex_);
  batteryMonitoringEnabled_ = enabled;
}

BatteryReading DeviceProvider::battery() const {
  if (!isBatteryMonitoringEnabled()) return BatteryReading{};
  return readBattery();
}

ScopedDeviceProvider::ScopedDeviceProvider(std::shared_ptr<DeviceProvider> provider) {
  std::lock_guard lock(currentMutex());
  previous_ = std::exchange(installedProvider(), std::move(provider));
}

ScopedDeviceProvider::~ScopedDeviceProvider() { DeviceProvider::setCurrent(std::move(previous_)); }

}  // namespace plexora::platform
