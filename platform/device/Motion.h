// Motion sensors: one reading at a time from the accelerometer (in g) or the
// gyroscope (rotation rate in radians per second), answered with the sample
// or an error.
//
// The process starts with a LinuxMotionProvider: Linux machines have no
// motion sensors it could read, so it answers the "unavailable" error unless
// a sample was set for the sensor. A test installs a provider of its own for
// the life of a scope (ScopedMotionProvider) to drive readings and errors.
//
// A caller that would ignore the "unavailable" error anyway asks
// hasSensor() first and skips the request: a reading that can only fail is
// not worth an operation on a queue.
//
// Thread safety: every member may be called from any thread.
// Ownership: the process holds the current provider in a shared_ptr; a
// pending reading holds its queue and handler until it is answered.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

#include "platform/dispatch/OperationQueue.h"
#include "platform/foundation/Error.h"

namespace plexora::platform {

inline constexpr const char* kMotionErrorDomain = "PlexoraMotionErrorDomain";
// The device has no such sensor, or it cannot be read.
inline constexpr std::int64_t kMotionErrorSensorUnavailable = 1;

enum class MotionSensor { Accelerometer, Gyroscope };

struct MotionSample {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  // When the sensor measured it: seconds of Clock::monotonicTime().
  double timestamp = 0.0;

  bool operator==(const MotionSample&) const = default;
};

using MotionReading = std::variant<MotionSample, Error>;
using MotionHandler = std::function<void(const MotionReading& reading)>;

// The error of kMotionErrorDomain for a sensor that cannot be read.
Error motionSensorUnavailableError(MotionSensor sensor);

class MotionProvider {
 public:
  virtual ~MotionProvider() = default;
  MotionProvider(const MotionProvider&) = delete;
  MotionProvider& operator=(const MotionProvider&) = delete;

  // The provider in force (a LinuxMotionProvider unless replaced).
  static std::shared_ptr<MotionProvider> current();
  // Installs `provider`; null restores the process's own Linux provider.
  static void setCurrent(std::shared_ptr<MotionProvider> provider);

  // Whether `sensor` can be read at all: false only when every reading
  // would answer the "unavailable" error. A provider that cannot tell
  // answers true.
  virtual bool hasSensor(MotionSensor sensor) const;

  // Asks `sensor` for one reading: `handler` runs once, as an operation on
  // `queue`, with the sample or the error. Throws std::invalid_argument for a
  // null queue or handler.
  virtual void requestReading(MotionSensor sensor, std::shared_ptr<OperationQueue> queue, MotionHandler handler) = 0;

 protected:
  MotionProvider() = default;
};

class LinuxMotionProvider final : public MotionProvider {
 public:
  LinuxMotionProvider() = default;

  // The sample every later reading of `sensor` answers; none brings the
  // "unavailable" error back.
  void setSample(MotionSensor sensor, std::optional<MotionSample> sample);

  // True only while a sample is set for `sensor`.
  bool hasSensor(MotionSensor sensor) const override;
  void requestReading(MotionSensor sensor, std::shared_ptr<OperationQueue> queue, MotionHandler handler) override;

 private:
  mutable std::mutex mutex_;
  std::optional<MotionSample> accelerometer_;
  std::optional<MotionSample> gyroscope_;
};

// Installs a provider for the life of the scope and restores the previous
// one.
class ScopedMotionProvider {
 public:
  explicit ScopedMotionProvider(std::shared_ptr<MotionProvider> provider);
  ~ScopedMotionProvider();
  ScopedMotionProvider(const ScopedMotionProvider&) = delete;
  ScopedMotionProvider& operator=(const ScopedMotionProvider&) = delete;

 private:
  std::shared_ptr<MotionProvider> previous_;
};

}  // namespace plexora::platform
