// The gradient view: what its factory puts on its layer, and that touches
// pass through it.
#include "adapters/views/nativead/OVGradientView.h"

#include <gtest/gtest.h>

#include "platform/ui/UITest.h"
#include "platform/ui/Window.h"

namespace plexora::testing {
namespace {

using platform::Color;
using platform::Rect;

using OVGradientViewTest = platform::testing::UITest;

TEST_F(OVGradientViewTest, NewWithColorsShadesTopToBottomOverAClearBackground) {
  const auto view = OVGradientView::newWithColors({Color::black(), Color::clear()});
  ASSERT_TRUE(view->gradientLayer());
  EXPECT_EQ(view->gradientLayer()->colors, (std::vector<Color>{Color::black(), Color::clear()}));
  EXPECT_TRUE(view->gradientLayer()->locations.empty());
  EXPECT_EQ(view->gradientLayer()->startPoint, (platform::Point{0.5, 0.0}));
  EXPECT_EQ(view->gradientLayer()->endPoint, (platform::Point{0.5, 1.0}));
  EXPECT_DOUBLE_EQ(view->alpha(), 1.0);
  EXPECT_EQ(view->backgroundColor(), Color::clear());
  EXPECT_FALSE(view->isUserInteractionEnabled());
  EXPECT_DOUBLE_EQ(OVGradientView::newWithColors({Color::black()}, 0.4)->alpha(), 0.4);
}

TEST_F(OVGradientViewTest, TouchesReachTheViewBehind) {
  const auto window = makeKeyWindow();
  const auto behind = std::make_shared<platform::View>(Rect(0, 0, 100, 100));
  const auto shade = OVGradientView::newWithColors({Color::black(), Color::clear()});
  shade->setFrame(Rect(0, 0, 100, 100));
  window->addSubview(behind);
  window->addSubview(shade);
  EXPECT_EQ(window->hitTest({50, 50}, nullptr), behind);
}

}  // namespace
}  // namespace plexora::testing
