#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UITest.h"
#include "platform/ui/View.h"

namespace plexora::platform {
namespace {

using testing::UITest;
using ViewLayoutTest = UITest;

class CountingView : public View {
 public:
  CountingView(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}
  void layoutSubviews() override { log_.push_back(name_); }

 private:
  std::string name_;
  std::vector<std::string>& log_;
};

TEST_F(ViewLayoutTest, MarksAreLaidOutOnceOnTheNextTurnParentsFirst) {
  std::vector<std::string> log;
  auto parent = std::make_shared<CountingView>("parent", log);
  auto child = std::make_shared<CountingView>("child", log);
  parent->addSubview(child);
  runMainQueue();
  log.clear();

  child->setNeedsLayout();
  parent->setNeedsLayout();
  child->setNeedsLayout();
  EXPECT_TRUE(log.empty());
  runMainQueue();
  EXPECT_EQ(log, (std::vector<std::string>{"parent", "child"}));
  EXPECT_FALSE(child->needsLayout());
  runMainQueue();
  EXPECT_EQ(log.size(), 2u);
}

TEST_F(ViewLayoutTest, LayoutIfNeededRunsAtOnceForTheSubtreeOnly) {
  std::vector<std::string> log;
  auto parent = std::make_shared<CountingView>("parent", log);
  auto child = std::make_shared<CountingView>("child", log);
  parent->addSubview(child);
  runMainQueue();
  log.clear();

  parent->setNeedsLayout();
  child->setNeedsLayout();
  child->layoutIfNeeded();
  EXPECT_EQ(log, (std::vector<std::string>{"child"}));
  runMainQueue();
  EXPECT_EQ(log, (std::vector<std::string>{"child", "parent"}));
}

TEST_F(ViewLayoutTest, ANewBoundsSizeAsksForLayoutButAMoveDoesNot) {
  std::vector<std::string> log;
  auto view = std::make_shared<CountingView>("view", log);
  runMainQueue();
  log.clear();
  view->setFrame(Rect(50, 50, 0, 0));
  view->setCenter(Point{1, 1});
  runMainQueue();
  EXPECT_TRUE(log.empty());
  view->setBounds(Rect(0, 0, 10, 10));
  runMainQueue();
  EXPECT_EQ(log, (std::vector<std::string>{"view"}));
}

TEST_F(ViewLayoutTest, TheBaseViewFitsItsOwnSizeAndHasNoIntrinsicSize) {
  View view(Rect(3, 4, 30, 40));
  EXPECT_EQ(view.sizeThatFits(Size{100, 100}), (Size{30, 40}));
  view.sizeToFit();
  EXPECT_EQ(view.frame(), Rect(3, 4, 30, 40));
  EXPECT_EQ(view.intrinsicContentSize(), (Size{kNoIntrinsicMetric, kNoIntrinsicMetric}));
}

}  // namespace
}  // namespace plexora::platform
