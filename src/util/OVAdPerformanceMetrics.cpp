#include "util/OVAdPerformanceMetrics.h"

#include "platform/device/DeviceProvider.h"
#include "platform/dispatch/DispatchQueue.h"

namespace plexora {

std::uint32_t OVAdPerformanceMetrics::coreCount() {
  return platform::DeviceProvider::current()->availableCoreCount().value_or(0);
}

OVAdDeviceBatteryInfo OVAdPerformanceMetrics::batteryInfo() {
  if (!platform::DispatchQueue::isMainThread()) return {};
  const auto provider = platform::DeviceProvider::current();
  const bool wasMonitoring = provider->isBatteryMonitoringEnabled();
  provider->setBatteryMonitoringEnabled(true);
  const platform::BatteryReading reading = provider->battery();
  provider->setBatteryMonitoringEnabled(wasMonitoring);
  return {static_cast<std::int64_t>(reading.state), reading.level};
}

std::uint64_t OVAdPerformanceMetrics::freeMemoryBytes() {
  return platform::DeviceProvider::current()->systemMemory().availableBytes.value_or(0);
}

std::uint64_t OVAdPerformanceMetrics::totalMemoryBytes() {
  return platform::DeviceProvider::current()->systemMemory().totalBytes.value_or(0);
}

std::uint64_t OVAdPerformanceMetrics::residentMemoryBytes() {
  const auto memory = platform::DeviceProvider::current()->processMemory();
  return memory ? memory->residentBytes : 0;
}

std::uint64_t OVAdPerformanceMetrics::virtualMemoryBytes() {
  const auto memory = platform::DeviceProvider::current()->processMemory();
  return memory ? memory->virtualBytes : 0;
}

OVAdDiskBytes OVAdPerformanceMetrics::freeAndTotalDiskBytes() {
  const auto space = platform::DeviceProvider::current()->diskSpace();
  if (!space) return {};
  return {space->freeBytes, space->totalBytes};
}

std::uint64_t OVAdPerformanceMetrics::freeDiskBytes() { return freeAndTotalDiskBytes().freeBytes; }

}  // namespace plexora
