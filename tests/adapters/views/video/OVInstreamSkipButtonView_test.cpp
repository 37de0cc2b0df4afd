// The in-stream text buttons: the skip button's texts and its one-time
// fitting, and the look both buttons share, checked on their pictures.
#include "adapters/views/video/OVInstreamSkipButtonView.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "adapters/views/video/OVInstreamLearnMoreView.h"
#include "platform/ui/Image.h"
#include "platform/ui/TextMeasurement.h"
#include "platform/ui/UITest.h"
#include "platform/ui/ViewRendering.h"

namespace plexora {
namespace {

using OVInstreamSkipButtonViewTest = platform::testing::UITest;

double fittedWidth(const std::string& text) {
  return platform::measureText(text, platform::Font::systemFont(15.0), 0.0, 0).width + 20.0;
}

TEST_F(OVInstreamSkipButtonViewTest, ItReadsTheSecondsLeftOrSkipAd) {
  struct Case {
    std::uint64_t seconds;
    const char* text;
  };
  const Case cases[] = {{0, "Skip Ad"}, {1, "Skip Ad in 1"}, {5, "Skip Ad in 5"}, {120, "Skip Ad in 120"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto button = OVInstreamSkipButtonView::initWithRemainingSeconds(c.seconds);
    EXPECT_EQ(button->text(), c.text);
    EXPECT_EQ(button->textWithRemainingSeconds(), c.text);
    EXPECT_EQ(button->remainingSeconds(), c.seconds);
    EXPECT_DOUBLE_EQ(button->frame().width(), fittedWidth(c.text));
    EXPECT_DOUBLE_EQ(button->frame().height(), 30.0);
  }
}

TEST_F(OVInstreamSkipButtonViewTest, LaterTextsKeepTheFirstWidth) {
  const auto button = OVInstreamSkipButtonView::initWithRemainingSeconds(5);
  button->setFrame({{12, 40}, button->frame().size});
  const platform::Rect fitted = button->frame();

  button->setRemainingSeconds(5);
  EXPECT_EQ(button->text(), "Skip Ad in 5");
  button->setRemainingSeconds(0);
  EXPECT_EQ(button->text(), "Skip Ad");
  EXPECT_EQ(button->remainingSeconds(), 0u);
  EXPECT_EQ(button->frame(), fitted) << "no refit once made";

  // A default-made button is a fitted "Skip Ad", whatever frame it was
  // meant to have.
  const auto plain = std::make_shared<OVInstreamSkipButtonView>();
  EXPECT_EQ(plain->text(), "Skip Ad");
  EXPECT_DOUBLE_EQ(plain->frame().width(), fittedWidth("Skip Ad"));
  EXPECT_EQ(plain->frame().origin, (platform::Point{0, 0}));
}

TEST_F(OVInstreamSkipButtonViewTest, BothButtonsShareTheLookAndTakeTouches) {
  const auto skip = OVInstreamSkipButtonView::initWithRemainingSeconds(3);
  const auto learnMore = OVInstreamLearnMoreView::init();
  for (const std::shared_ptr<OVInstreamAdButton>& button :
       {std::shared_ptr<OVInstreamAdButton>(skip), std::shared_ptr<OVInstreamAdButton>(learnMore)}) {
    SCOPED_TRACE(button->text());
    EXPECT_TRUE(button->isUserInteractionEnabled());
    EXPECT_EQ(button->font(), platform::Font::systemFont(15.0));
    EXPECT_EQ(button->numberOfLines(), 1);
    EXPECT_EQ(button->lineBreakMode(), platform::LineBreakMode::Clipping);
    EXPECT_EQ(button->textAlignment(), platform::TextAlignment::Center);
    EXPECT_EQ(button->textColor(), platform::Color::grey(0.8F, 1.0));
    EXPECT_EQ(button->backgroundColor(), platform::Color::grey(0.0, 0.6F));
  }
}

TEST_F(OVInstreamSkipButtonViewTest, ItsPictureIsGreyTextOnATranslucentGround) {
  const auto button = OVInstreamSkipButtonView::initWithRemainingSeconds(0);
  const auto image = platform::renderView(*button, button->bounds(), 1.0, platform::Color::white());
  ASSERT_TRUE(image);
  // Black at 0.6 over white leaves 40 % of it.
  EXPECT_NEAR(image->pixel(1, 1).red, 102, 3) << "the ground in a corner";
  int brightest = 0;
  int darkest = 255;
  for (std::uint32_t x = 10; x + 10 < image->pixelWidth(); ++x) {
    for (std::uint32_t y = 5; y < 25; ++y) {
      brightest = std::max<int>(brightest, image->pixel(x, y).red);
      darkest = std::min<int>(darkest, image->pixel(x, y).red);
    }
  }
  EXPECT_GT(brightest, 180) << "the light text";
  EXPECT_LT(brightest, 215) << "grey, not white";
  EXPECT_GE(darkest, 98) << "nothing darker than the ground";
}

TEST_F(OVInstreamSkipButtonViewTest, ALongerLaterTextIsClippedToTheFirstWidth) {
  const auto button = OVInstreamSkipButtonView::initWithRemainingSeconds(0);
  const double width = button->frame().width();
  button->setRemainingSeconds(15);
  // A wide picture around the button shows where its text lands.
  const platform::Rect around{-100, 0, width + 200, 30};
  const auto image = platform::renderView(*button, around, 1.0, platform::Color::black());
  ASSERT_TRUE(image);
  auto textColumns = [&](std::uint32_t from, std::uint32_t to) {
    int count = 0;
    for (std::uint32_t x = from; x < to; ++x) {
      for (std::uint32_t y = 0; y < 30; ++y) {
        if (image->pixel(x, y).red > 120) {
          ++count;
          break;
        }
      }
    }
    return count;
  };
  const auto left = static_cast<std::uint32_t>(100);
  const auto right = static_cast<std::uint32_t>(100 + width);
  const int before = textColumns(0, left);
  const int after = textColumns(right, image->pixelWidth());
  const int inside = textColumns(left, right);
  EXPECT_GT(inside, 0);
  EXPECT_EQ(before, 0) << "the text is clipped to the width";
  EXPECT_EQ(after, 0);
}

TEST_F(OVInstreamSkipButtonViewTest, LearnMoreFitsItsTextWhereItStands) {
  const auto learnMore = OVInstreamLearnMoreView::init();
  EXPECT_EQ(learnMore->text(), "Learn More");
  EXPECT_DOUBLE_EQ(learnMore->frame().width(), fittedWidth("Learn More"));
  EXPECT_DOUBLE_EQ(learnMore->frame().height(), 30.0);

  const auto install = OVInstreamLearnMoreView::initWithText("Install Now");
  install->setText("Install the game now");
  install->setFrame({{50, 60}, {10, 10}});
  install->sizeToFitText();
  EXPECT_EQ(install->frame().origin, (platform::Point{50, 60}));
  EXPECT_DOUBLE_EQ(install->frame().width(), fittedWidth("Install the game now"));
  EXPECT_DOUBLE_EQ(install->frame().height(), 30.0);
}

}  // namespace
}  // namespace plexora
