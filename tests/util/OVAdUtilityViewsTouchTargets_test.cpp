#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "adapters/views/video/OVAdVideoPlayButton.h"
#include "platform/ui/Button.h"
#include "platform/ui/View.h"
#include "support/doubles/FakeNativeAdViews.h"
#include "support/doubles/FakeVideoViews.h"
#include "util/OVAdUtility.h"

namespace plexora {
namespace {

using platform::View;

std::vector<std::shared_ptr<View>> locked(const OVAdUtility::WeakViews& views) {
  std::vector<std::shared_ptr<View>> strong;
  for (const auto& view : views) strong.push_back(view.lock());
  return strong;
}

template <typename ViewClass = View>
std::shared_ptr<ViewClass> addTo(const std::shared_ptr<View>& parent, std::shared_ptr<ViewClass> view = nullptr) {
  if (!view) view = std::make_shared<ViewClass>();
  parent->addSubview(view);
  return view;
}

TEST(OVAdUtilityTouchTargetsTest, EveryViewThatTakesTouchesInTreeOrder) {
  auto root = std::make_shared<View>();
  auto first = addTo(root);
  auto firstChild = addTo(first);
  auto second = addTo(root);
  EXPECT_EQ(locked(OVAdUtility::allInteractableTargets(root)),
            (std::vector<std::shared_ptr<View>>{root, first, firstChild, second}));
}

TEST(OVAdUtilityTouchTargetsTest, AViewWithoutInteractionIsLeftOutButItsSubviewsAreNot) {
  auto root = std::make_shared<View>();
  root->setUserInteractionEnabled(false);
  auto inert = addTo(root);
  inert->setUserInteractionEnabled(false);
  auto inside = addTo(inert);
  EXPECT_EQ(locked(OVAdUtility::allInteractableTargets(root)), (std::vector<std::shared_ptr<View>>{inside}));
}

TEST(OVAdUtilityTouchTargetsTest, VideoAndCarouselViewsAreSkippedWithEverythingInsideThem) {
  auto root = std::make_shared<View>();
  auto kept = addTo(root);

  std::vector<std::shared_ptr<View>> skipped{
      std::make_shared<OVAdVideoPlayButton>(),
      std::make_shared<testing::FakeMediaViewDefaultVideoRenderer>(),
      std::make_shared<testing::FakeMultiProductView>(),
  };
  for (const auto& view : skipped) {
    root->addSubview(view);
    addTo(view);
  }
  auto nested = addTo(kept);
  addTo<View>(nested, std::make_shared<testing::FakeMediaViewDefaultVideoRenderer>());

  const auto targets = locked(OVAdUtility::allInteractableTargets(root));
  EXPECT_EQ(targets, (std::vector<std::shared_ptr<View>>{root, kept, nested}));
}

TEST(OVAdUtilityTouchTargetsTest, ExcludedViewsApplyToTheDirectSubviewsOnly) {
  auto root = std::make_shared<View>();
  auto excludedDirect = addTo(root);
  auto insideExcluded = addTo(excludedDirect);
  auto kept = addTo(root);
  auto excludedDeep = addTo(kept);

  const auto targets =
      locked(OVAdUtility::allInteractableTargets(root, OVAdUtility::Views{excludedDirect, excludedDeep}));
  EXPECT_EQ(targets, (std::vector<std::shared_ptr<View>>{root, kept, excludedDeep}));
  EXPECT_EQ(std::ranges::count(targets, insideExcluded), 0) << "the excluded view's subtree goes with it";
}

TEST(OVAdUtilityTouchTargetsTest, TheAnswerHoldsItsViewsWeakly) {
  auto root = std::make_shared<View>();
  auto child = addTo(root);
  const auto targets = OVAdUtility::allInteractableTargets(root);
  child->removeFromSuperview();
  child.reset();
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_TRUE(targets[1].expired());
  EXPECT_TRUE(OVAdUtility::allInteractableTargets(nullptr).empty());
}

}  // namespace
}  // namespace plexora
