// The drawn symbol buttons over a video, as pixels: the play button's
// triangle or bars, the play/pause disc with its symbol, and the dismiss
// cross, each switching with the highlighted (paused) state.
#include "adapters/views/video/OVAdVideoPlayButton.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "adapters/views/video/OVAdVideoDismissButton.h"
#include "adapters/views/video/OVAdVideoPlayPauseButton.h"
#include "platform/ui/Image.h"
#include "platform/ui/UITest.h"
#include "platform/ui/ViewRendering.h"

namespace plexora {
namespace {

using platform::Pixel;
using OVAdVideoPlayButtonTest = platform::testing::UITest;

std::shared_ptr<platform::Image> picture(const platform::View& view) {
  return platform::renderView(view, view.bounds(), 1.0, platform::Color::black());
}

int level(const Pixel& pixel) { return pixel.red; }

TEST_F(OVAdVideoPlayButtonTest, ThePlayButtonShowsPlayWhilePausedAndBarsWhilePlaying) {
  const auto button = OVAdVideoPlayButton::videoPlayButton();
  button->setFrame({0, 0, 125, 125});
  button->setHighlighted(true);
  const auto paused = picture(*button);
  ASSERT_TRUE(paused);
  EXPECT_GT(level(paused->pixel(50, 75)), 240) << "inside the triangle";
  EXPECT_GT(level(paused->pixel(30, 60)), 240);
  EXPECT_LT(level(paused->pixel(90, 75)), 20) << "past its tip";

  button->setHighlighted(false);
  const auto playing = picture(*button);
  ASSERT_TRUE(playing);
  EXPECT_GT(level(playing->pixel(37, 75)), 240) << "the left bar";
  EXPECT_GT(level(playing->pixel(63, 75)), 240) << "the right bar";
  EXPECT_LT(level(playing->pixel(50, 75)), 20) << "between the bars";

  // The grid scales with the larger side.
  button->setFrame({0, 0, 250, 100});
  button->setHighlighted(true);
  const auto wide = picture(*button);
  ASSERT_TRUE(wide);
  EXPECT_GT(level(wide->pixel(70, 95)), 240) << "the triangle at twice the size";
}

TEST_F(OVAdVideoPlayButtonTest, ThePlayPauseButtonDrawsItsSymbolOnAWhiteDisc) {
  const auto button = OVAdVideoPlayPauseButton::videoPlayPauseButton();
  button->setFrame({0, 0, 60, 60});  // disc radius 23 around (30, 30)
  const auto near = [](int value, int expected) { return std::abs(value - expected) < 12; };

  button->setHighlighted(true);
  const auto paused = picture(*button);
  ASSERT_TRUE(paused);
  EXPECT_TRUE(near(level(paused->pixel(30, 30)), 77)) << "the play triangle";
  EXPECT_TRUE(near(level(paused->pixel(30, 45)), 204)) << "the disc below it";
  EXPECT_LT(level(paused->pixel(1, 1)), 10) << "outside the disc";

  button->setHighlighted(false);
  const auto playing = picture(*button);
  ASSERT_TRUE(playing);
  EXPECT_TRUE(near(level(playing->pixel(30, 30)), 204)) << "between the bars";
  EXPECT_TRUE(near(level(playing->pixel(24, 30)), 77)) << "the left bar";
  EXPECT_TRUE(near(level(playing->pixel(36, 30)), 77)) << "the right bar";
}

TEST_F(OVAdVideoPlayButtonTest, TheDismissButtonIsAWhiteCross) {
  const auto button = OVAdVideoDismissButton::videoDismissButton();
  button->setFrame({0, 0, 30, 30});
  const auto image = picture(*button);
  ASSERT_TRUE(image);
  EXPECT_GT(level(image->pixel(15, 15)), 240) << "the crossing";
  EXPECT_GT(level(image->pixel(11, 11)), 200);
  EXPECT_GT(level(image->pixel(18, 11)), 200);
  EXPECT_LT(level(image->pixel(15, 4)), 20);
}

}  // namespace
}  // namespace plexora
