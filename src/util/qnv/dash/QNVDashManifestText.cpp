#include "util/qnv/dash/QNVDashManifestText.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "util/OVAdLogger.h"
#include "util/qnv/core/QNVMediaStateQueue.h"

namespace plexora {
namespace {

constexpr std::string_view kNumberCharacters = "0123456789.";
constexpr const char* kUnexpectedRangeFormat = "%s unexpected format for string:%s";
constexpr const char* kUnexpectedRangeOrderFormat = "%s unexpected format for string:%s, loc:%llu, len:%llu";
constexpr const char* kRangeReader = "QNVMediaPresentationDescription";
// 2^63 and 2^32 as doubles: every finite double below them converts exactly.
constexpr double kTwoTo63 = 9223372036854775808.0;
constexpr double kTwoTo32 = 4294967296.0;
// Hours or minutes beyond this already exceed what the result can hold;
// the cap keeps the sum from overflowing.
constexpr int64_t kLargestUnitCount = int64_t{1} << 31;
// What XML attribute normalisation leaves around a value.
constexpr std::string_view kXmlWhiteSpace = " \t\r\n";

bool parseUnsigned(std::string_view text, uint64_t& out) {
  if (text.empty() || text.size() > 19) return false;
  out = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    out = out * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

bool parseFixedDigits(std::string_view text, size_t at, size_t count, int& out) {
  if (at + count > text.size()) return false;
  out = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

uint32_t QNVDurationMSFromISO8601(std::string_view text) {
  const size_t timeStart = text.find('T');
  if (timeStart == std::string_view::npos || text.find('P') == std::string_view::npos) return 0;
  std::string_view rest = text.substr(timeStart);
  float seconds = 0;
  int64_t minutes = 0;
  int64_t hours = 0;
  for (;;) {
    if (rest.size() < 2) {
      // Single precision, as the readers this format came from compute it.
      const float total = (seconds + static_cast<float>((hours * 60 + minutes) * 60)) * 1000.0F;
      if (!(total > 0)) return 0;
      if (total >= static_cast<float>(kTwoTo32)) return std::numeric_limits<uint32_t>::max();
      return static_cast<uint32_t>(total);
    }
    rest.remove_prefix(1);
    const size_t numberLength = std::min(rest.find_first_not_of(kNumberCharacters), rest.size());
    if (numberLength == 0) return 0;
    const std::string number(rest.substr(0, numberLength));
    rest.remove_prefix(numberLength);
    if (rest.empty()) continue;  // a number without its unit: the next round ends the walk
    const double value = std::strtod(number.c_str(), nullptr);
    switch (rest.front()) {
      case 'S':
        seconds = static_cast<float>(value);
        break;
      case 'M':
        minutes = std::min(QNVInt64FromXPathNumber(value), kLargestUnitCount);
        break;
      case 'H':
        hours = std::min(QNVInt64FromXPathNumber(value), kLargestUnitCount);
        break;
      default:
        break;
    }
  }
}

QNVByteRange QNVRangeFromStartToEndString(std::string_view text) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    const size_t dash = text.find('-', start);
    parts.push_back(text.substr(start, dash == std::string_view::npos ? std::string_view::npos : dash - start));
    if (dash == std::string_view::npos) break;
    start = dash + 1;
  }
  const std::string shown(text);
  if (parts.size() != 2) {
    OV_LOG(kOVAdLogLevelDebug, kUnexpectedRangeFormat, kRangeReader, shown.c_str());
    QNV_SOFT_ASSERT(false, "Unexpected range string");
    if (parts.size() < 2) return {0, 0};
  }
  uint64_t first = 0;
  uint64_t last = 0;
  // A part that is no number reads as 0, as a lenient integer scan would.
  if (!parseUnsigned(parts[0], first)) first = 0;
  if (!parseUnsigned(parts[1], last)) last = 0;
  if (first > last) {
    OV_LOG(kOVAdLogLevelDebug, kUnexpectedRangeOrderFormat, kRangeReader, shown.c_str(),
           static_cast<unsigned long long>(first), static_cast<unsigned long long>(last));
    QNV_SOFT_ASSERT(false, "location > endLocation");
    return {first, 1};
  }
  return {first, last - first + 1};
}

std::optional<double> QNVDateFromManifestText(std::string_view text) {
  std::tm tm{};
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  if (!parseFixedDigits(text, 0, 4, year) || text.size() < 20 || text[4] != '-' ||
      !parseFixedDigits(text, 5, 2, month) || text[7] != '-' || !parseFixedDigits(text, 8, 2, day) || text[10] != 'T' ||
      !parseFixedDigits(text, 11, 2, hour) || text[13] != ':' || !parseFixedDigits(text, 14, 2, minute) ||
      text[16] != ':' || !parseFixedDigits(text, 17, 2, second)) {
    return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  const std::string_view zone = text.substr(19);
  int offsetSeconds = 0;
  if (zone != "Z") {
    int offsetHours = 0;
    int offsetMinutes = 0;
    if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || !parseFixedDigits(zone, 1, 2, offsetHours) ||
        zone[3] != ':' || !parseFixedDigits(zone, 4, 2, offsetMinutes)) {
      return std::nullopt;
    }
    offsetSeconds = (offsetHours * 60 + offsetMinutes) * 60 * (zone[0] == '-' ? -1 : 1);
  }
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  return static_cast<double>(timegm(&tm)) - offsetSeconds;
}

int64_t QNVInt64FromXPathNumber(double number) {
  if (std::isnan(number)) return 0;
  if (number >= kTwoTo63) return std::numeric_limits<int64_t>::max();
  if (number < -kTwoTo63) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(number);
}

uint32_t QNVUInt32FromXPathNumber(double number) {
  const int64_t value = QNVInt64FromXPathNumber(number);
  if (value < 0) return 0;
  if (value > std::numeric_limits<uint32_t>::max()) return std::numeric_limits<uint32_t>::max();
  return static_cast<uint32_t>(value);
}

uint64_t QNVTimeFromXPathNumber(double number) {
  const int64_t value = QNVInt64FromXPathNumber(number);
  return value < 0 ? 0 : static_cast<uint64_t>(value);
}

std::optional<uint64_t> QNVTimelineValueFromText(std::string_view text) {
  const size_t start = text.find_first_not_of(kXmlWhiteSpace);
  if (start == std::string_view::npos) return std::nullopt;
  text = text.substr(start, text.find_last_not_of(kXmlWhiteSpace) - start + 1);
  constexpr uint64_t kLargest = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (kLargest - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<platform::URL> QNVUrlFromBase(const std::optional<platform::URL>& base, std::string_view suffix) {
  if (!base) return std::nullopt;
  if (auto absolute = platform::URL::parse(suffix)) return absolute;
  const size_t cut = suffix.find_first_of("?#");
  std::string_view suffixPath = suffix.substr(0, cut);
  std::optional<std::string_view> suffixQuery;
  if (cut != std::string_view::npos && suffix[cut] == '?') {
    const std::string_view afterQuery = suffix.substr(cut + 1);
    suffixQuery = afterQuery.substr(0, afterQuery.find('#'));
  }
  std::string path = base->path();
  if (path.empty() || path.back() != '/') path += '/';
  while (!suffixPath.empty() && suffixPath.front() == '/') suffixPath.remove_prefix(1);
  path += suffixPath;
  if (suffixQuery) path += "?" + std::string(*suffixQuery);
  // Resolving an absolute-path reference removes its dot segments.
  return platform::URL::resolve(path, *base);
}

std::optional<platform::URL> QNVUrlFromReference(std::string_view text, const std::optional<platform::URL>& mpdUrl) {
  if (text.empty()) return std::nullopt;
  if (auto absolute = platform::URL::parse(text)) return absolute;
  if (!mpdUrl) return std::nullopt;
  return platform::URL::resolve(text, *mpdUrl);
}

std::optional<platform::URL> QNVDirectoryUrl(const platform::URL& url) {
  std::string path = url.path();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  path = slash == std::string::npos ? "/" : path.substr(0, slash + 1);
  return platform::URL::resolve(path, url);
}

}  // namespace plexora
