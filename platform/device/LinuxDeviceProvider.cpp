#include "platform/device/LinuxDeviceProvider.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <utility>

#include "platform/foundation/Paths.h"

namespace plexora::platform {
namespace {

constexpr const char* kRootPath = "/";

std::optional<std::string> readText(const std::string& path) {
  std::ifstream file(path);
  if (!file) return std::nullopt;
  std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (file.bad()) return std::nullopt;
  return text;
}

std::optional<DiskSpace> diskSpaceAt(const std::string& path) {
  struct statvfs stats {};
  if (statvfs(path.c_str(), &stats) != 0) return std::nullopt;
  DiskSpace space;
  // Blocks available to an unprivileged process: what the library may fill.
  if (__builtin_mul_overflow(static_cast<std::uint64_t>(stats.f_bavail), static_cast<std::uint64_t>(stats.f_frsize),
                             &space.freeBytes) ||
      __builtin_mul_overflow(static_cast<std::uint64_t>(stats.f_blocks), static_cast<std::uint64_t>(stats.f_frsize),
                             &space.totalBytes)) {
    return std::nullopt;
  }
  return space;
}

}  // namespace

LinuxDeviceProvider::LinuxDeviceProvider(DeviceProfile profile, LinuxDeviceSources sources)
    : DeviceProvider(std::move(profile)), sources_(std::move(sources)) {}

std::optional<std::uint32_t> LinuxDeviceProvider::availableCoreCount() const {
  const long count = sysconf(_SC_NPROCESSORS_ONLN);
  if (count <= 0) return std::nullopt;
  return static_cast<std::uint32_t>(count);
}

SystemMemory LinuxDeviceProvider::systemMemory() const {
  const auto text = readText(sources_.procDirectory + "/meminfo");
  if (!text) return {};
  return parseMemInfo(*text);
}

std::optional<ProcessMemory> LinuxDeviceProvider::processMemory() const {
  const auto text = readText(sources_.procDirectory + "/self/statm");
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (!text || pageSize <= 0) return std::nullopt;
  return parseProcessStatm(*text, static_cast<std::uint64_t>(pageSize));
}

std::optional<DiskSpace> LinuxDeviceProvider::diskSpace() const {
  const std::string path = sources_.diskPath.empty() ? cachesDirectory() : sources_.diskPath;
  if (auto space = diskSpaceAt(path)) return space;
  return diskSpaceAt(kRootPath);
}

BatteryReading LinuxDeviceProvider::readBattery() const { return readSystemBattery(sources_.powerSupplyDirectory); }

}  // namespace plexora::platform
