// The body view of the templates: its social-context label and spare space,
// and its rotation between the two pages on the manual clock.
#include "adapters/views/nativead/OVAdDefaultBodyView.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "adapters/OVNativeAdDataModel.h"
#include "dto/OVAdPlacementDefinition.h"
#include "platform/ui/UITest.h"
#include "plexora/OVNativeAd.h"
#include "util/OVAdUtility.h"

namespace plexora::testing {
namespace {

using platform::Rect;

class OVAdDefaultBodyViewTest : public platform::testing::UITest {
 protected:
  static std::shared_ptr<OVNativeAd> ad(const std::string& data) {
    auto nativeAd = OVNativeAd::init();
    nativeAd->populateFromDataModel(
        OVNativeAdDataModel::initWithMetadata(OVAdUtility::getObjectFromJSONString(data).value_or(platform::Value())),
        OVAdPlacementDefinition::initWithPlacementData(platform::Value(platform::Dictionary{})), {}, {}, {});
    return nativeAd;
  }
  void advance(double seconds) {
    clock_->advance(seconds);
    runMainQueue();
  }

  std::shared_ptr<OVNativeAd> plain_ = ad(R"({"ct":"c","title":"Boots","body":"Warm.","call_to_action":"Shop"})");
  std::shared_ptr<OVNativeAd> social_ =
      ad(R"({"ct":"c","title":"Boots","body":"Warm.","call_to_action":"Shop","social_context":"12 friends"})");
};

TEST_F(OVAdDefaultBodyViewTest, SocialContextAppearsWithItsTextOrWhenSwitchedOn) {
  const auto body = OVAdDefaultBodyView::initWithFrame(Rect(0, 0, 200, 60), plain_, nullptr);
  const auto combined = body->secondaryCombinedView();
  combined->updateView(true);
  EXPECT_FALSE(body->socialContextLabel());
  const auto title = body->titleLabel();
  EXPECT_DOUBLE_EQ(body->spareSpace().origin.y, title->frame().origin.y + title->bounds().size.height)
      << "the spare space starts right under the title";

  combined->setSocialContextEnabled(true);
  ASSERT_TRUE(body->socialContextLabel()) << "rebuilt with an empty label";
  EXPECT_EQ(body->socialContextLabel()->text(), "");

  const auto withText = OVAdDefaultBodyView::initWithFrame(Rect(0, 0, 200, 60), social_, nullptr);
  withText->secondaryCombinedView()->updateView(true);
  ASSERT_TRUE(withText->socialContextLabel());
  EXPECT_EQ(withText->socialContextLabel()->text(), "12 friends");
  EXPECT_GT(withText->spareSpace().origin.y, withText->titleLabel()->frame().maxY());
}

TEST_F(OVAdDefaultBodyViewTest, ALongTitleStartsAtTheTop) {
  const auto longTitle = ad(R"({"ct":"c","title":"A title long enough to wrap onto a second line here",
    "call_to_action":"Shop"})");
  const auto body = OVAdDefaultBodyView::initWithFrame(Rect(0, 0, 120, 30), longTitle, nullptr);
  body->secondaryCombinedView()->updateView(true);
  EXPECT_EQ(body->titleLabel()->frame().origin.y, 0);
}

TEST_F(OVAdDefaultBodyViewTest, PagesTurnEveryFiveSecondsInAWindowAndTurnBackWhenSwitchedOff) {
  const auto window = makeKeyWindow();
  const auto body = OVAdDefaultBodyView::initWithFrame(Rect(0, 0, 200, 60), plain_, nullptr);
  body->setAnimationEnabled(true);
  window->addSubview(body);
  advance(4.9);
  EXPECT_FALSE(body->isRotated());
  advance(0.1);
  EXPECT_TRUE(body->isRotated());
  EXPECT_EQ(body->secondContainerView()->frame(), body->normalFrame());
  advance(0.5);
  EXPECT_EQ(body->firstContainerView()->frame(), body->offscreenFrame()) << "ready to slide in next time";

  body->setAnimationEnabled(false);
  advance(4.5);
  EXPECT_FALSE(body->isRotated()) << "the shown second page always turns back";
  EXPECT_EQ(body->firstContainerView()->frame(), body->normalFrame());
  advance(5.0);
  EXPECT_FALSE(body->isRotated());
}

TEST_F(OVAdDefaultBodyViewTest, ABodyOutsideAWindowNeverTurns) {
  const auto body = OVAdDefaultBodyView::initWithFrame(Rect(0, 0, 200, 60), plain_, nullptr);
  body->setAnimationEnabled(true);
  advance(30);
  EXPECT_FALSE(body->isRotated());
}

}  // namespace
}  // namespace plexora::testing
