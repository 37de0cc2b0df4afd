// The two running metrics of a playing video ad: how much of its view was
// visible (viewability) and how loud it played (audibility).
//
// Thread safety: main thread only, like the quality manager that owns it.
// Ownership: a value, held by the quality manager and its tests.
#pragma once

#include "util/OVAdQualityMetric.h"

namespace plexora {

class OVAdQualityStatistics {
 public:
  static constexpr float kDefaultViewableThreshold = 0.5F;
  static constexpr float kDefaultAudibleThreshold = 0.05F;

  static OVAdQualityStatistics statisticsWithViewableThreshold(float viewableThreshold,
                                                               float audibleThreshold = kDefaultAudibleThreshold) {
    return OVAdQualityStatistics(viewableThreshold, audibleThreshold);
  }
  OVAdQualityStatistics() : OVAdQualityStatistics(kDefaultViewableThreshold) {}
  explicit OVAdQualityStatistics(float viewableThreshold, float audibleThreshold = kDefaultAudibleThreshold)
      : viewabilityStatistics_(viewableThreshold), audibilityStatistics_(audibleThreshold) {}

  void registerViewabilityProgress(double seconds, float viewableRatio) {
    viewabilityStatistics_.registerProgress(seconds, viewableRatio);
  }
  void registerAudibilityProgress(double seconds, float volume) {
    audibilityStatistics_.registerProgress(seconds, volume);
  }
  void reset() {
    audibilityStatistics_.reset();
    viewabilityStatistics_.reset();
  }

  const OVAdQualityMetric& viewabilityStatistics() const { return viewabilityStatistics_; }
  const OVAdQualityMetric& audibilityStatistics() const { return audibilityStatistics_; }

 private:
  OVAdQualityMetric viewabilityStatistics_;
  OVAdQualityMetric audibilityStatistics_;
};

}  // namespace plexora
