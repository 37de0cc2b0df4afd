#include "platform/device/Motion.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace plexora::platform {
namespace {

constexpr const char* kAccelerometerUnavailable = "The accelerometer is not available.";
constexpr const char* kGyroscopeUnavailable = "The gyroscope is not available.";

std::mutex& currentMutex() {
  static std::mutex mutex;
  return mutex;
}

// The process's own provider, made on first use and kept for good so that a
// restored default keeps the samples set on it.
std::shared_ptr<MotionProvider> systemProvider() {
  static const std::shared_ptr<MotionProvider> provider = std::make_shared<LinuxMotionProvider>();
  return provider;
}

std::shared_ptr<MotionProvider>& installedProvider() {
  static std::shared_ptr<MotionProvider> provider;
  return provider;
}

}  // namespace

Error motionSensorUnavailableError(MotionSensor sensor) {
  const char* description = sensor == MotionSensor::Accelerometer ? kAccelerometerUnavailable : kGyroscopeUnavailable;
  return Error(kMotionErrorDomain, kMotionErrorSensorUnavailable,
               Dictionary{{kLocalizedDescriptionKey, std::string(description)}});
}

std::shared_ptr<MotionProvider> MotionProvider::current() {
  {
    std::lock_guard lock(currentMutex());
    if (installedProvider()) return installedProvider();
  }
  return systemProvider();
}

void MotionProvider::setCurrent(std::shared_ptr<MotionProvider> provider) {
  std::shared_ptr<MotionProvider> replaced;
  std::lock_guard lock(currentMutex());
  replaced = std::exchange(installedProvider(), std::move(provider));
  // `replaced` is released after the lock, in case its destructor asks for
  // the current provider.
}

bool MotionProvider::hasSensor(MotionSensor) const { return true; }

void LinuxMotionProvider::setSample(MotionSensor sensor, std::optional<MotionSample> sample) {
  std::lock_guard lock(mutex_);
  (sensor == MotionSensor::Accelerometer ? accelerometer_ : gyroscope_) = sample;
}

bool LinuxMotionProvider::hasSensor(MotionSensor sensor) const {
  std::lock_guard lock(mutex_);
  return (sensor == MotionSensor::Accelerometer ? accelerometer_ : gyroscope_).has_value();
}

void LinuxMotionProvider::requestReading(MotionSensor sensor, std::shared_ptr<OperationQueue> queue,
                                         MotionHandler handler) {
  if (!queue || !handler) throw std::invalid_argument("a motion reading needs a queue and a handler");
  std::optional<MotionSample> sample;
  {
    std::lock_guard lock(mutex_);
    sample = sensor == MotionSensor::Accelerometer ? accelerometer_ : gyroscope_;
  }
  MotionReading reading = sample ? MotionReading(*sample) : MotionReading(motionSensorUnavailableError(sensor));
  queue->addOperation([handler = std::move(handler), reading = std::move(reading)] { handler(reading); });
}

ScopedMotionProvider::ScopedMotionProvider(std::shared_ptr<MotionProvider> provider) {
  std::lock_guard lock(currentMutex());
  previous_ = std::exchange(installedProvider(), std::move(provider));
}

ScopedMotionProvider::~ScopedMotionProvider() { MotionProvider::setCurrent(std::move(previous_)); }

}  // namespace plexora::platform
