// Running statistics of one sampled value over playback time: a
// time-weighted average, the extremes, and how long the value stayed at or
// above a threshold (in total and in the longest unbroken run).
//
// A reset clears the average, the extremes and the totals, but keeps the
// current and the longest unbroken run, so a run carries over the video
// logger's periodic resets.
//
// Thread safety: main thread only, like the quality manager that owns it.
// Ownership: a value, held by its statistics.
#pragma once

#include <cstdint>

namespace plexora {

class OVAdQualityMetric {
 public:
  static OVAdQualityMetric metricWithEligibleThreshold(float eligibleThreshold) {
    return OVAdQualityMetric(eligibleThreshold);
  }
  // Threshold 0.
  OVAdQualityMetric() = default;
  explicit OVAdQualityMetric(float eligibleThreshold);

  // `seconds` of playback at `value`.
  void registerProgress(double seconds, float value);
  void reset();

  float avg() const { return avg_; }
  float current() const { return current_; }
  float eligibleThreshold() const { return eligibleThreshold_; }
  float max() const { return max_; }
  float min() const { return min_; }
  float sum() const { return sum_; }
  void setSum(float sum) { sum_ = sum; }
  double continuousEligibleSeconds() const { return continuousEligibleSeconds_; }
  double eligibleSeconds() const { return eligibleSeconds_; }
  double maxContinuousEligibleSeconds() const { return maxContinuousEligibleSeconds_; }
  std::int64_t measurementCount() const { return measurementCount_; }
  double measurementSeconds() const { return measurementSeconds_; }

 private:
  float avg_ = 0.0F;
  float current_ = 0.0F;
  float eligibleThreshold_ = 0.0F;
  float max_ = 0.0F;
  float min_ = 0.0F;
  float sum_ = 0.0F;
  double continuousEligibleSeconds_ = 0.0;
  double eligibleSeconds_ = 0.0;
  double maxContinuousEligibleSeconds_ = 0.0;
  std::int64_t measurementCount_ = 0;
  double measurementSeconds_ = 0.0;
};

}  // namespace plexora
