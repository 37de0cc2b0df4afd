#include "util/OVAdInlineHelpers.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/device/DeviceProvider.h"
#include "platform/dispatch/Clock.h"

namespace plexora {

namespace {

constexpr double kTemplateMaximumWidth = 360.0;

// "%s" stands for the script body.
constexpr std::string_view kScriptTryCatchFormat = "(function(){try{%s}catch(e){return e.toString();}}());";
constexpr std::string_view kScriptBodyPlaceholder = "%s";


}  // namespace

platform::Rect OVAdRectWithHalfWidth(platform::Rect rect) {
  rect.size.width *= 0.5;
  return rect;
}

platform::Rect OVAdRectWithQuarterWidth(platform::Rect rect) {
  rect.size.width *= 0.25;
  return rect;
}

bool OVAdIsNormal(double x) {
  return std::isfinite(x) && std::fabs(x) >= std::numeric_limits<double>::min();
}

bool OVAdIsNormalPair(double first, double second) { return OVAdIsNormal(first) || OVAdIsNormal(second); }

bool OVAdRectIsNonZero(platform::Rect rect) {
  return OVAdIsNormalPair(rect.origin.x, rect.origin.y) || OVAdIsNormalPair(rect.size.width, rect.size.height);
}

platform::Rect OVAdTemplateFrameLimitedWidth(platform::Rect rect) {
  if (rect.size.width > kTemplateMaximumWidth) {
    rect.origin.x += (rect.size.width - kTemplateMaximumWidth) * 0.5;
    rect.size.width = kTemplateMaximumWidth;
  }
  return rect;
}

platform::Rect OVAdTemplateFrameWithFixedHeight(platform::Rect rect, std::optional<double> height, bool apply) {
  if (height && apply && rect.size.height > 0.0) {
    rect.size.height = std::max(rect.size.height, *height);
  }
  return rect;
}

platform::Size OVAdFloorSize(platform::Size size) { return {std::floor(size.width), std::floor(size.height)}; }

platform::Rect OVAdRectCombiningAxes(platform::Rect first, platform::Rect second, bool useSecondHorizontal,
                                     bool useSecondVertical) {
  const platform::Rect& horizontal = useSecondHorizontal ? second : first;
  const platform::Rect& vertical = useSecondVertical ? second : first;
  return {{horizontal.origin.x, vertical.origin.y}, {horizontal.size.width, vertical.size.height}};
}

platform::Rect OVAdRectShrinkingSize(platform::Rect rect, double width, double height) {
  rect.size.width -= width;
  rect.size.height -= height;
  return rect;
}

double OVAdRoundToScreenPixel(double x, double screenScale) { return std::round(x * screenScale) / screenScale; }

platform::Point OVAdScalePoint(platform::Point point, double factor) { return {point.x * factor, point.y * factor}; }

std::string OVAdWrapScriptInTryCatch(std::string_view body) {
  const std::size_t placeholder = kScriptTryCatchFormat.find(kScriptBodyPlaceholder);
  std::string script;
  script.reserve(kScriptTryCatchFormat.size() + body.size());
  script.append(kScriptTryCatchFormat.substr(0, placeholder));
  script.append(body);
  script.append(kScriptTryCatchFormat.substr(placeholder + kScriptBodyPlaceholder.size()));
  return script;
}

namespace {

// Main thread only.
void runOnce(std::atomic<bool>& started, const platform::Task& block) {
  if (!started.exchange(true, std::memory_order_acq_rel) && block) {
    block();
  }
}

}  // namespace

void OVAdDispatchOnceOnMainThread(OVAdMainThreadOnceFlag& flag, const platform::Task& block) {
  if (platform::DispatchQueue::isMainThread()) {
    runOnce(flag.started_, block);
    return;
  }
  if (flag.started_.load(std::memory_order_acquire)) {
    return;
  }
  platform::DispatchQueue::main()->sync([&flag, &block] { runOnce(flag.started_, block); });
}

bool OVAdIsSecurityDisabled() {
  static const bool securityDisabled = false;
  return securityDisabled;
}

double OVAdEventTimestampToEpoch(double timestamp) {
  const auto clock = platform::Clock::current();
  return clock->wallTime() - clock->monotonicTime() + timestamp;
}

bool OVAdIsPadIdiom() {
  return platform::DeviceProvider::current()->profile().idiom == platform::UserInterfaceIdiom::Pad;
}

}  // namespace plexora
