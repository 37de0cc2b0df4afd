#include "util/OVAdClickGate.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/dispatch/Clock.h"
#include "platform/ui/View.h"
#include "plexora/OVAdSettings.h"
#include "support/TempDir.h"
#include "util/OVAdConfigManager.h"
#include "util/SettingsTestEnvironment.h"

namespace plexora {
namespace {

using platform::Dictionary;
using platform::Point;
using platform::Rect;
using platform::Value;

// A configuration of the test's own, on a manual clock whose time the
// impressions are placed against.
class OVAdClickGateTest : public ::testing::Test {
 protected:
  OVAdClickGateTest() {
    OVAdSettings::setLogLevel(6);
    clock_->advance(1000.0);
  }

  void configure(Dictionary configuration) {
    configuration_->loadConfigurationFromDictionary(Value(std::move(configuration)));
  }
  double now() const { return clock_->timeSinceReferenceDate(); }

  testing::SettingsTestEnvironment environment_;
  testing::TempDir directory_;
  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>();
  platform::ScopedClock scopedClock_{clock_};
  std::shared_ptr<OVAdConfigManager> configuration_ = OVAdConfigManager::create(directory_.path().string());
};

TEST_F(OVAdClickGateTest, TheTapMarginRefusesTapsAlongTheEdges) {
  const platform::View view(Rect(40, 60, 300, 100));
  struct Case {
    std::int64_t margin;
    Point tap;
    bool counts;
  };
  const Case cases[] = {
      {10, {20, 50}, false},  {10, {150, 50}, true},  {10, {31, 50}, true},   {10, {270, 50}, false},
      {10, {150, 9}, false},  {10, {150, 11}, true},  {10, {150, 90}, false}, {0, {0, 0}, true},
      {-5, {299, 99}, true},  {1, {2, 50}, false},    {49, {150, 50}, true},  {50, {150, 50}, false},
      {90, {150, 50}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.margin) + " at " + std::to_string(c.tap.x) + "," + std::to_string(c.tap.y));
    EXPECT_EQ(ov_isTap(view, c.tap, c.margin), c.counts);
    configure({{"ad_viewability_tap_margin", c.margin}});
    EXPECT_EQ(OVAdClickGate::passesTapMarginCheck(view, c.tap, *configuration_), c.counts);
  }
  EXPECT_EQ(environment_.count("<warn>] Invalid tap (20.000000, 50.000000) in view bounds (0.000000, 0.000000, "
                               "300.000000, 100.000000"),
            1u);
}

TEST_F(OVAdClickGateTest, AClickWithinTheThresholdAfterTheImpressionIsPremature) {
  // Not restricted until the impression, so the threshold alone decides.
  configure({{"ad_clickability_threshold_ms", 1000}, {"minimum_elapsed_time_after_impression", -1}});
  EXPECT_FALSE(OVAdClickGate::allowsClick(now() - 0.5, *configuration_));
  EXPECT_FALSE(OVAdClickGate::allowsClick(now() - 1.0, *configuration_)) << "the threshold itself is too soon";
  EXPECT_TRUE(OVAdClickGate::allowsClick(now() - 1.5, *configuration_));
  EXPECT_TRUE(OVAdClickGate::allowsClick(kOVAdNoImpressionTime, *configuration_)) << "no impression, no threshold";
  EXPECT_EQ(environment_.count("<warn>] Premature click event (threshold = 1.000000)."), 2u);

  configure({{"ad_clickability_threshold_ms", 0}, {"minimum_elapsed_time_after_impression", -1}});
  EXPECT_FALSE(OVAdClickGate::allowsClick(now(), *configuration_)) << "the instant of the impression";
  EXPECT_TRUE(OVAdClickGate::allowsClick(now() - 0.001, *configuration_));
}

TEST_F(OVAdClickGateTest, WhileRestrictedAClickNeedsTheImpressionAndTheMinimumTimeAfterIt) {
  configure({{"minimum_elapsed_time_after_impression", 2000}});
  EXPECT_FALSE(OVAdClickGate::allowsClick(kOVAdNoImpressionTime, *configuration_));
  EXPECT_FALSE(OVAdClickGate::allowsClick(now() - 1.0, *configuration_));
  EXPECT_TRUE(OVAdClickGate::allowsClick(now() - 3.0, *configuration_));
  EXPECT_EQ(environment_.count("<warn>] Click event occurred without impression. Ignoring..."), 2u);

  // Unrestricted, a click before any impression passes.
  configure({{"minimum_elapsed_time_after_impression", -1}});
  EXPECT_TRUE(OVAdClickGate::allowsClick(kOVAdNoImpressionTime, *configuration_));
}

TEST_F(OVAdClickGateTest, ATapRunsTheStepsInOrderAndStopsAtTheFirstRefusal) {
  const platform::View view(Rect(0, 0, 300, 100));
  configure({{"ad_clickability_threshold_ms", 1000},
             {"minimum_elapsed_time_after_impression", 2000},
             {"ad_viewability_tap_margin", 10}});
  EXPECT_FALSE(OVAdClickGate::allowsTap(now() - 0.5, view, {1, 1}, *configuration_));
  EXPECT_EQ(environment_.count("Premature click"), 1u);
  EXPECT_EQ(environment_.count("without impression"), 0u);
  EXPECT_EQ(environment_.count("Invalid tap"), 0u);

  EXPECT_FALSE(OVAdClickGate::allowsTap(now() - 1.5, view, {1, 1}, *configuration_));
  EXPECT_EQ(environment_.count("without impression"), 1u);
  EXPECT_EQ(environment_.count("Invalid tap"), 0u);

  EXPECT_FALSE(OVAdClickGate::allowsTap(now() - 3.0, view, {1, 1}, *configuration_));
  EXPECT_EQ(environment_.count("Invalid tap"), 1u);
  EXPECT_TRUE(OVAdClickGate::allowsTap(now() - 3.0, view, {150, 50}, *configuration_));
}

}  // namespace
}  // namespace plexora
