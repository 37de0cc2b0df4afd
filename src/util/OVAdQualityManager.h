// Measures how well a playing video ad is seen and heard: at every progress
// tick it samples the visible fraction of the target view, feeds its
// running viewability and audibility statistics, and hands the tick to each
// rule's test, which calls its rule's end callback once it passes.
//
// The video logger reads the statistics into every video event and resets
// them after each report; the tests are never reset.
//
// Thread safety: main thread only (the measurement reads the view tree).
// Ownership: the video logger owns its manager; the manager holds its
// target view strongly.
#pragma once

#include <memory>
#include <vector>

#include "util/OVAdQualityRule.h"
#include "util/OVAdQualityStatistics.h"
#include "util/OVAdQualityTest.h"
#include "util/OVAdQualityViewabilityMeasurement.h"

namespace plexora::platform {
class View;
}

namespace plexora {

class OVAdQualityManager {
 public:
  static std::unique_ptr<OVAdQualityManager> managerWithTargetView(std::shared_ptr<platform::View> targetView,
                                                                   std::vector<OVAdQualityRule> rules) {
    return std::make_unique<OVAdQualityManager>(std::move(targetView), std::move(rules));
  }
  // A new empty view and no rules.
  OVAdQualityManager();
  // One test for each rule, in the rules' order.
  OVAdQualityManager(std::shared_ptr<platform::View> targetView, std::vector<OVAdQualityRule> rules);
  OVAdQualityManager(const OVAdQualityManager&) = delete;
  OVAdQualityManager& operator=(const OVAdQualityManager&) = delete;

  // `seconds` of playback at `volume`; a negative volume leaves audibility
  // alone.
  void registerProgress(double seconds, float volume);
  void resetStatistics() { statistics_.reset(); }

  const std::shared_ptr<platform::View>& targetView() const { return targetView_; }
  void setTargetView(std::shared_ptr<platform::View> targetView);
  const std::vector<OVAdQualityTest>& tests() const { return tests_; }
  const OVAdQualityViewabilityMeasurement& viewabilityMeasurement() const { return *viewabilityMeasurement_; }
  const OVAdQualityStatistics& statistics() const { return statistics_; }

 private:
  std::shared_ptr<platform::View> targetView_;
  std::vector<OVAdQualityTest> tests_;
  std::shared_ptr<OVAdQualityViewabilityMeasurement> viewabilityMeasurement_;
  OVAdQualityStatistics statistics_;
};

}  // namespace plexora
