// The parameters of one "video" event: the action, the target view's
// geometry and its window's size, autoplay, the playback times and the
// viewability and audibility statistics, every value a string, in the order
// the logging server reads them.
//
// Thread safety: main thread only (the factories read the view tree).
// Ownership: a value; the factories only read the view.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/value/Value.h"
#include "util/OVAdQualityMetric.h"

namespace plexora::platform {
class View;
}

namespace plexora {

// The "action" codes of video events.
enum class OVAdVideoAction : std::int64_t {
  kNone = -1,  // no "action" parameter
  kSkip = 1,
  kTime = 2,
  kMRC = 3,
  kPause = 4,
  kResume = 5,
  kViewableImpression = 10,
  kFirstProgress = 16,
};

class OVAdVideoLoggingEvent {
 public:
  // Action, geometry, autoplay, time.
  static OVAdVideoLoggingEvent loggingEventWithAction(OVAdVideoAction action, const platform::View* targetView,
                                                      bool autoplay, double currentTime);
  // The same plus the ten statistics keys.
  static OVAdVideoLoggingEvent loggingEventWithAction(OVAdVideoAction action, const platform::View* targetView,
                                                      bool autoplay, double currentTime,
                                                      const OVAdQualityMetric& viewabilityStatistics,
                                                      const OVAdQualityMetric& audibilityStatistics);
  // The same plus "ptime" after "time".
  static OVAdVideoLoggingEvent loggingEventWithAction(OVAdVideoAction action, const platform::View* targetView,
                                                      bool autoplay, double currentTime, double previousTime,
                                                      const OVAdQualityMetric& viewabilityStatistics,
                                                      const OVAdQualityMetric& audibilityStatistics);

  OVAdVideoLoggingEvent() = default;
  explicit OVAdVideoLoggingEvent(platform::Dictionary loggingParams) : loggingParams_(std::move(loggingParams)) {}

  const platform::Dictionary& loggingParams() const { return loggingParams_; }

 private:
  static OVAdVideoLoggingEvent make(OVAdVideoAction action, const platform::View* targetView, bool autoplay,
                                    double currentTime, std::optional<double> previousTime,
                                    const OVAdQualityMetric* viewabilityStatistics,
                                    const OVAdQualityMetric* audibilityStatistics);

  platform::Dictionary loggingParams_;
};

}  // namespace plexora
