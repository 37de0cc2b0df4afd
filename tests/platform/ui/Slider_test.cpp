// The slider's value stays in its range, a touch on the thumb drags it
// along the width (value changes before the touch events), a touch away
// from the thumb is not followed, and the images draw the track and thumb.
#include "platform/ui/Slider.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UITest.h"
#include "platform/ui/ViewRendering.h"
#include "platform/ui/Window.h"

namespace plexora::platform {
namespace {

using testing::UITest;

class SliderTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window_ = makeKeyWindow();
    // 10 x 10 thumb: the value runs over x 5...205 of the slider.
    slider_ = std::make_shared<Slider>(Rect(50, 100, 210, 20));
    slider_->setThumbImage(Image::create(10, 10, 1.0, Color::white()), kControlStateNormal);
    slider_->setMaximumValue(10.0F);
    window_->addSubview(slider_);
    for (auto [events, name] :
         {std::pair{kControlEventValueChanged, "changed"}, std::pair{kControlEventTouchDown, "down"},
          std::pair{kControlEventTouchUpInside, "up inside"}}) {
      slider_->addAction(events, [this, name = std::string(name)](Control& control, const Event*) {
        log_.push_back(name + " " +
                       std::to_string(static_cast<int>(std::lround(dynamic_cast<Slider&>(control).value()))));
      });
    }
  }

  std::shared_ptr<Application> app_ = Application::shared();
  std::shared_ptr<Window> window_;
  std::shared_ptr<Slider> slider_;
  std::vector<std::string> log_;
};

TEST_F(SliderTest, TheValueStaysWithinTheRange) {
  struct Case {
    const char* name;
    float set;
    float expected;
  };
  const Case cases[] = {
      {"inside", 4.0F, 4.0F},
      {"below", -3.0F, 0.0F},
      {"above", 12.0F, 10.0F},
      {"not a number", std::numeric_limits<float>::quiet_NaN(), 0.0F},
      {"endless", std::numeric_limits<float>::infinity(), 10.0F},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    slider_->setValue(c.set);
    EXPECT_EQ(slider_->value(), c.expected);
  }
  slider_->setValue(8.0F);
  slider_->setMaximumValue(5.0F);
  EXPECT_EQ(slider_->value(), 5.0F) << "a smaller maximum pulls the value in";
  slider_->setMinimumValue(7.0F);
  EXPECT_EQ(slider_->maximumValue(), 7.0F);
  EXPECT_EQ(slider_->value(), 7.0F);
}

TEST_F(SliderTest, ATouchOnTheThumbDragsTheValue) {
  slider_->setValue(0.0F);
  EXPECT_EQ(slider_->thumbRect(), Rect(0, 5, 10, 10));
  app_->sendTouch(TouchPhase::Began, Point{54, 110});
  EXPECT_TRUE(slider_->isTracking());
  app_->sendTouch(TouchPhase::Moved, Point{155, 110});
  EXPECT_FLOAT_EQ(slider_->value(), 5.0F);
  EXPECT_EQ(slider_->thumbRect(), Rect(100, 5, 10, 10));
  app_->sendTouch(TouchPhase::Moved, Point{155, 110});
  app_->sendTouch(TouchPhase::Ended, Point{400, 110});
  EXPECT_EQ(slider_->value(), 10.0F) << "held at the end past the edge";
  EXPECT_EQ(log_, (std::vector<std::string>{"down 0", "changed 5", "changed 10"}))
      << "no change event without a change; the touch ended outside";
}

TEST_F(SliderTest, ATouchAwayFromTheThumbIsNotFollowed) {
  app_->sendTouch(TouchPhase::Began, Point{200, 110});
  EXPECT_FALSE(slider_->isTracking());
  app_->sendTouch(TouchPhase::Moved, Point{150, 110});
  app_->sendTouch(TouchPhase::Ended, Point{150, 110});
  EXPECT_EQ(slider_->value(), 0.0F);
  EXPECT_TRUE(log_.empty());
}

TEST_F(SliderTest, TheTrackImagesMeetAtTheThumb) {
  slider_->setMinimumTrackImage(Image::create(1, 2, 1.0, Color{1.0, 0.0, 0.0, 1.0}), kControlStateNormal);
  slider_->setMaximumTrackImage(Image::create(1, 2, 1.0, Color{0.0, 0.0, 1.0, 1.0}), kControlStateNormal);
  slider_->setThumbImage(nullptr, kControlStateNormal);
  EXPECT_EQ(slider_->thumbRect().size, (Size{Slider::kDefaultThumbSize, Slider::kDefaultThumbSize}));
  slider_->setThumbImage(Image::create(10, 10, 1.0, Color::clear()), kControlStateNormal);
  slider_->setValue(5.0F);
  const auto picture = renderView(*slider_, slider_->bounds(), 1.0);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->pixel(50, 10), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(picture->pixel(150, 10), (Pixel{0, 0, 255, 255}));
  EXPECT_EQ(picture->pixel(50, 2).alpha, 0) << "nothing above the track";
  EXPECT_EQ(slider_->thumbImage(kControlStateHighlighted), slider_->thumbImage(kControlStateNormal))
      << "a state without its own image uses the normal one";
}

}  // namespace
}  // namespace plexora::platform
