#include "adapters/views/contentcontainer/OVAdContentContainerTouchRecord.h"

#include <cstdint>
#include <string>

#include "internal/OVAdViewabilityValidator.h"
#include "platform/dispatch/Clock.h"
#include "util/OVAdDeviceState.h"
#include "util/OVAdTouchRecordKeys.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kStatusKey = "vrc";
constexpr const char* kPercentageKey = "vp";
constexpr const char* kHistoryKey = "vh";
constexpr const char* kTouchKey = "touch";
constexpr const char* kAnalogKey = "analog";

constexpr double kNoFirstImpression = -1.0;
constexpr std::int64_t kNoClickDelay = -1;
constexpr double kMillisecondsPerSecond = 1000.0;

}  // namespace

std::optional<platform::Dictionary> OVAdContentContainerTouchRecord(const OVAdContentContainer& container) {
  const platform::Point start = container.lastTouchStartLocation();
  const platform::Point current = container.lastTouchCurrentLocation();
  if (start == platform::Point{} || current == platform::Point{}) {
    return std::nullopt;
  }
  platform::Value clickDelayTime(kNoClickDelay);
  if (container.firstImpressionTime() != kNoFirstImpression) {
    clickDelayTime = (platform::Clock::current()->timeSinceReferenceDate() - container.firstImpressionTime()) *
                     kMillisecondsPerSecond;
  }
  return platform::Dictionary{
      {kOVAdTouchStartTimeKey, container.lastTouchStartTimestamp()},
      {kOVAdTouchEndTimeKey, container.lastTouchCurrentTimestamp()},
      {kOVAdTouchStartXKey, start.x},
      {kOVAdTouchStartYKey, start.y},
      {kOVAdTouchClickXKey, current.x},
      {kOVAdTouchClickYKey, current.y},
      {kOVAdTouchEndXKey, current.x},
      {kOVAdTouchEndYKey, current.y},
      {kOVAdTouchForceKey, container.lastTouchPressure()},
      {kOVAdTouchRadiusXKey, container.lastTouchRadius()},
      {kOVAdTouchRadiusYKey, container.lastTouchRadius()},
      {kOVAdTouchClickDelayTimeKey, clickDelayTime},
  };
}

platform::Dictionary OVAdContentContainerImpressionExtraData(const OVAdContentContainer& container,
                                                            const OVAdViewabilityValidator& validator) {
  std::string touch;
  if (const auto record = OVAdContentContainerTouchRecord(container)) {
    touch = OVAdUtility::getJSONStringFromObject(platform::Value(*record)).value_or("");
  }
  return platform::Dictionary{
      {kStatusKey, std::to_string(static_cast<std::int64_t>(validator.currentStatus()))},
      {kPercentageKey, platform::numberText(validator.lastViewabilityPercentage())},
      {kHistoryKey, validator.viewabilityHistoryJSON()},
      {kTouchKey, touch},
      {kAnalogKey, OVAdDeviceStateJSON().value_or("")},
  };
}

}  // namespace plexora
