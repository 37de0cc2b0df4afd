// The data every impression, impression miss and click of a native ad
// carries: the validator's figures, the last tap and the device state, the
// tap record of a click, and the registered view's tree.
#include <cxxabi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <typeinfo>

#include "adapters/OVNativeAdDataModel.h"
#include "adapters/views/nativead/OVNativeAdTemplateView.h"
#include "internal/OVAdViewabilityValidator.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Base64.h"
#include "platform/ui/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"
#include "plexora/OVNativeAd.h"
#include "util/OVAdClickGate.h"
#include "util/OVAdDeviceState.h"
#include "util/OVAdUtility.h"

namespace plexora {

namespace {

constexpr const char* kTemplateTypeKey = "nti";
constexpr const char* kHScrollKey = "nhs";
constexpr const char* kMediaViewKey = "nmv";
constexpr const char* kMediaViewAutoplayKey = "nmvap";
constexpr const char* kAutoplayEnabledKey = "autoplay_enabled";
constexpr const char* kStatusKey = "vrc";
constexpr const char* kPercentageKey = "vp";
constexpr const char* kHistoryKey = "vh";
constexpr const char* kTouchKey = "touch";
constexpr const char* kAnalogKey = "analog";
constexpr const char* kTrue = "true";
constexpr const char* kFalse = "false";

constexpr const char* kClickXKey = "clickX";
constexpr const char* kClickYKey = "clickY";
constexpr const char* kWidthKey = "width";
constexpr const char* kHeightKey = "height";
constexpr const char* kAdPositionXKey = "adPositionX";
constexpr const char* kAdPositionYKey = "adPositionY";
constexpr const char* kClickDelayTimeKey = "clickDelayTime";
constexpr std::int64_t kNoClickDelay = -1;
constexpr double kMillisecondsPerSecond = 1000.0;

constexpr const char* kViewPostDataKey = "view";
constexpr const char* kIdKey = "id";
constexpr const char* kClassKey = "class";
constexpr const char* kOriginKey = "origin";
constexpr const char* kSizeKey = "size";
constexpr const char* kXKey = "x";
constexpr const char* kYKey = "y";
constexpr const char* kClickableKey = "clickable";
constexpr const char* kTypeKey = "type";
constexpr const char* kSubviewsKey = "subviews";

// A coordinate as a 32-bit integer, truncated toward zero; values beyond
// the range stop at its ends.
std::int64_t truncated(double value) {
  if (!(value == value)) return 0;
  constexpr double kLowest = std::numeric_limits<std::int32_t>::min();
  constexpr double kHighest = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int64_t>(std::clamp(value, kLowest, kHighest));
}

// The view's class as the run time names it, without namespaces.
std::string classNameOf(const platform::View& view) {
  const char* mangled = typeid(view).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && demangled != nullptr ? demangled : mangled;
  std::free(demangled);
  const auto separator = name.rfind("::");
  return separator == std::string::npos ? name : name.substr(separator + 2);
}

const char* kindOf(const platform::View& view) {
  if (dynamic_cast<const platform::Button*>(&view) != nullptr) return "button";
  if (dynamic_cast<const platform::Label*>(&view) != nullptr) return "label";
  if (dynamic_cast<const platform::ImageView*>(&view) != nullptr) return "image";
  if (typeid(view) == typeid(platform::View)) return "view";
  return "unknown";
}

std::string addressOf(const platform::View& view) {
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(&view));
  return address;
}

platform::Dictionary loggingDataForView(const std::shared_ptr<platform::View>& view,
                                        const std::vector<std::shared_ptr<platform::View>>& clickableViews) {
  const platform::Rect rect = view->window() ? view->convertRectToView(view->bounds(), nullptr)
                                             : platform::Rect{{0, 0}, view->bounds().size};
  platform::Dictionary record{
      {kIdKey, addressOf(*view)},
      {kClassKey, classNameOf(*view)},
      {kOriginKey, platform::Dictionary{{kXKey, rect.origin.x}, {kYKey, rect.origin.y}}},
      {kSizeKey, platform::Dictionary{{kWidthKey, rect.size.width}, {kHeightKey, rect.size.height}}},
      {kClickableKey, std::find(clickableViews.begin(), clickableViews.end(), view) != clickableViews.end()},
      {kTypeKey, kindOf(*view)},
  };
  platform::Array subviews;
  for (const auto& subview : view->subviews()) subviews.push_back(loggingDataForView(subview, clickableViews));
  if (!subviews.empty()) record.set(kSubviewsKey, std::move(subviews));
  return record;
}

}  // namespace

platform::Dictionary OVNativeAd::generateLoggingDataWithExtraData(const platform::Dictionary& extraData) {
  platform::Dictionary data;
  const auto view = nativeAdView_.lock();
  if (const auto* templateView = dynamic_cast<const OVNativeAdTemplateView*>(view.get())) {
    data.set(kTemplateTypeKey, std::to_string(templateView->templateType()));
  }
  if (isHScroll_) data.set(kHScrollKey, kTrue);
  if (usedByMediaView_) {
    data.set(kMediaViewKey, kTrue);
    if (mediaViewConfiguration_) {
      const bool autoplay = boolForKey(platform::Value(*mediaViewConfiguration_), kAutoplayEnabledKey, true);
      data.set(kMediaViewAutoplayKey, autoplay ? kTrue : kFalse);
    }
  }
  const auto& validator = viewabilityValidator_;
  data.set(kStatusKey, validator ? std::to_string(static_cast<std::int64_t>(validator->currentStatus())) : "0");
  data.set(kPercentageKey,
           validator ? platform::Value(validator->lastViewabilityPercentage()).text().value_or("0") : "0");
  data.set(kHistoryKey, validator ? validator->viewabilityHistoryJSON() : "");
  data.set(kTouchKey, lastTouchData_.value_or(""));
  data.set(kAnalogKey, OVAdDeviceStateJSON().value_or(""));
  for (const auto& [key, value] : extraData) data.set(key, value);
  if (const auto* touch = extraData.find(kTouchKey); touch != nullptr && touch->isString()) {
    lastTouchData_ = touch->asString();
  }
  return data;
}

platform::Dictionary OVNativeAd::generateTapLoggingWithLocation(platform::Point location, platform::Rect rect) {
  platform::Dictionary record{
      {kClickXKey, truncated(location.x)},         {kClickYKey, truncated(location.y)},
      {kWidthKey, truncated(rect.size.width)},     {kHeightKey, truncated(rect.size.height)},
      {kAdPositionXKey, truncated(rect.origin.x)}, {kAdPositionYKey, truncated(rect.origin.y)},
  };
  if (firstImpressionTime_ == kOVAdNoImpressionTime) {
    record.set(kClickDelayTimeKey, kNoClickDelay);
  } else {
    const double elapsed = platform::Clock::current()->timeSinceReferenceDate() - firstImpressionTime_;
    record.set(kClickDelayTimeKey, elapsed * kMillisecondsPerSecond);
  }
  const std::string touch = OVAdUtility::getJSONStringFromObject(record).value_or("");
  return generateLoggingDataWithExtraData(platform::Dictionary{{kTouchKey, touch}});
}

platform::Dictionary OVNativeAd::generateViewPostData() const {
  platform::Dictionary postData;
  if (dataModel_ && dataModel_->viewJSONLoggingEnabled()) {
    postData.set(kViewPostDataKey, OVAdUtility::getJSONStringFromObject(generateViewLogging()).value_or(""));
  }
  return postData;
}

std::optional<std::string> OVNativeAd::generateViewSnapshot() const {
  const auto view = nativeAdView_.lock();
  if (!view || !dataModel_) return std::nullopt;
  const auto snapshot = OVAdUtility::snapshotOfView(view, nullptr);
  if (!snapshot) return std::nullopt;
  const platform::Bytes jpeg = snapshot->encodeJPEG(dataModel_->snapshotCompressionQuality());
  if (jpeg.empty()) return std::nullopt;
  return platform::base64Encode(jpeg);
}

platform::Dictionary OVNativeAd::generateViewLogging() const {
  const auto view = nativeAdView_.lock();
  if (!view) return {};
  return loggingDataForView(view, clickableViews());
}

}  // namespace plexora
