#include "util/OVAdViewDebugging.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/ui/Button.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/UITest.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace plexora {
namespace {

using platform::Color;
using platform::Rect;
using platform::View;

using OVAdViewDebuggingTest = platform::testing::UITest;

TEST_F(OVAdViewDebuggingTest, AVisibleViewHasNoFindingsAndAnUnplacedOneHasThemAllInOrder) {
  auto window = makeKeyWindow();
  window->setBackgroundColor(Color::white());
  auto shown = std::make_shared<View>(Rect(10, 10, 100, 50));
  shown->setBackgroundColor(Color::black());
  window->addSubview(shown);
  EXPECT_EQ(ov_whyIsThisViewNotVisible(*shown), "\nNo issues found, view is likely visible.");

  View unplaced(Rect(-1, 0, 0, 10));
  unplaced.setAlpha(0);
  EXPECT_EQ(ov_whyIsThisViewNotVisible(unplaced),
            "\nThe width or height is 0. Did you forget to set the frame?\n"
            "The x or y values are smaller than 0\n"
            "View's alpha property is 0\n"
            "View's superview is nil. Did you forget to call addSubview?\n"
            "View is not in the view hierarchy\n"
            "View has a clear background\n");
}

TEST_F(OVAdViewDebuggingTest, ASiblingInFrontThatCoversTheViewAndAMatchingBackgroundAreFound) {
  auto window = makeKeyWindow();
  window->setBackgroundColor(Color::white());
  auto behind = std::make_shared<View>(Rect(10, 10, 100, 50));
  behind->setBackgroundColor(Color::white());
  auto before = std::make_shared<View>(Rect(0, 0, 300, 300));
  auto cover = std::make_shared<View>(Rect(0, 0, 200, 100));
  auto partial = std::make_shared<View>(Rect(50, 0, 200, 100));
  window->addSubview(before);
  window->addSubview(behind);
  window->addSubview(cover);
  window->addSubview(partial);
  EXPECT_EQ(ov_whyIsThisViewNotVisible(*behind),
            "\nView's background color is equal to superview's background color\n"
            "View is hidden behind another view " + ov_viewDescription(*cover) + "\n");
}

TEST_F(OVAdViewDebuggingTest, InteractionFindingsForViewsAndControls) {
  View deaf(Rect(0, 0, 10, 10));
  deaf.setUserInteractionEnabled(false);
  EXPECT_EQ(ov_whyIsThisViewNotInteractable(deaf), "\nuserInteractionEnabled property is false\n");

  platform::Button button(Rect(0, 0, 10, 10));
  EXPECT_EQ(ov_whyIsThisViewNotInteractable(button), "\nNo target/action pairs have been added to this control\n");
  button.addAction(platform::kControlEventTouchUpInside, [](platform::Control&, const platform::Event*) {});
  EXPECT_EQ(ov_whyIsThisViewNotInteractable(button), "\nNo issues found, view is likely interactible.");
  button.setEnabled(false);
  EXPECT_EQ(ov_whyIsThisViewNotInteractable(button), "\nisEnabled property is false\n");
}

TEST_F(OVAdViewDebuggingTest, TheAncestryReadsFromTheRootDownAndScrollViewsAreFoundWithinTheLimit) {
  auto root = std::make_shared<View>(Rect(0, 0, 300, 300));
  auto middle = std::make_shared<View>(Rect(0, 0, 200, 200));
  auto leaf = std::make_shared<View>(Rect(1, 2, 30, 40));
  root->addSubview(middle);
  middle->addSubview(leaf);
  EXPECT_EQ(ov_ancestorHierarchyDescription(*leaf), "\n" + ov_viewDescription(*root) + "\n\t| " +
                                                        ov_viewDescription(*middle) + "\n\t| \t| " +
                                                        ov_viewDescription(*leaf) + "\n");
  EXPECT_NE(ov_viewDescription(*leaf).find("frame = (1 2; 30 40)"), std::string::npos);

  auto scroll = std::make_shared<platform::ScrollView>(Rect(0, 0, 10, 10));
  leaf->addSubview(scroll);
  EXPECT_EQ(ov_firstDescendentScrollView(root), scroll);
  EXPECT_EQ(ov_firstDescendentScrollViewWithRecurseLimit(root, 2), nullptr);
  EXPECT_EQ(ov_firstDescendentScrollViewWithRecurseLimit(scroll, 0), scroll);
}

}  // namespace
}  // namespace plexora
