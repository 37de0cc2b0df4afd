#include "tracking/OVAdVideoLoggingEvent.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace plexora {

namespace {

constexpr const char* kActionKey = "action";
constexpr const char* kTopKey = "pt";
constexpr const char* kLeftKey = "pl";
constexpr const char* kHeightKey = "ph";
constexpr const char* kWidthKey = "pw";
constexpr const char* kWindowHeightKey = "vph";
constexpr const char* kWindowWidthKey = "vpw";
constexpr const char* kAutoplayKey = "autoplay";
constexpr const char* kTimeKey = "time";
constexpr const char* kPreviousTimeKey = "ptime";
constexpr const char* kViewabilityAverageKey = "vwa";
constexpr const char* kViewabilityMinimumKey = "vwm";
constexpr const char* kViewabilityMaximumKey = "vwmax";
constexpr const char* kViewableMillisecondsKey = "vtime_ms";
constexpr const char* kContinuousViewableMillisecondsKey = "mcvt_ms";
constexpr const char* kAudibilityAverageKey = "vla";
constexpr const char* kAudibilityMinimumKey = "vlm";
constexpr const char* kAudibilityMaximumKey = "vlmax";
constexpr const char* kAudibleMillisecondsKey = "atime_ms";
constexpr const char* kContinuousAudibleMillisecondsKey = "mcat_ms";

std::string decimal(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%f", value);
  return text;
}

// Seconds as whole milliseconds, truncated. A count that is not a finite
// number, or is negative, has no meaning as an unsigned figure: 0.
std::string milliseconds(double seconds) {
  const double ms = seconds * 1000.0;
  unsigned long whole = 0;
  if (std::isfinite(ms) && ms > 0.0) {
    whole = ms >= static_cast<double>(std::numeric_limits<unsigned long>::max())
                ? std::numeric_limits<unsigned long>::max()
                : static_cast<unsigned long>(ms);
  }
  return std::to_string(whole);
}

}  // namespace

OVAdVideoLoggingEvent OVAdVideoLoggingEvent::loggingEventWithAction(OVAdVideoAction action,
                                                                    const platform::View* targetView, bool autoplay,
                                                                    double currentTime) {
  return make(action, targetView, autoplay, currentTime, std::nullopt, nullptr, nullptr);
}

OVAdVideoLoggingEvent OVAdVideoLoggingEvent::loggingEventWithAction(OVAdVideoAction action,
                                                                    const platform::View* targetView, bool autoplay,
                                                                    double currentTime,
                                                                    const OVAdQualityMetric& viewabilityStatistics,
                                                                    const OVAdQualityMetric& audibilityStatistics) {
  return make(action, targetView, autoplay, currentTime, std::nullopt, &viewabilityStatistics,
              &audibilityStatistics);
}

OVAdVideoLoggingEvent OVAdVideoLoggingEvent::loggingEventWithAction(
    OVAdVideoAction action, const platform::View* targetView, bool autoplay, double currentTime, double previousTime,
    const OVAdQualityMetric& viewabilityStatistics, const OVAdQualityMetric& audibilityStatistics) {
  return make(action, targetView, autoplay, currentTime, previousTime, &viewabilityStatistics, &audibilityStatistics);
}

OVAdVideoLoggingEvent OVAdVideoLoggingEvent::make(OVAdVideoAction action, const platform::View* targetView,
                                                  bool autoplay, double currentTime, std::optional<double> previousTime,
                                                  const OVAdQualityMetric* viewabilityStatistics,
                                                  const OVAdQualityMetric* audibilityStatistics) {
  platform::Dictionary params;
  if (action != OVAdVideoAction::kNone) params.set(kActionKey, std::to_string(static_cast<std::int64_t>(action)));
  const platform::Rect frame = targetView ? targetView->frame() : platform::Rect();
  params.set(kTopKey, decimal(frame.minY()));
  params.set(kLeftKey, decimal(frame.minX()));
  params.set(kHeightKey, decimal(frame.height()));
  params.set(kWidthKey, decimal(frame.width()));
  const auto window = targetView ? targetView->window() : nullptr;
  const platform::Rect windowFrame = window ? window->frame() : platform::Rect();
  params.set(kWindowHeightKey, decimal(windowFrame.height()));
  params.set(kWindowWidthKey, decimal(windowFrame.width()));
  params.set(kAutoplayKey, autoplay ? "1" : "0");
  params.set(kTimeKey, decimal(currentTime));
  if (previousTime) params.set(kPreviousTimeKey, decimal(*previousTime));
  if (viewabilityStatistics && audibilityStatistics) {
    params.set(kViewabilityAverageKey, decimal(viewabilityStatistics->avg()));
    params.set(kViewabilityMinimumKey, decimal(viewabilityStatistics->min()));
    params.set(kViewabilityMaximumKey, decimal(viewabilityStatistics->max()));
    params.set(kViewableMillisecondsKey, milliseconds(viewabilityStatistics->eligibleSeconds()));
    params.set(kContinuousViewableMillisecondsKey, milliseconds(viewabilityStatistics->maxContinuousEligibleSeconds()));
    params.set(kAudibilityAverageKey, decimal(audibilityStatistics->avg()));
    params.set(kAudibilityMinimumKey, decimal(audibilityStatistics->min()));
    params.set(kAudibilityMaximumKey, decimal(audibilityStatistics->max()));
    params.set(kAudibleMillisecondsKey, milliseconds(audibilityStatistics->eligibleSeconds()));
    params.set(kContinuousAudibleMillisecondsKey, milliseconds(audibilityStatistics->maxContinuousEligibleSeconds()));
  }
  return OVAdVideoLoggingEvent(std::move(params));
}

}  // namespace plexora
