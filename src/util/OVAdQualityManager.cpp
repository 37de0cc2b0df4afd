#include "util/OVAdQualityManager.h"

#include "platform/ui/View.h"

namespace plexora {

OVAdQualityManager::OVAdQualityManager() : OVAdQualityManager(std::make_shared<platform::View>(), {}) {}

OVAdQualityManager::OVAdQualityManager(std::shared_ptr<platform::View> targetView, std::vector<OVAdQualityRule> rules)
    : targetView_(std::move(targetView)),
      viewabilityMeasurement_(OVAdQualityViewabilityMeasurement::measurementWithTargetView(targetView_)) {
  tests_.reserve(rules.size());
  for (auto& rule : rules) tests_.push_back(OVAdQualityTest::testWithRule(std::move(rule)));
}

void OVAdQualityManager::setTargetView(std::shared_ptr<platform::View> targetView) {
  targetView_ = std::move(targetView);
  viewabilityMeasurement_->setTargetView(targetView_);
}

void OVAdQualityManager::registerProgress(double seconds, float volume) {
  if (volume >= 0.0F) statistics_.registerAudibilityProgress(seconds, volume);
  const float ratio = viewabilityMeasurement_->viewableRatio();
  statistics_.registerViewabilityProgress(seconds, ratio);
  // By index: a test's callback runs on this stack.
  for (std::size_t index = 0; index < tests_.size(); ++index) tests_[index].registerProgress(seconds, ratio);
}

}  // namespace plexora
