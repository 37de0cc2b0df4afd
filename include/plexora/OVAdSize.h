// The size an ad is requested in: two doubles, width and height, in points.
// A dimension of kOVAdSizeFlexible follows the space the host gives the ad;
// 0 by 0 stands for a full-screen ad.
//
// Thread safety: plain values.
#pragma once

#include "platform/Export.h"

namespace plexora {

struct PLEXORA_EXPORT OVAdSize {
  double width = 0.0;
  double height = 0.0;

  bool operator==(const OVAdSize&) const = default;
};

inline constexpr double kOVAdSizeFlexible = -1.0;

inline constexpr OVAdSize kOVAdSize320x50{320.0, 50.0};
inline constexpr OVAdSize kOVAdSizeHeight50Banner{kOVAdSizeFlexible, 50.0};
inline constexpr OVAdSize kOVAdSizeHeight90Banner{kOVAdSizeFlexible, 90.0};
inline constexpr OVAdSize kOVAdSizeHeight250Rectangle{kOVAdSizeFlexible, 250.0};
inline constexpr OVAdSize kOVAdSizeInterstitial{0.0, 0.0};
inline constexpr OVAdSize kOVAdSizeNative{kOVAdSizeFlexible, kOVAdSizeFlexible};

}  // namespace plexora
