// The video caption label: its look, and the size initWithText fits it to
// on a 375-point screen.
#include "adapters/views/video/OVVideoAdLabel.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/ui/TextMeasurement.h"
#include "platform/ui/UITest.h"

namespace plexora {
namespace {

using OVVideoAdLabelTest = platform::testing::UITest;

TEST_F(OVVideoAdLabelTest, ItWrapsCentredGreyTextAndTakesNoTouches) {
  const auto label = std::make_shared<OVVideoAdLabel>(platform::Rect{5, 5, 100, 40});
  EXPECT_EQ(label->frame(), (platform::Rect{5, 5, 100, 40}));
  EXPECT_FALSE(label->isUserInteractionEnabled());
  EXPECT_EQ(label->font(), platform::Font::systemFont(15.0));
  EXPECT_EQ(label->numberOfLines(), 0);
  EXPECT_EQ(label->lineBreakMode(), platform::LineBreakMode::WordWrapping);
  EXPECT_EQ(label->textAlignment(), platform::TextAlignment::Center);
  EXPECT_EQ(label->textColor(), platform::Color::grey(0.8F, 1.0));
  EXPECT_EQ(label->backgroundColor(), platform::Color::grey(0.0, 0.6F));
}

TEST_F(OVVideoAdLabelTest, InitWithTextFitsWithinHalfTheScreen) {
  const platform::Font font = platform::Font::systemFont(15.0);
  for (const std::string text :
       {"0:31", "", "A rather long title for a video ad that cannot fit on one line of half a phone screen"}) {
    SCOPED_TRACE(text);
    const auto label = OVVideoAdLabel::initWithText(text);
    EXPECT_EQ(label->text(), text);
    EXPECT_EQ(label->frame().origin, (platform::Point{0, 0}));
    const platform::Size expected = platform::measureText(text, font, 187.5, 0);
    EXPECT_EQ(label->frame().size, expected);
    EXPECT_LE(label->frame().width(), 187.5);
  }
  EXPECT_GT(OVVideoAdLabel::initWithText("A rather long title for a video ad that cannot fit on one line")
                ->frame()
                .height(),
            OVVideoAdLabel::initWithText("0:31")->frame().height())
      << "a long text takes several lines";
}

}  // namespace
}  // namespace plexora
