#include "platform/media/MediaTime.h"

#include <cmath>
#include <limits>
#include <numeric>

namespace plexora::platform {

namespace {

__extension__ typedef __int128 Wide;

// Rank of the non-numeric kinds in the comparison order; numeric times are 1.
int rank(const MediaTime& time) {
  if (!time.isValid()) return 4;
  if (time.isIndefinite()) return 3;
  if (time.isPositiveInfinity()) return 2;
  if (time.isNegativeInfinity()) return 0;
  return 1;
}

// value * to / from, rounded half away from zero; `exact` tells whether no
// rounding happened.
Wide rescale(Wide value, int64_t from, int64_t to, bool& exact) {
  const Wide scaled = value * to;
  const Wide quotient = scaled / from;
  const Wide remainder = scaled % from;
  exact = remainder == 0;
  if (remainder == 0) return quotient;
  const Wide twice = (remainder < 0 ? -remainder : remainder) * 2;
  if (twice >= from) return scaled < 0 ? quotient - 1 : quotient + 1;
  return quotient;
}

MediaTime fromWide(Wide value, int32_t timescale, uint32_t extraFlags, int64_t epoch) {
  if (value > std::numeric_limits<int64_t>::max()) return MediaTime::positiveInfinity();
  if (value < std::numeric_limits<int64_t>::min()) return MediaTime::negativeInfinity();
  MediaTime time = MediaTime::makeWithEpoch(static_cast<int64_t>(value), timescale, epoch);
  time.flags |= extraFlags;
  return time;
}

MediaTime combine(const MediaTime& lhs, const MediaTime& rhs, int sign) {
  if (!lhs.isValid() || !rhs.isValid()) return MediaTime::invalid();
  if (lhs.isIndefinite() || rhs.isIndefinite()) return MediaTime::indefinite();
  const bool lhsPositive = lhs.isPositiveInfinity();
  const bool lhsNegative = lhs.isNegativeInfinity();
  // Subtracting an infinity adds the opposite one.
  const bool rhsPositive = sign > 0 ? rhs.isPositiveInfinity() : rhs.isNegativeInfinity();
  const bool rhsNegative = sign > 0 ? rhs.isNegativeInfinity() : rhs.isPositiveInfinity();
  if ((lhsPositive && rhsNegative) || (lhsNegative && rhsPositive)) return MediaTime::invalid();
  if (lhsPositive || rhsPositive) return MediaTime::positiveInfinity();
  if (lhsNegative || rhsNegative) return MediaTime::negativeInfinity();
  if (lhs.epoch != rhs.epoch) return MediaTime::invalid();

  const uint32_t rounded = (lhs.flags | rhs.flags) & MediaTime::kHasBeenRounded;
  if (lhs.timescale == rhs.timescale) {
    return fromWide(Wide{lhs.value} + sign * Wide{rhs.value}, lhs.timescale, rounded, lhs.epoch);
  }
  const int64_t lcm = std::lcm(int64_t{lhs.timescale}, int64_t{rhs.timescale});
  if (lcm <= MediaTime::kMaxTimescale) {
    const Wide sum = Wide{lhs.value} * (lcm / lhs.timescale) + sign * Wide{rhs.value} * (lcm / rhs.timescale);
    return fromWide(sum, static_cast<int32_t>(lcm), rounded, lhs.epoch);
  }
  const int32_t timescale = std::max(lhs.timescale, rhs.timescale);
  bool lhsExact = true;
  bool rhsExact = true;
  const Wide sum = rescale(lhs.value, lhs.timescale, timescale, lhsExact) +
                   sign * rescale(rhs.value, rhs.timescale, timescale, rhsExact);
  const uint32_t flags = rounded | (lhsExact && rhsExact ? 0U : MediaTime::kHasBeenRounded);
  return fromWide(sum, timescale, flags, lhs.epoch);
}

}  // namespace

MediaTime MediaTime::make(int64_t value, int32_t timescale) { return makeWithEpoch(value, timescale, 0); }

MediaTime MediaTime::makeWithEpoch(int64_t value, int32_t timescale, int64_t epoch) {
  if (timescale <= 0) return invalid();
  return {value, timescale, kValid, epoch};
}

double MediaTime::seconds() const {
  if (isPositiveInfinity()) return std::numeric_limits<double>::infinity();
  if (isNegativeInfinity()) return -std::numeric_limits<double>::infinity();
  if (!isNumeric()) return std::numeric_limits<double>::quiet_NaN();
  return static_cast<double>(value) / static_cast<double>(timescale);
}

MediaTime add(const MediaTime& lhs, const MediaTime& rhs) { return combine(lhs, rhs, 1); }

MediaTime subtract(const MediaTime& lhs, const MediaTime& rhs) { return combine(lhs, rhs, -1); }

int compare(const MediaTime& lhs, const MediaTime& rhs) {
  const int lhsRank = rank(lhs);
  const int rhsRank = rank(rhs);
  if (lhsRank != rhsRank) return lhsRank < rhsRank ? -1 : 1;
  if (lhsRank != 1) return 0;
  if (lhs.epoch != rhs.epoch) return lhs.epoch < rhs.epoch ? -1 : 1;
  // Cross-multiplied in 128 bits: exact for every pair of 64-bit values and
  // 32-bit timescales.
  const Wide left = Wide{lhs.value} * rhs.timescale;
  const Wide right = Wide{rhs.value} * lhs.timescale;
  if (left == right) return 0;
  return left < right ? -1 : 1;
}

MediaTimeRange MediaTimeRange::fromStartToEnd(const MediaTime& start, const MediaTime& end) {
  const MediaTime duration = subtract(end, start);
  if (duration.isNumeric() && duration.value < 0) return {start, MediaTime::invalid()};
  return {start, duration};
}

bool MediaTimeRange::isValid() const {
  if (!start.isNumeric()) return false;
  if (duration.isPositiveInfinity()) return true;
  return duration.isNumeric() && duration.value >= 0;
}

bool MediaTimeRange::containsTime(const MediaTime& time) const {
  if (!isValid() || !time.isNumeric()) return false;
  return start <= time && time < end();
}

}  // namespace plexora::platform
