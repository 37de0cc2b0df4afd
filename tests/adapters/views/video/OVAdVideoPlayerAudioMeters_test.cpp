// The audio meters: their fixed size and layout, when they animate, the
// levels a seeded source gives, and the bars' heights on the manual clock
// as pixels.
#include "adapters/views/video/OVAdVideoPlayerAudioMeters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "platform/ui/Image.h"
#include "platform/ui/UITest.h"
#include "platform/ui/ViewRendering.h"

namespace plexora {
namespace {

class OVAdVideoPlayerAudioMetersTest : public platform::testing::UITest {
 protected:
  std::shared_ptr<platform::View> parent_ = std::make_shared<platform::View>(platform::Rect(0, 0, 100, 100));
};

TEST_F(OVAdVideoPlayerAudioMetersTest, ElevenBySixteenWithThreeBars) {
  const auto meters = OVAdVideoPlayerAudioMeters::create();
  for (const platform::Size asked : {platform::Size{0, 0}, platform::Size{500, 3}}) {
    const platform::Size size = meters->sizeThatFits(asked);
    EXPECT_EQ(size.width, 11.0);
    EXPECT_EQ(size.height, 16.0);
  }
  ASSERT_EQ(meters->subviews().size(), 3u);
  EXPECT_EQ(meters->subviews()[0], meters->leftMeter());
  EXPECT_EQ(meters->leftMeter()->frame(), platform::Rect(0, 0, 3, 16));
  EXPECT_EQ(meters->centerMeter()->frame(), platform::Rect(4, 0, 3, 16));
  EXPECT_EQ(meters->rightMeter()->frame(), platform::Rect(8, 0, 3, 16));
}

TEST_F(OVAdVideoPlayerAudioMetersTest, AnimationStartsOnlyInASuperviewAndWhileShown) {
  const auto meters = OVAdVideoPlayerAudioMeters::create();
  meters->startAnimating();
  EXPECT_TRUE(meters->isAnimating());
  EXPECT_FALSE(meters->leftMeter()->animation()) << "no superview yet";
  parent_->addSubview(meters);
  ASSERT_TRUE(meters->leftMeter()->animation());
  EXPECT_EQ(meters->leftMeter()->animation()->values.size(), 50u);
  EXPECT_EQ(meters->leftMeter()->animation()->duration, 7.5);

  // Hiding keeps the animation; showing again starts fresh levels.
  meters->seedRandomSource(1);
  const auto before = meters->centerMeter()->animation()->values;
  meters->setHidden(true);
  EXPECT_EQ(meters->centerMeter()->animation()->values, before);
  meters->setHidden(false);
  EXPECT_NE(meters->centerMeter()->animation()->values, before);

  meters->stopAnimating();
  EXPECT_FALSE(meters->isAnimating());
  EXPECT_FALSE(meters->leftMeter()->animation());
  EXPECT_FALSE(meters->rightMeter()->animation());
  EXPECT_FALSE(meters->isHidden()) << "not hidden unless asked";
}

TEST_F(OVAdVideoPlayerAudioMetersTest, HiddenWhileStoppedWhenAsked) {
  const auto meters = OVAdVideoPlayerAudioMeters::create();
  meters->setHidesWhenStopped(true);
  meters->setHidden(true);
  parent_->addSubview(meters);
  meters->startAnimating();
  EXPECT_FALSE(meters->isHidden());
  EXPECT_TRUE(meters->leftMeter()->animation());
  meters->stopAnimating();
  EXPECT_TRUE(meters->isHidden());
  EXPECT_FALSE(meters->leftMeter()->animation());
}

TEST_F(OVAdVideoPlayerAudioMetersTest, SeededLevelsRepeatAndStayWithinZeroAndOne) {
  const auto levels = [&](std::uint32_t seed) {
    const auto meters = OVAdVideoPlayerAudioMeters::create();
    meters->seedRandomSource(seed);
    parent_->addSubview(meters);
    meters->startAnimating();
    std::vector<float> all;
    for (const auto& bar : {meters->leftMeter(), meters->centerMeter(), meters->rightMeter()}) {
      const auto& values = bar->animation()->values;
      all.insert(all.end(), values.begin(), values.end());
    }
    return all;
  };
  for (const std::uint32_t seed : {0u, 7u, 123456789u}) {
    SCOPED_TRACE(seed);
    const auto values = levels(seed);
    ASSERT_EQ(values.size(), 150u);
    EXPECT_EQ(values, levels(seed));
    for (const float value : values) {
      EXPECT_GE(value, 0.0F);
      EXPECT_LE(value, 1.0F);
    }
  }
  EXPECT_NE(levels(1), levels(2));
}

TEST_F(OVAdVideoPlayerAudioMetersTest, TheBarsPlayTheirLevelsForwardsThenBackwardsOnTheClock) {
  const auto meters = OVAdVideoPlayerAudioMeters::create();
  meters->seedRandomSource(42);
  parent_->addSubview(meters);
  meters->startAnimating();
  const auto values = meters->leftMeter()->animation()->values;
  // The lit rows of the left bar's middle column.
  const auto litRows = [&] {
    const auto image = platform::renderView(*meters, meters->bounds(), 1.0, platform::Color::black());
    int rows = 0;
    for (std::uint32_t y = 0; y < 16; ++y) rows += image->pixel(1, y).red > 76 ? 1 : 0;
    return rows;
  };
  meters->setFrame({0, 0, 11, 16});
  const auto expectRows = [&](float level) { EXPECT_NEAR(litRows(), std::lround(16.0F * level), 1); };
  expectRows(values[0]);
  EXPECT_FLOAT_EQ(static_cast<float>(meters->leftMeter()->currentScale()), values[0]);

  clock_->advance(7.5 / 49.0 * 10.0);
  EXPECT_NEAR(meters->leftMeter()->currentScale(), values[10], 1e-5);
  expectRows(values[10]);

  clock_->advance(7.5 - 7.5 / 49.0 * 10.0);
  EXPECT_NEAR(meters->leftMeter()->currentScale(), values[49], 1e-5) << "the last frame at 7.5 s";

  clock_->advance(7.5 / 49.0 * 2.0);
  EXPECT_NEAR(meters->leftMeter()->currentScale(), values[47], 1e-5) << "then backwards";

  clock_->advance(7.5 - 7.5 / 49.0 * 2.0);
  EXPECT_NEAR(meters->leftMeter()->currentScale(), values[0], 1e-5) << "and round again";

  meters->stopAnimating();
  EXPECT_EQ(litRows(), 16) << "a stopped bar stands at full height";
}

}  // namespace
}  // namespace plexora
