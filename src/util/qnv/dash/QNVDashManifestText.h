// Readers of the manifest's attribute texts: ISO-8601 durations and dates,
// "first-last" byte ranges, XPath numbers, and the joining of a segment's
// text to its base URL.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/foundation/URL.h"
#include "util/qnv/dash/QNVDashTrackMetadata.h"

namespace plexora {

// The time part (from the first "T") of an ISO-8601 duration in whole
// milliseconds: hours, minutes and (fractional) seconds; 0 for text without
// "P" or "T", or with a unit letter that has no number. A trailing number
// without a unit counts for nothing.
uint32_t QNVDurationMSFromISO8601(std::string_view text);

// "first-last" as a range of last - first + 1 bytes from first. Fewer than
// two parts give the empty range; more use the first two; first > last
// gives (first, 1).
[[nodiscard]] QNVByteRange QNVRangeFromStartToEndString(std::string_view text);

// "yyyy-MM-ddTHH:mm:ss" followed by "Z" or a "+hh:mm"/"-hh:mm" offset, as
// seconds since 1970; none for any other text.
[[nodiscard]] std::optional<double> QNVDateFromManifestText(std::string_view text);

// An XPath number as a signed 64-bit integer, truncated toward zero: NaN is
// 0, values beyond the type's range are clamped to its ends.
int64_t QNVInt64FromXPathNumber(double number);
// The same, clamped into [0, 2^32 - 1].
uint32_t QNVUInt32FromXPathNumber(double number);
// The same, clamped into [0, 2^63 - 1].
[[nodiscard]] uint64_t QNVTimeFromXPathNumber(double number);

// A timeline's time or duration: decimal digits, white space around them
// allowed, at most 2^63 - 1. None for anything else ("1.5e3", "abc", "-1",
// empty): such text reads as no time that the digits of a URL could name.
std::optional<uint64_t> QNVTimelineValueFromText(std::string_view text);

// The suffix's path appended to the base's path (one slash between), with
// the suffix's query in place of the base's, dot segments removed. A suffix
// that is itself an absolute URL is answered as it stands. None without a
// base or when the result is no URL.
[[nodiscard]] std::optional<platform::URL> QNVUrlFromBase(const std::optional<platform::URL>& base,
                                                          std::string_view suffix);

// A manifest's reference (a BaseURL, a segment's media or sourceURL): an
// absolute one as it stands, a relative one against the manifest's URL.
// None for empty text or a relative reference without a manifest URL.
[[nodiscard]] std::optional<platform::URL> QNVUrlFromReference(std::string_view text,
                                                               const std::optional<platform::URL>& mpdUrl);

// The URL without its last path component (the directory it sits in) and
// without query and fragment.
[[nodiscard]] std::optional<platform::URL> QNVDirectoryUrl(const platform::URL& url);

}  // namespace plexora
