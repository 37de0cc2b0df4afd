#include "util/OVAdClickGate.h"

#include <algorithm>

#include "platform/dispatch/Clock.h"
#include "platform/ui/View.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kPrematureClickMessage = "Premature click event (threshold = %f).";
constexpr const char* kClickWithoutImpressionMessage = "Click event occurred without impression. Ignoring...";
// The text is the one the logs have always shown, unclosed parenthesis
// included, so searches over collected logs keep matching.
constexpr const char* kInvalidTapMessage = "Invalid tap (%f, %f) in view bounds (%f, %f, %f, %f";
constexpr std::int64_t kNoTapCountsMargin = 50;

double now() { return platform::Clock::current()->timeSinceReferenceDate(); }

}  // namespace

bool ov_isTap(const platform::View& view, platform::Point point, std::int64_t marginPercentage) {
  const std::int64_t margin = std::min(marginPercentage, kNoTapCountsMargin);
  if (margin < 1) {
    return true;
  }
  if (margin == kNoTapCountsMargin) {
    return false;
  }
  const float fraction = static_cast<float>(margin) / 100.0f;
  const platform::Rect bounds = view.bounds();
  const platform::Rect inner = bounds.insetBy(bounds.size.width * fraction, bounds.size.height * fraction);
  return inner.containsPoint(point);
}

bool OVAdClickGate::passesPrematureClickCheck(double firstImpressionTime, const OVAdConfigManager& configuration) {
  if (firstImpressionTime == kOVAdNoImpressionTime) {
    return true;
  }
  const double threshold = configuration.adClickabilityThresholdInterval();
  if (threshold >= now() - firstImpressionTime) {
    OV_LOG(kOVAdLogLevelWarn, kPrematureClickMessage, threshold);
    return false;
  }
  return true;
}

bool OVAdClickGate::passesImpressionCheck(double firstImpressionTime, const OVAdConfigManager& configuration) {
  if (!configuration.isAdClickabilityRestrictedUntilImpression()) {
    return true;
  }
  if (firstImpressionTime == kOVAdNoImpressionTime ||
      firstImpressionTime + configuration.minimumElapsedTimeAfterImpression() > now()) {
    OV_LOG(kOVAdLogLevelWarn, "%s", kClickWithoutImpressionMessage);
    return false;
  }
  return true;
}

bool OVAdClickGate::passesTapMarginCheck(const platform::View& view, platform::Point tap,
                                         const OVAdConfigManager& configuration) {
  if (ov_isTap(view, tap, configuration.adTapMarginPercentage())) {
    return true;
  }
  const platform::Rect bounds = view.bounds();
  OV_LOG(kOVAdLogLevelWarn, kInvalidTapMessage, tap.x, tap.y, bounds.origin.x, bounds.origin.y, bounds.size.width,
         bounds.size.height);
  return false;
}

bool OVAdClickGate::allowsClick(double firstImpressionTime, const OVAdConfigManager& configuration) {
  return passesPrematureClickCheck(firstImpressionTime, configuration) &&
         passesImpressionCheck(firstImpressionTime, configuration);
}

bool OVAdClickGate::allowsTap(double firstImpressionTime, const platform::View& view, platform::Point tap,
                              const OVAdConfigManager& configuration) {
  return allowsClick(firstImpressionTime, configuration) && passesTapMarginCheck(view, tap, configuration);
}

}  // namespace plexora
