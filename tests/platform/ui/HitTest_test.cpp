#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/UITest.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace plexora::platform {
namespace {

using testing::UITest;

// window
//   back  (0, 0, 200, 200)
//     inner (50, 50, 50, 50)
//   front (100, 100, 200, 200)   overlaps back's lower right quarter
class HitTestTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window_ = makeKeyWindow();
    back_ = std::make_shared<View>(Rect(0, 0, 200, 200));
    inner_ = std::make_shared<View>(Rect(50, 50, 50, 50));
    front_ = std::make_shared<View>(Rect(100, 100, 200, 200));
    window_->addSubview(back_);
    back_->addSubview(inner_);
    window_->addSubview(front_);
  }

  std::shared_ptr<View> hit(Point point) { return window_->hitTest(point, nullptr); }

  std::shared_ptr<Window> window_;
  std::shared_ptr<View> back_, inner_, front_;
};

TEST_F(HitTestTest, AnswersTheDeepestFrontMostView) {
  EXPECT_EQ(hit({60, 60}), inner_);
  EXPECT_EQ(hit({10, 10}), back_);
  EXPECT_EQ(hit({150, 150}), front_);
  EXPECT_EQ(hit({350, 600}), window_);
  EXPECT_EQ(hit({-1, 5}), nullptr);
}

struct ExclusionCase {
  const char* name;
  std::function<void(View&)> change;
};

class HitTestExclusionTest : public HitTestTest, public ::testing::WithParamInterface<ExclusionCase> {};

TEST_P(HitTestExclusionTest, PassesThroughViewsThatTakeNoTouches) {
  GetParam().change(*front_);
  EXPECT_EQ(hit({150, 150}), back_);
  GetParam().change(*back_);
  EXPECT_EQ(hit({60, 60}), window_) << "the subtree goes with its root";
}

INSTANTIATE_TEST_SUITE_P(Changes, HitTestExclusionTest,
                         ::testing::Values(ExclusionCase{"Hidden", [](View& v) { v.setHidden(true); }},
                                           ExclusionCase{"NearlyTransparent", [](View& v) { v.setAlpha(0.009); }},
                                           ExclusionCase{"NoInteraction",
                                                         [](View& v) { v.setUserInteractionEnabled(false); }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HitTestTest, FaintButVisibleViewsStillTakeTouches) {
  front_->setAlpha(0.01);
  EXPECT_EQ(hit({150, 150}), front_);
}

TEST_F(HitTestTest, SubviewsOutsideTheirParentAreNotReached) {
  auto sticking = std::make_shared<View>(Rect(190, 0, 50, 50));
  back_->addSubview(sticking);
  EXPECT_EQ(hit({195, 10}), sticking);
  EXPECT_EQ(hit({210, 10}), window_) << "clipping or not, the parent must contain the point";
}

TEST_F(HitTestTest, ScrolledBoundsMoveWhatIsHit) {
  back_->setBounds(Rect(40, 40, 200, 200));
  EXPECT_EQ(hit({20, 20}), inner_);
  EXPECT_EQ(hit({70, 70}), back_);
}

}  // namespace
}  // namespace plexora::platform
