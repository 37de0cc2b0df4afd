// The call-to-action button's size and look.
#include "adapters/views/video/OVAdVideoCallToActionButton.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/ui/TextMeasurement.h"
#include "platform/ui/UITest.h"

namespace plexora {
namespace {

using OVAdVideoCallToActionButtonTest = platform::testing::UITest;

TEST_F(OVAdVideoCallToActionButtonTest, ItFitsItsTextAt28PointsInItsOwnLook) {
  for (const std::string text : {"Install Now", "", "A much longer call to action"}) {
    SCOPED_TRACE(text);
    const auto button = OVAdVideoCallToActionButton::initWithText(text);
    EXPECT_DOUBLE_EQ(button->frame().height(), 28.0);
    // Measured before the defaults set the smaller font.
    EXPECT_DOUBLE_EQ(button->frame().width(),
                     platform::measureText(text, platform::Font::systemFont(platform::Button::kDefaultTitleFontSize),
                                           0.0, 1)
                         .width);
    EXPECT_EQ(button->titleLabel()->font().pointSize, 13.0);
    EXPECT_EQ(button->titleColor(platform::kControlStateNormal), platform::Color::white());
    EXPECT_EQ(button->cornerRadius(), 5.0);
    EXPECT_EQ(button->borderWidth(), 1.0);
    EXPECT_TRUE(button->clipsToBounds());
  }
  const auto plain = OVAdVideoCallToActionButton::init();
  EXPECT_EQ(plain->currentTitle(), "");
  EXPECT_DOUBLE_EQ(plain->frame().height(), 28.0);
}

}  // namespace
}  // namespace plexora
