#include "platform/ui/ImageView.h"

#include <gtest/gtest.h>

#include "platform/ui/Button.h"
#include "platform/ui/Image.h"
#include "platform/ui/TextMeasurement.h"
#include "platform/ui/UITest.h"

namespace plexora::platform {
namespace {

using testing::UITest;
using ImageViewTest = UITest;

TEST_F(ImageViewTest, FitsItsImageInPoints) {
  ImageView empty;
  EXPECT_EQ(empty.intrinsicContentSize(), (Size{kNoIntrinsicMetric, kNoIntrinsicMetric}));
  EXPECT_EQ(empty.sizeThatFits(Size{50, 50}), (Size{0, 0}));
  EXPECT_FALSE(empty.isUserInteractionEnabled());

  ImageView view(Image::create(128, 64, 2.0, Color::white()));
  EXPECT_EQ(view.intrinsicContentSize(), (Size{64, 32}));
  view.sizeToFit();
  EXPECT_EQ(view.frame(), Rect(0, 0, 64, 32));
}

TEST_F(ImageViewTest, AButtonSizesToItsImageBesideItsTitle) {
  auto button = std::make_shared<Button>();
  button->setTitle("Go", kControlStateNormal);
  button->setImage(Image::create(40, 40, 2.0, Color::black()), kControlStateNormal);  // 20 x 20 points
  const Size title = measureText("Go", Font::systemFont(Button::kDefaultTitleFontSize), 0, 1);
  ASSERT_LT(title.height, 20);
  EXPECT_EQ(button->sizeThatFits(Size{}), (Size{title.width + 20, 20}));
  EXPECT_EQ(button->image(kControlStateHighlighted), button->image(kControlStateNormal));
}

}  // namespace
}  // namespace plexora::platform
