// One ad-quality rule under test: counts the playback ticks at or above the
// rule's visible fraction and ends, passed, once they add up to the rule's
// seconds (in one unbroken run for a continuous rule). A test ends at most
// once; after that it counts nothing.
//
// Thread safety: main thread only.
// Ownership: a value, held by the quality manager; the rule's callback is
// called on the test's own stack, so it must not destroy the manager that
// runs it (the logger's callbacks hold the logger while they run).
#pragma once

#include "util/OVAdQualityRule.h"
#include "util/OVAdQualityStatistics.h"

namespace plexora {

class OVAdQualityTest {
 public:
  static OVAdQualityTest testWithRule(OVAdQualityRule rule) { return OVAdQualityTest(std::move(rule)); }
  explicit OVAdQualityTest(OVAdQualityRule rule);

  void registerProgress(double seconds, float viewableRatio);
  // Ends a test still running, unpassed.
  void registerEnd();

  const OVAdQualityRule& rule() const { return rule_; }
  const OVAdQualityStatistics& testStatistics() const { return testStatistics_; }
  const OVAdQualityStatistics& passingStatistics() const { return passingStatistics_; }
  bool ended() const { return ended_; }
  bool passed() const { return passed_; }
  bool complete() const { return complete_; }

 private:
  void onPassed();
  void onComplete();
  void onEnd();
  OVAdQualityStatistics freshStatistics() const;

  OVAdQualityRule rule_;
  OVAdQualityStatistics testStatistics_;
  OVAdQualityStatistics passingStatistics_;
  bool ended_ = false;
  bool passed_ = false;
  bool complete_ = false;
};

}  // namespace plexora
