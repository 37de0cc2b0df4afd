// The ad-quality rules: the running metric's arithmetic, the MRC and
// viewable-impression rules over sequences of ticks, and the manager that
// samples a real view in a window for every tick.
#include "util/OVAdQualityManager.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UITest.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace plexora {
namespace {

using platform::Rect;

TEST(OVAdQualityMetricTest, TimeWeightedAverageExtremesAndEligibleRuns) {
  auto metric = OVAdQualityMetric::metricWithEligibleThreshold(0.5F);
  metric.registerProgress(1.0, 0.2F);
  metric.registerProgress(3.0, 0.6F);
  EXPECT_FLOAT_EQ(metric.avg(), 0.5F);
  EXPECT_FLOAT_EQ(metric.min(), 0.2F);
  EXPECT_FLOAT_EQ(metric.max(), 0.6F);
  EXPECT_FLOAT_EQ(metric.current(), 0.6F);
  EXPECT_DOUBLE_EQ(metric.measurementSeconds(), 4.0);
  EXPECT_EQ(metric.measurementCount(), 2);
  EXPECT_DOUBLE_EQ(metric.eligibleSeconds(), 3.0);
  EXPECT_DOUBLE_EQ(metric.maxContinuousEligibleSeconds(), 3.0);

  // A reset keeps the unbroken run going, and the longest run with it.
  metric.reset();
  EXPECT_EQ(metric.measurementCount(), 0);
  EXPECT_FLOAT_EQ(metric.avg(), 0.0F);
  EXPECT_DOUBLE_EQ(metric.eligibleSeconds(), 0.0);
  metric.registerProgress(1.0, 0.9F);
  EXPECT_FLOAT_EQ(metric.min(), 0.9F) << "the first sample after a reset sets both extremes";
  EXPECT_DOUBLE_EQ(metric.continuousEligibleSeconds(), 4.0);
  EXPECT_DOUBLE_EQ(metric.maxContinuousEligibleSeconds(), 4.0);
  metric.registerProgress(1.0, 0.1F);
  EXPECT_DOUBLE_EQ(metric.continuousEligibleSeconds(), 0.0);
  EXPECT_DOUBLE_EQ(metric.maxContinuousEligibleSeconds(), 4.0);
}

TEST(OVAdQualityMetricTest, ATickOfNoTimeLeavesTheAverageANumber) {
  OVAdQualityMetric metric(0.5F);
  metric.registerProgress(0.0, 0.7F);
  EXPECT_FLOAT_EQ(metric.avg(), 0.0F);
  EXPECT_FLOAT_EQ(metric.max(), 0.7F);
}

struct End {
  bool complete;
  bool passed;
  double eligibleSeconds;
};

// Feeds (seconds, ratio) ticks to a test of the rule and answers after which
// tick (1-based) its callback ran, and what it received; 0 when it never ran.
std::pair<std::size_t, std::vector<End>> run(
    OVAdQualityRule (*factory)(OVAdQualityRule::EndCallback),
    const std::vector<std::pair<double, float>>& ticks) {
  std::vector<End> ends;
  auto test = OVAdQualityTest::testWithRule(factory([&](bool complete, bool passed, const OVAdQualityStatistics& s) {
    ends.push_back({complete, passed, s.viewabilityStatistics().eligibleSeconds()});
  }));
  std::size_t endedAt = 0;
  for (std::size_t index = 0; index < ticks.size(); ++index) {
    test.registerProgress(ticks[index].first, ticks[index].second);
    if (!ends.empty() && endedAt == 0) endedAt = index + 1;
  }
  return {endedAt, ends};
}

std::vector<std::pair<double, float>> repeat(std::size_t count, double seconds, float ratio) {
  return std::vector<std::pair<double, float>>(count, {seconds, ratio});
}

std::vector<std::pair<double, float>> operator+(std::vector<std::pair<double, float>> a,
                                                const std::vector<std::pair<double, float>>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(OVAdQualityTestTest, RulesPassOnceTheirViewableSecondsAddUp) {
  struct Case {
    const char* name;
    OVAdQualityRule (*factory)(OVAdQualityRule::EndCallback);
    std::vector<std::pair<double, float>> ticks;
    std::size_t endsAfterTick;  // 0: never
  };
  const auto mrc = &OVAdQualityRule::mrcRuleWithEndCallback;
  const auto impression = &OVAdQualityRule::viewableImpressionRuleWithEndCallback;
  const Case cases[] = {
      {"MRC: eight ticks of 0.25 s at 0.6", mrc, repeat(8, 0.25, 0.6F), 8},
      {"MRC: seven ticks are not enough", mrc, repeat(7, 0.25, 0.6F), 0},
      {"MRC: a dip below half breaks the run", mrc, repeat(7, 0.25, 0.6F) + repeat(1, 0.25, 0.4F) + repeat(8, 0.25, 0.6F),
       16},
      {"MRC: exactly half counts", mrc, repeat(8, 0.25, 0.5F), 8},
      {"MRC: one long tick", mrc, repeat(1, 2.0, 1.0F), 1},
      {"impression: any visible part for a moment", impression, repeat(1, 0.25, 1e-7F), 1},
      {"impression: nothing visible", impression, repeat(5, 0.25, 0.0F), 0},
      {"impression: too short a tick", impression, repeat(1, 0.0005, 1.0F) + repeat(1, 0.0005, 1.0F), 2},
      {"impression: not continuous", impression, repeat(1, 0.0005, 1.0F) + repeat(1, 0.25, 0.0F) +
                                                     repeat(1, 0.0005, 1.0F), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [endedAt, ends] = run(c.factory, c.ticks + repeat(4, 1.0, 1.0F));
    if (c.endsAfterTick == 0) {
      EXPECT_TRUE(endedAt == 0 || endedAt > c.ticks.size()) << "ended at tick " << endedAt;
      continue;
    }
    EXPECT_EQ(endedAt, c.endsAfterTick);
    ASSERT_EQ(ends.size(), 1u) << "a rule ends once, whatever follows";
    EXPECT_TRUE(ends[0].complete);
    EXPECT_TRUE(ends[0].passed);
  }
}

TEST(OVAdQualityTestTest, EndingUnpassedHandsOverTheWholeTestsStatistics) {
  std::vector<End> ends;
  auto test = OVAdQualityTest::testWithRule(
      OVAdQualityRule::mrcRuleWithEndCallback([&](bool complete, bool passed, const OVAdQualityStatistics& s) {
        ends.push_back({complete, passed, s.viewabilityStatistics().measurementSeconds()});
      }));
  test.registerProgress(1.0, 0.9F);
  test.registerProgress(0.5, 0.1F);
  test.registerEnd();
  test.registerEnd();
  test.registerProgress(3.0, 1.0F);
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_FALSE(ends[0].complete);
  EXPECT_FALSE(ends[0].passed);
  EXPECT_DOUBLE_EQ(ends[0].eligibleSeconds, 1.5) << "the test's statistics, not the broken run's";
  EXPECT_TRUE(test.ended());
}

// A 100 x 100 target in a key window filling the screen.
class OVAdQualityManagerTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window_ = makeKeyWindow();
    target_ = std::make_shared<platform::View>(Rect(10, 10, 100, 100));
    window_->addSubview(target_);
  }

  std::shared_ptr<platform::Window> window_;
  std::shared_ptr<platform::View> target_;
};

TEST_F(OVAdQualityManagerTest, EachTickSamplesTheViewForTheStatisticsAndTheRules) {
  std::vector<std::string> passed;
  OVAdQualityManager manager(
      target_, {OVAdQualityRule::mrcRuleWithEndCallback([&](bool, bool, const auto&) { passed.push_back("mrc"); }),
                OVAdQualityRule::viewableImpressionRuleWithEndCallback(
                    [&](bool, bool, const auto&) { passed.push_back("impression"); })});
  ASSERT_EQ(manager.tests().size(), 2u);

  // Pushed 70 points past the left edge: 30% visible.
  target_->setFrame(Rect(-70, 10, 100, 100));
  manager.registerProgress(1.0, 0.5F);
  EXPECT_EQ(passed, std::vector<std::string>{"impression"});
  EXPECT_NEAR(manager.statistics().viewabilityStatistics().current(), 0.3F, 1e-6);
  EXPECT_FLOAT_EQ(manager.statistics().audibilityStatistics().current(), 0.5F);

  // A negative volume counts for viewability only.
  target_->setFrame(Rect(10, 10, 100, 100));
  manager.registerProgress(1.0, -1.0F);
  manager.registerProgress(1.0, -1.0F);
  EXPECT_EQ(manager.statistics().audibilityStatistics().measurementCount(), 1);
  EXPECT_EQ(manager.statistics().viewabilityStatistics().measurementCount(), 3);
  EXPECT_EQ(passed, (std::vector<std::string>{"impression", "mrc"}));

  // Resetting the statistics leaves the rules ended.
  manager.resetStatistics();
  EXPECT_EQ(manager.statistics().viewabilityStatistics().measurementCount(), 0);
  manager.registerProgress(5.0, 1.0F);
  EXPECT_EQ(passed.size(), 2u);
  EXPECT_TRUE(manager.tests()[0].passed());
}

TEST_F(OVAdQualityManagerTest, AViewOutOfItsWindowIsNeverViewable) {
  bool passed = false;
  OVAdQualityManager manager(target_, {OVAdQualityRule::viewableImpressionRuleWithEndCallback(
                                          [&](bool, bool, const auto&) { passed = true; })});
  target_->removeFromSuperview();
  manager.registerProgress(3.0, 1.0F);
  EXPECT_FALSE(passed);
  EXPECT_FLOAT_EQ(manager.statistics().viewabilityStatistics().max(), 0.0F);

  // Pointed at a view on screen, the same manager measures that one.
  const auto other = std::make_shared<platform::View>(Rect(0, 0, 50, 50));
  window_->addSubview(other);
  manager.setTargetView(other);
  manager.registerProgress(0.25, 1.0F);
  EXPECT_TRUE(passed);
}

}  // namespace
}  // namespace plexora
