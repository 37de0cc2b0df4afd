#include "platform/ui/ScrollView.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ui/UITest.h"

namespace plexora::platform {
namespace {

using testing::UITest;

class RecordingDelegate : public ScrollViewDelegate {
 public:
  void scrollViewDidScroll(ScrollView& view) override { record("scroll", view.contentOffset()); }
  void scrollViewWillBeginDragging(ScrollView&) override { log.push_back("begin dragging"); }
  void scrollViewWillEndDragging(ScrollView&, Point, Point& target) override {
    record("end dragging toward", target);
    if (redirect) {
      target = *redirect;
    }
  }
  void scrollViewDidEndDragging(ScrollView&, bool decelerate) override {
    log.push_back(decelerate ? "ended dragging, decelerating" : "ended dragging");
  }
  void scrollViewWillBeginDecelerating(ScrollView&) override { log.push_back("begin decelerating"); }
  void scrollViewDidEndDecelerating(ScrollView&) override { log.push_back("end decelerating"); }
  void scrollViewDidEndScrollingAnimation(ScrollView& view) override { record("animation ended", view.contentOffset()); }

  std::vector<std::string> log;
  std::optional<Point> redirect;

 private:
  void record(const std::string& what, Point point) {
    std::ostringstream line;
    line << what << " " << point;
    log.push_back(line.str());
  }
};

class ScrollViewTest : public UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    // A 208-point pager over four pages.
    scrollView_ = std::make_shared<ScrollView>(Rect(0, 0, 208, 200));
    scrollView_->setContentSize(Size{832, 200});
    scrollView_->setDelegate(delegate_);
  }

  std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
  std::shared_ptr<ScrollView> scrollView_;
};

TEST_F(ScrollViewTest, TheContentOffsetIsTheBoundsOrigin) {
  EXPECT_TRUE(scrollView_->clipsToBounds());
  auto window = makeKeyWindow();
  window->addSubview(scrollView_);
  auto cell = std::make_shared<View>(Rect(416, 0, 200, 200));
  scrollView_->addSubview(cell);
  scrollView_->setContentOffset(Point{416, 0});
  EXPECT_EQ(scrollView_->bounds(), Rect(416, 0, 208, 200));
  EXPECT_EQ(scrollView_->frame(), Rect(0, 0, 208, 200));
  EXPECT_EQ(cell->convertPointToView(Point{0, 0}, nullptr), (Point{0, 0})) << "the third page is in view";
  scrollView_->setContentOffset(Point{416, 0});
  EXPECT_EQ(delegate_->log, (std::vector<std::string>{"scroll (416, 0)"})) << "no scroll without a change";
}

TEST_F(ScrollViewTest, AnAnimatedScrollEndsWhenItsTimeHasPassed) {
  scrollView_->setContentOffset(Point{208, 0}, true);
  EXPECT_EQ(scrollView_->contentOffset(), (Point{208, 0}));
  clock_->advance(ScrollView::kScrollAnimationSeconds);
  EXPECT_EQ(delegate_->log, (std::vector<std::string>{"scroll (208, 0)", "animation ended (208, 0)"}));
}

struct DragCase {
  const char* name;
  bool paging;
  Point liftedAt;
  Point restsAt;
};

class ScrollViewDragTest : public ScrollViewTest, public ::testing::WithParamInterface<DragCase> {};

TEST_P(ScrollViewDragTest, ComesToRestWherePagingAndContentAllow) {
  scrollView_->setPagingEnabled(GetParam().paging);
  scrollView_->drag(GetParam().liftedAt);
  EXPECT_EQ(scrollView_->contentOffset(), GetParam().restsAt);
}

INSTANTIATE_TEST_SUITE_P(Drags, ScrollViewDragTest,
                         ::testing::Values(DragCase{"PagingRoundsDown", true, Point{300, 0}, Point{208, 0}},
                                           DragCase{"PagingRoundsUp", true, Point{320, 0}, Point{416, 0}},
                                           DragCase{"PagingStopsAtTheLastPage", true, Point{900, 0}, Point{624, 0}},
                                           DragCase{"FreeStaysWhereLifted", false, Point{300, 0}, Point{300, 0}},
                                           DragCase{"FreeBouncesBackIntoTheContent", false, Point{-40, 0},
                                                    Point{0, 0}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScrollViewTest, ADragTellsTheDelegateEachStepAndTakesItsTarget) {
  scrollView_->setPagingEnabled(true);
  delegate_->redirect = Point{624, 0};
  scrollView_->drag(Point{300, 0}, Point{2.5, 0});
  EXPECT_EQ(delegate_->log,
            (std::vector<std::string>{"begin dragging", "scroll (300, 0)", "end dragging toward (208, 0)",
                                      "ended dragging, decelerating", "begin decelerating", "scroll (624, 0)",
                                      "end decelerating"}));
  delegate_->log.clear();
  delegate_->redirect.reset();
  scrollView_->drag(Point{624, 0});
  EXPECT_EQ(delegate_->log, (std::vector<std::string>{"begin dragging", "end dragging toward (624, 0)",
                                                      "ended dragging"}));
}

}  // namespace
}  // namespace plexora::platform
