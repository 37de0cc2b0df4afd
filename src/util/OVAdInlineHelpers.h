// Small helpers shared by many parts of the library: geometry arithmetic for
// the views, the wrapper put around every script run in a web page, a
// once-per-process operation that always runs on the main thread, the
// security flag, the event-time conversion and the pad-idiom test.
//
// Thread safety: the geometry and script helpers are pure; the others say
// where they may be called.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/Geometry.h"

namespace plexora {

// ---- Geometry ----

inline double OVAdTwice(double x) { return x + x; }
inline double OVAdThrice(double x) { return x * 3.0; }
inline double OVAdHalf(double x) { return x * 0.5; }
inline double OVAdThird(double x) { return x / 3.0; }
inline double OVAdFifth(double x) { return x / 5.0; }
inline double OVAdTwoFifths(double x) { return x / 5.0 + x / 5.0; }
inline double OVAdThreeFifths(double x) { return x / 5.0 * 3.0; }
inline double OVAdNineTenths(double x) { return x / 10.0 * 9.0; }

// The rectangle with its width halved; the numbered twins answer the same.
platform::Rect OVAdRectWithHalfWidth(platform::Rect rect);
inline platform::Rect OVAdRectWithHalfWidth2(platform::Rect rect) { return OVAdRectWithHalfWidth(rect); }
inline platform::Rect OVAdRectWithHalfWidth3(platform::Rect rect) { return OVAdRectWithHalfWidth(rect); }
platform::Rect OVAdRectWithQuarterWidth(platform::Rect rect);

// Finite, not NaN, and at least the smallest normal double in magnitude.
bool OVAdIsNormal(double x);
// Either of the two is normal.
bool OVAdIsNormalPair(double first, double second);
// The origin pair or the size pair holds a normal value.
bool OVAdRectIsNonZero(platform::Rect rect);

// A rectangle wider than 360 keeps its centre and becomes 360 wide.
platform::Rect OVAdTemplateFrameLimitedWidth(platform::Rect rect);
// With a `height` given, `apply` true and a positive rectangle height, the
// height becomes the larger of the two; otherwise unchanged.
platform::Rect OVAdTemplateFrameWithFixedHeight(platform::Rect rect, std::optional<double> height, bool apply);
platform::Size OVAdFloorSize(platform::Size size);
// x and width from `second` when `useSecondHorizontal`, else from `first`;
// y and height from `second` when `useSecondVertical`, else from `first`.
platform::Rect OVAdRectCombiningAxes(platform::Rect first, platform::Rect second, bool useSecondHorizontal,
                                     bool useSecondVertical);
platform::Rect OVAdRectShrinkingSize(platform::Rect rect, double width, double height);
// round(x * screenScale) / screenScale. The caller passes the screen's
// scale, so the helper stays pure.
double OVAdRoundToScreenPixel(double x, double screenScale);
platform::Point OVAdScalePoint(platform::Point point, double factor);

// ---- Scripts ----

// The script inside a function that catches its exception and answers the
// exception's text instead of failing.
std::string OVAdWrapScriptInTryCatch(std::string_view body);

// ---- Main-thread once ----

// The flag of OVAdDispatchOnceOnMainThread; one static per use site.
class OVAdMainThreadOnceFlag final {
 public:
  OVAdMainThreadOnceFlag() = default;
  OVAdMainThreadOnceFlag(const OVAdMainThreadOnceFlag&) = delete;
  OVAdMainThreadOnceFlag& operator=(const OVAdMainThreadOnceFlag&) = delete;

 private:
  friend void OVAdDispatchOnceOnMainThread(OVAdMainThreadOnceFlag& flag, const platform::Task& block);
  // Set on the main thread as the block starts.
  std::atomic<bool> started_{false};
};

// Runs `block` once per flag, always on the main thread. On the main thread
// it runs at once. Elsewhere, when the flag has not run yet, it waits for the
// main queue to run it; when it has run or is running, it returns at once
// without waiting. The main loop must be running for a call off the main
// thread to return.
void OVAdDispatchOnceOnMainThread(OVAdMainThreadOnceFlag& flag, const platform::Task& block);

// ---- Process facts ----

// The process-wide security flag: always false; the request parameters
// report it.
bool OVAdIsSecurityDisabled();

// A touch event's timestamp (seconds since boot on the monotonic clock) as
// seconds since 1970, read from the current Clock.
double OVAdEventTimestampToEpoch(double timestamp);

// Whether the device's user-interface idiom is the pad idiom, from the
// current device profile. Callable from any thread.
bool OVAdIsPadIdiom();

// ---- Types ----

// Whether `object` is of any of the classes (or a class derived from them).
template <typename... Classes, typename Object>
bool OVAdIsKindOfAnyClass(const Object* object) {
  return object != nullptr && ((dynamic_cast<const Classes*>(object) != nullptr) || ...);
}

}  // namespace plexora
