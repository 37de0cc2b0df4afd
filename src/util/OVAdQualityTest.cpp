#include "util/OVAdQualityTest.h"

namespace plexora {

OVAdQualityTest::OVAdQualityTest(OVAdQualityRule rule)
    : rule_(std::move(rule)), testStatistics_(freshStatistics()), passingStatistics_(freshStatistics()) {}

OVAdQualityStatistics OVAdQualityTest::freshStatistics() const {
  return OVAdQualityStatistics::statisticsWithViewableThreshold(rule_.viewableRatio());
}

void OVAdQualityTest::registerProgress(double seconds, float viewableRatio) {
  if (ended_) return;
  testStatistics_.registerViewabilityProgress(seconds, viewableRatio);
  passingStatistics_.registerViewabilityProgress(seconds, viewableRatio);
  const double eligible = passingStatistics_.viewabilityStatistics().eligibleSeconds();
  // A tick below the ratio breaks the run: a continuous rule counts again
  // from nothing.
  if (rule_.isContinuous() && rule_.viewableRatio() > viewableRatio) passingStatistics_ = freshStatistics();
  if (eligible >= rule_.viewableSeconds()) onPassed();
}

void OVAdQualityTest::registerEnd() {
  if (!ended_) onEnd();
}

void OVAdQualityTest::onPassed() {
  passed_ = true;
  onComplete();
}

void OVAdQualityTest::onComplete() {
  complete_ = true;
  onEnd();
}

void OVAdQualityTest::onEnd() {
  ended_ = true;
  if (rule_.endCallback()) rule_.endCallback()(complete_, passed_, passed_ ? passingStatistics_ : testStatistics_);
}

}  // namespace plexora
