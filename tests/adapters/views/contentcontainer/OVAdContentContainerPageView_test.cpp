// The page's view in a window: it shows the page's last frame in its
// bounds, sizes the page at its pixels a point, and a touch on it reaches
// the page as a pointer at the matching pixel.
#include "adapters/views/contentcontainer/OVAdContentContainerPageView.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/ui/Image.h"
#include "platform/ui/UITest.h"
#include "platform/ui/ViewRendering.h"
#include "platform/ui/Window.h"
#include "support/doubles/ScriptableWebView.h"

namespace plexora::testing {
namespace {

using platform::Rect;
using platform::WebPointerPhase;
using Pointer = ScriptableWebView::Pointer;

class OVAdContentContainerPageViewTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    window_->makeKeyAndVisible();
  }

  std::shared_ptr<platform::Window> window_ = std::make_shared<platform::Window>();
  std::shared_ptr<ScriptableWebView> page_ = std::make_shared<ScriptableWebView>();
};

TEST_F(OVAdContentContainerPageViewTest, TouchesReachThePageAsAPointerAtItsPixelsForEachScale) {
  struct Case {
    double pixelsPerPoint;
    std::vector<Pointer> expected;
  };
  // The view at (10, 20); touched at (35, 30), moved to (36.5, 31), let go.
  const Case cases[] = {
      {1.0, {{WebPointerPhase::Press, 25, 10}, {WebPointerPhase::Move, 26, 11}, {WebPointerPhase::Release, 26, 11}}},
      {2.0, {{WebPointerPhase::Press, 50, 20}, {WebPointerPhase::Move, 53, 22}, {WebPointerPhase::Release, 53, 22}}},
  };
  for (const Case& c : cases) {
    page_->pointers.clear();
    const auto view = std::make_shared<OVAdContentContainerPageView>(page_, c.pixelsPerPoint);
    view->setFrame(Rect(10, 20, 100, 50));
    window_->addSubview(view);
    EXPECT_EQ(page_->frameWidth, 100 * c.pixelsPerPoint);
    EXPECT_EQ(page_->frameHeight, 50 * c.pixelsPerPoint);
    const auto application = platform::Application::shared();
    EXPECT_TRUE(application->sendTouch(platform::TouchPhase::Began, {35, 30}));
    EXPECT_TRUE(application->sendTouch(platform::TouchPhase::Moved, {36.5, 31}));
    EXPECT_TRUE(application->sendTouch(platform::TouchPhase::Ended, {36.5, 31}));
    EXPECT_EQ(page_->pointers, c.expected) << c.pixelsPerPoint << " pixels a point";
    view->removeFromSuperview();
  }
}

TEST_F(OVAdContentContainerPageViewTest, ACancelledTouchLetsTheButtonGoOffThePage) {
  const auto view = std::make_shared<OVAdContentContainerPageView>(page_);
  view->setFrame(Rect(0, 0, 100, 50));
  window_->addSubview(view);
  const auto application = platform::Application::shared();
  EXPECT_TRUE(application->sendTouch(platform::TouchPhase::Began, {5, 5}));
  EXPECT_TRUE(application->sendTouch(platform::TouchPhase::Cancelled, {5, 5}));
  const std::vector<Pointer> expected{{WebPointerPhase::Press, 5, 5}, {WebPointerPhase::Release, -1, -1}};
  EXPECT_EQ(page_->pointers, expected);
}

TEST_F(OVAdContentContainerPageViewTest, TheWindowsPictureShowsThePagesLastFrameInTheViewsBounds) {
  const auto view = std::make_shared<OVAdContentContainerPageView>(page_, 2.0);
  view->setFrame(Rect(10, 20, 30, 10));
  window_->addSubview(view);
  const Rect area(0, 0, 60, 40);
  const auto before = platform::renderView(*window_, area, 1.0);
  ASSERT_TRUE(before);
  EXPECT_EQ(before->pixel(20, 25).alpha, 0) << "no frame yet, nothing drawn";

  page_->frame = platform::Image::create(60, 20, 1.0, platform::Color{1, 0, 0, 1});
  const auto picture = platform::renderView(*window_, area, 1.0);
  ASSERT_TRUE(picture);
  const platform::Pixel red{255, 0, 0, 255};
  for (const auto& [x, y] : {std::pair{10u, 20u}, std::pair{39u, 29u}, std::pair{25u, 25u}}) {
    EXPECT_EQ(picture->pixel(x, y), red) << x << ", " << y;
  }
  for (const auto& [x, y] : {std::pair{9u, 20u}, std::pair{40u, 25u}, std::pair{25u, 30u}}) {
    EXPECT_EQ(picture->pixel(x, y).alpha, 0) << x << ", " << y;
  }
}

}  // namespace
}  // namespace plexora::testing
