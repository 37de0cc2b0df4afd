// One ad-quality rule: how many seconds of playback, at or above which
// visible fraction of the view, and whether those seconds must be one
// unbroken run. The end callback hears once how the rule's test ended.
//
// Thread safety: immutable once made; the callback runs on the main thread.
// Ownership: a value, copied into each test made of it.
#pragma once

#include <functional>

#include "util/OVAdQualityStatistics.h"

namespace plexora {

class OVAdQualityRule {
 public:
  // The statistics are the passing run's when the rule passed, else the
  // test's whole statistics.
  using EndCallback = std::function<void(bool complete, bool passed, const OVAdQualityStatistics& statistics)>;

  static constexpr float kMRCViewableRatio = 0.5F;
  static constexpr double kMRCViewableSeconds = 2.0;
  static constexpr float kViewableImpressionViewableRatio = 1e-7F;
  static constexpr double kViewableImpressionViewableSeconds = 0.001;

  // Half of the view visible for two continuous seconds.
  static OVAdQualityRule mrcRuleWithEndCallback(EndCallback endCallback);
  // Any visible part for a moment.
  static OVAdQualityRule viewableImpressionRuleWithEndCallback(EndCallback endCallback);
  static OVAdQualityRule ruleWithViewableRatio(float viewableRatio, double viewableSeconds, bool continuous,
                                               EndCallback endCallback) {
    return OVAdQualityRule(viewableRatio, viewableSeconds, continuous, std::move(endCallback));
  }

  // Ratio 0, seconds 0, not continuous, no callback.
  OVAdQualityRule() = default;
  OVAdQualityRule(float viewableRatio, double viewableSeconds, bool continuous, EndCallback endCallback)
      : continuous_(continuous),
        viewableRatio_(viewableRatio),
        endCallback_(std::move(endCallback)),
        viewableSeconds_(viewableSeconds) {}

  bool isContinuous() const { return continuous_; }
  float viewableRatio() const { return viewableRatio_; }
  const EndCallback& endCallback() const { return endCallback_; }
  double viewableSeconds() const { return viewableSeconds_; }

 private:
  bool continuous_ = false;
  float viewableRatio_ = 0.0F;
  EndCallback endCallback_;
  double viewableSeconds_ = 0.0;
};

}  // namespace plexora
