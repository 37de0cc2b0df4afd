// Calendar text of points in time, always in UTC.
//
// Times are seconds since 1970-01-01 00:00 UTC as doubles, the form the
// Clock hands out (see platform/dispatch/Clock.h for the 2001 epoch).
//
// Thread safety: pure functions, callable from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plexora::platform {

// The time, floored to the whole second, formatted with strftime's
// conversions (%Y, %m, %d, %H, %M, %S, %j, %a, %b, %z...) in the C locale.
// nullopt for a time that is not finite or outside the calendar's range.
std::optional<std::string> formatUTC(double secondsSince1970, std::string_view format);

// "YYYY-MM-DDTHH:MM:SS.mmmZ", rounded to the nearest millisecond.
std::optional<std::string> formatISO8601WithMilliseconds(double secondsSince1970);

}  // namespace plexora::platform
