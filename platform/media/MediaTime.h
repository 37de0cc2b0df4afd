// Rational media times and time ranges, the clock values of the video engine.
//
// A time is value / timescale seconds, with flags that mark it valid, rounded
// by an earlier operation, or one of the three non-numeric times (positive or
// negative infinity, indefinite). Times of different epochs belong to
// different loops of a timeline: arithmetic between them is invalid and an
// earlier epoch compares below a later one.
//
// Order used by compare: negative infinity < numeric times (compared exactly,
// whatever their timescales) < positive infinity < indefinite < invalid; two
// invalid times are equal.
//
// Arithmetic keeps the timescale when both operands share it; otherwise the
// result takes the least common multiple of the two timescales, or, when that
// exceeds kMaxTimescale, the larger timescale with the value rounded half away
// from zero and the rounded flag set. A result beyond 64 bits becomes an
// infinity of its sign.
//
// Thread safety: plain values.
#pragma once

#include <cstdint>

#include "platform/Export.h"

namespace plexora::platform {

struct PLEXORA_EXPORT MediaTime {
  enum Flags : uint32_t {
    kValid = 1U << 0,
    kHasBeenRounded = 1U << 1,
    kPositiveInfinity = 1U << 2,
    kNegativeInfinity = 1U << 3,
    kIndefinite = 1U << 4,
  };
  static constexpr int32_t kMaxTimescale = 0x7fffffff;

  int64_t value = 0;
  int32_t timescale = 0;
  uint32_t flags = 0;
  int64_t epoch = 0;

  // value / timescale; invalid when the timescale is not positive.
  static MediaTime make(int64_t value, int32_t timescale);
  static MediaTime makeWithEpoch(int64_t value, int32_t timescale, int64_t epoch);
  static MediaTime invalid() { return {}; }
  static MediaTime zero() { return make(0, 1); }
  static MediaTime positiveInfinity() { return {0, 0, kValid | kPositiveInfinity, 0}; }
  static MediaTime negativeInfinity() { return {0, 0, kValid | kNegativeInfinity, 0}; }
  static MediaTime indefinite() { return {0, 0, kValid | kIndefinite, 0}; }

  bool isValid() const { return (flags & kValid) != 0; }
  bool isPositiveInfinity() const { return isValid() && (flags & kPositiveInfinity) != 0; }
  bool isNegativeInfinity() const { return isValid() && (flags & kNegativeInfinity) != 0; }
  bool isIndefinite() const { return isValid() && (flags & kIndefinite) != 0; }
  // Valid and none of the three non-numeric times.
  bool isNumeric() const {
    return isValid() && (flags & (kPositiveInfinity | kNegativeInfinity | kIndefinite)) == 0;
  }
  bool hasBeenRounded() const { return (flags & kHasBeenRounded) != 0; }

  // Seconds as a double: +-infinity for the infinities, NaN for invalid and
  // indefinite times.
  double seconds() const;
};

PLEXORA_EXPORT MediaTime add(const MediaTime& lhs, const MediaTime& rhs);
PLEXORA_EXPORT MediaTime subtract(const MediaTime& lhs, const MediaTime& rhs);
// -1, 0 or 1 in the order described above.
PLEXORA_EXPORT int compare(const MediaTime& lhs, const MediaTime& rhs);

inline bool operator==(const MediaTime& lhs, const MediaTime& rhs) { return compare(lhs, rhs) == 0; }
inline bool operator<(const MediaTime& lhs, const MediaTime& rhs) { return compare(lhs, rhs) < 0; }
inline bool operator<=(const MediaTime& lhs, const MediaTime& rhs) { return compare(lhs, rhs) <= 0; }
inline bool operator>(const MediaTime& lhs, const MediaTime& rhs) { return compare(lhs, rhs) > 0; }
inline bool operator>=(const MediaTime& lhs, const MediaTime& rhs) { return compare(lhs, rhs) >= 0; }

// A start and a duration. Valid when both are valid, the start numeric and
// the duration numeric and not negative, or positive infinity (a range that
// never ends).
struct PLEXORA_EXPORT MediaTimeRange {
  MediaTime start;
  MediaTime duration;

  static MediaTimeRange make(const MediaTime& start, const MediaTime& duration) { return {start, duration}; }
  // Invalid when end lies before start.
  static MediaTimeRange fromStartToEnd(const MediaTime& start, const MediaTime& end);

  bool isValid() const;
  bool isEmpty() const { return isValid() && duration.isNumeric() && duration.value == 0; }
  MediaTime end() const { return add(start, duration); }
  // start <= time < end.
  bool containsTime(const MediaTime& time) const;
};

}  // namespace plexora::platform
