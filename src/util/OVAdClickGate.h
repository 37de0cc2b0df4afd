// Clicks on ads count only when they come from a real tap on an ad that has
// been seen. The gate refuses, in this order: a click too soon after the
// ad's first impression (premature), a click before the impression (or too
// soon after it) while the configuration restricts clicks until the
// impression, and a tap in the margin along the edges of the ad view. Each
// refusal writes a warning and nothing else happens.
//
// The thresholds are read from the configuration at every click. Times are
// seconds since 2001 on the current Clock; a first impression time of -1
// means there has been no impression.
//
// Thread safety: main thread only.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/ui/Geometry.h"

namespace plexora::platform {
class View;
}

namespace plexora {

class OVAdConfigManager;

inline constexpr double kOVAdNoImpressionTime = -1.0;

// Whether a tap at `point` (in the view's own coordinates) lies inside the
// view's bounds less a margin of `marginPercentage` percent of its width on
// the left and right and of its height at the top and bottom. Below 1 every
// tap counts; at 50 or more none does.
bool ov_isTap(const platform::View& view, platform::Point point, std::int64_t marginPercentage);

class OVAdClickGate final {
 public:
  OVAdClickGate() = delete;

  // Step 1: refuses a click no later than the clickability threshold after
  // the first impression; passes while there is none.
  static bool passesPrematureClickCheck(double firstImpressionTime, const OVAdConfigManager& configuration);
  // Step 2: while clicks are restricted until the impression, refuses a
  // click before it or before the minimum time after it has passed.
  static bool passesImpressionCheck(double firstImpressionTime, const OVAdConfigManager& configuration);
  // Step 3: refuses a tap in the view's margin.
  static bool passesTapMarginCheck(const platform::View& view, platform::Point tap,
                                   const OVAdConfigManager& configuration);

  // Steps 1 and 2: a click reported without a tap.
  static bool allowsClick(double firstImpressionTime, const OVAdConfigManager& configuration);
  // Steps 1 to 3: a tap on the view.
  static bool allowsTap(double firstImpressionTime, const platform::View& view, platform::Point tap,
                        const OVAdConfigManager& configuration);
};

}  // namespace plexora
