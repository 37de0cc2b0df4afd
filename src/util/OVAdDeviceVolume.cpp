#include "util/OVAdDeviceVolume.h"

#include <algorithm>
#include <cmath>

#include "platform/device/DeviceProvider.h"

namespace plexora {

double deviceVolume() {
  const double volume = platform::DeviceProvider::current()->profile().outputVolume;
  if (std::isnan(volume)) return 0.0;
  return std::clamp(volume, 0.0, 1.0);
}

}  // namespace plexora
