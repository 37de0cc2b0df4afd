#include "util/OVAdQualityMetric.h"

#include <algorithm>

namespace plexora {

OVAdQualityMetric::OVAdQualityMetric(float eligibleThreshold) : eligibleThreshold_(eligibleThreshold) { reset(); }

void OVAdQualityMetric::registerProgress(double seconds, float value) {
  if (measurementCount_ == 0) {
    min_ = value;
    max_ = value;
  } else {
    min_ = std::min(min_, value);
    max_ = std::max(max_, value);
  }
  measurementCount_ += 1;
  measurementSeconds_ += seconds;
  current_ = value;
  sum_ = static_cast<float>(static_cast<double>(sum_) + static_cast<double>(value) * seconds);
  // No time sampled yet leaves the average where the reset put it rather
  // than dividing by zero.
  if (measurementSeconds_ != 0.0) avg_ = static_cast<float>(static_cast<double>(sum_) / measurementSeconds_);
  if (value >= eligibleThreshold_) {
    eligibleSeconds_ += seconds;
    continuousEligibleSeconds_ += seconds;
    maxContinuousEligibleSeconds_ = std::max(maxContinuousEligibleSeconds_, continuousEligibleSeconds_);
  } else {
    continuousEligibleSeconds_ = 0.0;
  }
}

void OVAdQualityMetric::reset() {
  avg_ = 0.0F;
  current_ = 0.0F;
  eligibleSeconds_ = 0.0;
  max_ = 0.0F;
  measurementCount_ = 0;
  measurementSeconds_ = 0.0;
  min_ = 0.0F;
  sum_ = 0.0F;
}

}  // namespace plexora
