#include "adapters/views/contentcontainer/OVAdContentContainerClickThreshold.h"

#include "platform/dispatch/Clock.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdLogger.h"

namespace plexora {

namespace {

constexpr const char* kPrematureClickFormat = "Premature click event (threshold = %f).";
constexpr double kNoFirstImpression = -1.0;

}  // namespace

bool OVAdIsPrematureClick(double firstImpressionTime) {
  if (firstImpressionTime == kNoFirstImpression) {
    return false;
  }
  const double threshold = OVAdConfigManager::sharedManager()->adClickabilityThresholdInterval();
  const double elapsed = platform::Clock::current()->timeSinceReferenceDate() - firstImpressionTime;
  if (threshold < elapsed) {
    return false;
  }
  OV_LOG(kOVAdLogLevelWarn, kPrematureClickFormat, threshold);
  return true;
}

}  // namespace plexora
