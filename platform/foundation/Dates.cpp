#include "platform/foundation/Dates.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include <locale.h>

namespace plexora::platform {
namespace {

// Years of four digits at most keep every format's output bounded; the
// limit also keeps the conversion to time_t defined.
constexpr double kEarliestSupported = -62135596800.0;  // 0001-01-01T00:00:00Z
constexpr double kLatestSupported = 253402300799.0;    // 9999-12-31T23:59:59Z

std::optional<std::tm> utcCalendar(std::int64_t wholeSeconds) {
  const auto seconds = static_cast<std::time_t>(wholeSeconds);
  std::tm calendar{};
  if (::gmtime_r(&seconds, &calendar) == nullptr) {
    return std::nullopt;
  }
  return calendar;
}

// Month and day names must not follow whatever locale the host selected.
locale_t cLocale() {
  static const locale_t locale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

bool inSupportedRange(double secondsSince1970) {
  return std::isfinite(secondsSince1970) && secondsSince1970 >= kEarliestSupported &&
         secondsSince1970 < kLatestSupported + 1.0;
}

}  // namespace

std::optional<std::string> formatUTC(double secondsSince1970, std::string_view format) {
  if (!inSupportedRange(secondsSince1970)) {
    return std::nullopt;
  }
  const std::optional<std::tm> calendar = utcCalendar(static_cast<std::int64_t>(std::floor(secondsSince1970)));
  if (!calendar) {
    return std::nullopt;
  }
  if (format.empty()) {
    return std::string();
  }
  const std::string formatText(format);
  // strftime answers 0 both for "too small" and for an empty result; a
  // leading character that is always there tells the two apart.
  const std::string guarded = "x" + formatText;
  std::string buffer(64 + formatText.size() * 4, '\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::size_t written =
        cLocale() != nullptr ? ::strftime_l(buffer.data(), buffer.size(), guarded.c_str(), &*calendar, cLocale())
                             : std::strftime(buffer.data(), buffer.size(), guarded.c_str(), &*calendar);
    if (written > 0) {
      return buffer.substr(1, written - 1);
    }
    buffer.resize(buffer.size() * 4);
  }
  return std::nullopt;
}

std::optional<std::string> formatISO8601WithMilliseconds(double secondsSince1970) {
  if (!inSupportedRange(secondsSince1970)) {
    return std::nullopt;
  }
  const auto totalMilliseconds = static_cast<std::int64_t>(std::llround(secondsSince1970 * 1000.0));
  std::int64_t wholeSeconds = totalMilliseconds / 1000;
  std::int64_t milliseconds = totalMilliseconds % 1000;
  if (milliseconds < 0) {
    milliseconds += 1000;
    wholeSeconds -= 1;
  }
  const std::optional<std::tm> calendar = utcCalendar(wholeSeconds);
  if (!calendar) {
    return std::nullopt;
  }
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", calendar->tm_year + 1900,
                calendar->tm_mon + 1, calendar->tm_mday, calendar->tm_hour, calendar->tm_min, calendar->tm_sec,
                static_cast<int>(milliseconds));
  return std::string(text);
}

}  // namespace plexora::platform
