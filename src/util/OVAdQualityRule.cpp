#include "util/OVAdQualityRule.h"

namespace plexora {

OVAdQualityRule OVAdQualityRule::mrcRuleWithEndCallback(EndCallback endCallback) {
  return OVAdQualityRule(kMRCViewableRatio, kMRCViewableSeconds, true, std::move(endCallback));
}

OVAdQualityRule OVAdQualityRule::viewableImpressionRuleWithEndCallback(EndCallback endCallback) {
  return OVAdQualityRule(kViewableImpressionViewableRatio, kViewableImpressionViewableSeconds, false,
                         std::move(endCallback));
}

}  // namespace plexora
