// What the ad's events and page learn about the device's state: memory,
// disk, battery and the last motion sample, as one JSON object. It travels
// as "analog" with ad command events, native-ad logging data and web
// impressions, and the web page can ask for it.
//
// One accelerometer and one gyroscope sample are taken each time request
// parameters are built; the device state reports the last of each (zeros
// before the first).
//
// Thread safety: every function may be called from any thread. The motion
// sample is written on the shared motion queue and read elsewhere; readers
// always see whole samples. The battery figures are only read on the main
// thread (elsewhere the battery reads as unknown).
// Ownership: the motion state and its queue live for the process.
#pragma once

#include <optional>
#include <string>

#include "platform/value/Value.h"

namespace plexora {

// The device state object's JSON text, keys in this order: "total_memory"
// (the free memory, in bytes), "available_memory" (the total memory),
// "free_space", "battery" (level times 100), "charging" (1 while charging
// or full), then the six motion keys. None when it cannot be written.
std::optional<std::string> OVAdDeviceStateJSON();

// A dictionary of "accelerometer_x", "accelerometer_y", "accelerometer_z",
// "rotation_x", "rotation_y" and "rotation_z" with the stored sample.
platform::Value OVAdMotionSample();

// Asks the motion sensors for one accelerometer and one gyroscope reading;
// each reading that arrives without an error replaces the stored one. A
// sensor the device does not have is not asked (its answer could only be
// an error), so on a machine without sensors this returns at once and
// queues nothing.
void OVAdStartMotionSampling();

// Forgets the stored sample, as before the first reading. Tests only.
void OVAdResetMotionSampleForTesting();

}  // namespace plexora
