// The keys of the touch record the ad view, the web content containers and
// the media view log with a click, kept in one place because the server
// reads all of them the same way. Constants only: any thread.
#pragma once

namespace plexora {

inline constexpr const char* kOVAdTouchStartTimeKey = "startTime";
inline constexpr const char* kOVAdTouchEndTimeKey = "endTime";
inline constexpr const char* kOVAdTouchStartXKey = "startX";
inline constexpr const char* kOVAdTouchStartYKey = "startY";
inline constexpr const char* kOVAdTouchClickXKey = "clickX";
inline constexpr const char* kOVAdTouchClickYKey = "clickY";
inline constexpr const char* kOVAdTouchEndXKey = "endX";
inline constexpr const char* kOVAdTouchEndYKey = "endY";
inline constexpr const char* kOVAdTouchForceKey = "force";
inline constexpr const char* kOVAdTouchRadiusXKey = "radiusX";
inline constexpr const char* kOVAdTouchRadiusYKey = "radiusY";
inline constexpr const char* kOVAdTouchClickDelayTimeKey = "clickDelayTime";

} // namespace plexora
