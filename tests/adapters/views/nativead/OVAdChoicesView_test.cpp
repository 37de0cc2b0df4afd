// The ad-choices badge: where it sits in each corner with and without an
// icon, the expansion on the first tap and the collapse 2 seconds later on
// the manual clock, the link the next tap opens, and the corner it refuses.
#include "plexora/OVAdChoicesView.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Exception.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/UITest.h"
#include "adapters/OVNativeAdDataModel.h"
#include "dto/OVAdPlacementDefinition.h"
#include "plexora/OVAdImage.h"
#include "plexora/OVNativeAd.h"
#include "util/OVAdUtility.h"
#include "support/TempDir.h"
#include "support/doubles/FakeBrowser.h"

namespace plexora::testing {
namespace {

using platform::Rect;

// Nothing answers there: the icon's load fails at once without the network.
constexpr const char* kIconURL = "http://127.0.0.1:1/ad-choices.png";
constexpr const char* kLinkURL = "https://www.plexora.test/ad_choices";

class OVAdChoicesViewTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    platform::setCachesDirectory(caches_.path().string());
  }
  void TearDown() override {
    UITest::TearDown();
    platform::setCachesDirectory("");
  }

  std::shared_ptr<OVAdChoicesView> badge(bool withIcon, bool expandable,
                                         std::optional<std::string> text = std::nullopt) {
    const auto icon = withIcon ? OVAdImage::initWithURL(platform::URL::parse(kIconURL), 20, 20) : nullptr;
    return OVAdChoicesView::initWithViewController(nullptr, "ct-1", icon, platform::URL::parse(kLinkURL),
                                                   std::move(text), nullptr, expandable);
  }
  void advance(double seconds) {
    clock_->advance(seconds);
    runMainQueue();
  }

  TempDir caches_;
  std::shared_ptr<std::vector<FakeSafariPresenter::Presentation>> presentations_ =
      std::make_shared<std::vector<FakeSafariPresenter::Presentation>>();
  OVAdSafariViewController::Presenter::Scope browserScope_ = FakeSafariPresenter::install(presentations_);
};

TEST_F(OVAdChoicesViewTest, TheBadgeSitsInItsCornerOfTheSuperview) {
  struct Case {
    const char* name;
    bool withIcon;
    bool expandable;
    platform::RectCorner corner;
    platform::Size superview;
    Rect frame;
    const char* text;
  };
  const std::vector<Case> cases = {
      {"fixed, icon, top right", true, false, platform::kRectCornerTopRight, {320, 50}, {240, 0, 80, 20}, "AdChoices"},
      {"fixed, icon, top left", true, false, platform::kRectCornerTopLeft, {320, 50}, {0, 0, 80, 20}, "AdChoices"},
      {"expandable, icon, bottom left", true, true, platform::kRectCornerBottomLeft, {320, 250}, {0, 230, 20, 20},
       "AdChoices"},
      {"expandable, icon, bottom right", true, true, platform::kRectCornerBottomRight, {320, 250},
       {300, 230, 20, 20}, "AdChoices"},
      {"no icon, bottom right", false, true, platform::kRectCornerBottomRight, {320, 250}, {270, 235, 50, 15},
       "Sponsored"},
  };
  for (const Case& c : cases) {
    const auto parent = std::make_shared<platform::View>(Rect({0, 0}, c.superview));
    const auto view = badge(c.withIcon, c.expandable);
    parent->addSubview(view);
    view->updateFrameFromSuperview(c.corner);
    EXPECT_EQ(view->frame(), c.frame) << c.name;
    ASSERT_TRUE(view->label()) << c.name;
    EXPECT_EQ(view->label()->text(), c.text) << c.name;
    EXPECT_EQ(view->sponsoredImageView() != nullptr, c.withIcon) << c.name;
  }
}

TEST_F(OVAdChoicesViewTest, AllCornersIsRefused) {
  const auto view = badge(true, true);
  EXPECT_THROW(view->updateFrameFromSuperview(platform::kRectCornerAllCorners), platform::Exception);
  EXPECT_THROW(view->setCorner(platform::kRectCornerAllCorners), platform::Exception);
}

TEST_F(OVAdChoicesViewTest, TheFirstTapShowsTheTextForTwoSecondsAndTheNextOpensTheLink) {
  const auto parent = std::make_shared<platform::View>(Rect(0, 0, 320, 50));
  const auto view = badge(true, true, "Why this ad?");
  parent->addSubview(view);
  view->updateFrameFromSuperview();
  ASSERT_EQ(view->frame(), Rect(300, 0, 20, 20));
  ASSERT_FALSE(view->isExtended());

  view->sponsoredImageTapped();
  EXPECT_EQ(view->frame(), Rect(240, 0, 80, 20)) << "grows toward the superview's interior";
  EXPECT_TRUE(presentations_->empty()) << "the first tap only expands";
  view->sponsoredImageTapped();
  EXPECT_TRUE(presentations_->empty()) << "a tap during the expansion does nothing";
  advance(0.25);
  ASSERT_TRUE(view->isExtended());
  ASSERT_TRUE(view->label());
  EXPECT_EQ(view->label()->text(), "Why this ad?");

  view->sponsoredImageTapped();
  ASSERT_EQ(presentations_->size(), 1u);
  EXPECT_EQ((*presentations_)[0].url.absoluteString(), kLinkURL);
  EXPECT_EQ((*presentations_)[0].inlineClientToken, "ct-1");

  advance(1.7);
  EXPECT_TRUE(view->isExtended());
  advance(0.3);
  advance(0.25);
  EXPECT_FALSE(view->isExtended());
  EXPECT_EQ(view->frame(), Rect(300, 0, 20, 20));
}

TEST_F(OVAdChoicesViewTest, ATapWithoutALinkOrWithoutAnIconOpensNothing) {
  const auto noLink = OVAdChoicesView::initWithViewController(
      nullptr, "ct-1", OVAdImage::initWithURL(platform::URL::parse(kIconURL), 20, 20), std::nullopt,
      std::nullopt, nullptr, false);
  noLink->sponsoredImageTapped();
  const auto noIcon = badge(false, false);
  noIcon->sponsoredImageTapped();
  runMainQueue();
  EXPECT_TRUE(presentations_->empty());
  EXPECT_TRUE(noIcon->gestureRecognizers().empty()) << "the text badge takes no taps";
}

TEST_F(OVAdChoicesViewTest, ABadgeGivenAnAdWithoutAnIconKeepsSayingSponsored) {
  const auto parent = std::make_shared<platform::View>(Rect(0, 0, 320, 250));
  const auto view = badge(false, true);
  parent->addSubview(view);
  const auto ad = OVNativeAd::init();
  ad->populateFromDataModel(
      OVNativeAdDataModel::initWithMetadata(
          OVAdUtility::getObjectFromJSONString(R"({"ct":"c","title":"Boots","ad_choices_text":"Why?"})")
              .value_or(platform::Value())),
      OVAdPlacementDefinition::initWithPlacementData(platform::Value(platform::Dictionary{})), {}, {}, {});
  view->setNativeAd(ad);
  ASSERT_TRUE(view->label());
  EXPECT_EQ(view->label()->text(), "Sponsored");
  EXPECT_EQ(view->frame(), Rect(270, 0, 50, 15));
}

}  // namespace
}  // namespace plexora::testing
