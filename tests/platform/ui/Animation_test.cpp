#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "platform/ui/UITest.h"
#include "platform/ui/View.h"

namespace plexora::platform {
namespace {

using testing::UITest;
using AnimationTest = UITest;

TEST_F(AnimationTest, AppliesTheChangesAtOnceAndCompletesWhenTheClockHasAdvanced) {
  auto view = std::make_shared<View>();
  std::optional<bool> finished;
  View::animate(0.5, [&] { view->setAlpha(0.0); }, [&](bool done) { finished = done; });
  EXPECT_EQ(view->alpha(), 0.0);
  runMainQueue();
  EXPECT_FALSE(finished);
  clock_->advance(0.49);
  EXPECT_FALSE(finished);
  clock_->advance(0.01);
  EXPECT_EQ(finished, true);
}

TEST_F(AnimationTest, ADelayAddsToTheDuration) {
  bool finished = false;
  View::animate(0.2, 0.3, kAnimationOptionBeginFromCurrentState | kAnimationOptionAllowAnimatedContent, nullptr,
                [&](bool) { finished = true; });
  clock_->advance(0.4);
  EXPECT_FALSE(finished);
  clock_->advance(0.1);
  EXPECT_TRUE(finished);
}

TEST_F(AnimationTest, ZeroOrInvalidDurationsCompleteOnTheNextTurnNotInline) {
  int completions = 0;
  View::animate(0.0, [] {}, [&](bool) { ++completions; });
  View::animate(-3.0, [] {}, [&](bool) { ++completions; });
  EXPECT_EQ(completions, 0);
  runMainQueue();
  EXPECT_EQ(completions, 2);
}

}  // namespace
}  // namespace plexora::platform
