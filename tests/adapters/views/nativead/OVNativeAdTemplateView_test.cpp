// The native ad templates: the catalogue, the content column, the heights
// of header, cover and details, the style and who wins it, which views take
// clicks, the call to action's title, the touch rule of the strips and the
// exceptions of misuse.
#include "adapters/views/nativead/OVNativeAdTemplateView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "adapters/OVNativeAdDataModel.h"
#include "adapters/views/nativead/OVAdDefaultBodyView.h"
#include "adapters/views/nativead/template/OVNativeAdDetailsView.h"
#include "adapters/views/nativead/template/OVNativeAdHeaderView.h"
#include "dto/OVAdPlacementDefinition.h"
#include "platform/device/LinuxDeviceProvider.h"
#include "platform/foundation/Exception.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/UITest.h"
#include "plexora/OVNativeAdView.h"
#include "support/TempDir.h"
#include "util/OVAdUtility.h"

namespace plexora::testing {
namespace {

using platform::Color;
using platform::Rect;
using platform::Value;

// Images nothing answers for: the loads fail at once without the network.
constexpr const char* kAdData = R"({"ct":"ct-1","title":"Boots","call_to_action":"Shop Now","body":"Warm boots.",
  "icon":{"url":"http://127.0.0.1:1/icon.png"},"image":{"url":"http://127.0.0.1:1/cover.jpg"},
  "ad_choices_icon":{"url":"http://127.0.0.1:1/ad-choices.png"},"ad_choices_link_url":"https://plexora.test/ac",
  "ovad_command":"ovad://close")";
constexpr const char* kDefinition = R"({"type":"native"})";

Value json(const std::string& text) { return OVAdUtility::getObjectFromJSONString(text).value_or(Value()); }

class OVNativeAdTemplateViewTest : public platform::testing::UITest {
 protected:
  void SetUp() override {
    UITest::SetUp();
    platform::setCachesDirectory(caches_.path().string());
  }
  void TearDown() override {
    UITest::TearDown();
    platform::setCachesDirectory("");
  }

  // A valid ad of kAdData with the extra members given (JSON members
  // without braces).
  static std::shared_ptr<OVNativeAd> ad(const std::string& extra = "") {
    auto nativeAd = OVNativeAd::init();
    nativeAd->populateFromDataModel(OVNativeAdDataModel::initWithMetadata(json(std::string(kAdData) + extra + "}")),
                                    OVAdPlacementDefinition::initWithPlacementData(json(kDefinition)), {}, {}, {});
    return nativeAd;
  }
  // The type's defaults without registration, as a record of its own.
  static std::shared_ptr<OVNativeAdViewAttributes> attributes(OVNativeAdViewTemplateType type) {
    auto record = OVNativeAdViewAttributes::defaultAttributesForType(type);
    record->skipRegistration = true;
    return record;
  }
  static std::shared_ptr<OVNativeAdTemplateView> make(OVNativeAdViewTemplateType type,
                                                      const std::shared_ptr<OVNativeAdViewAttributes>& style,
                                                      Rect frame) {
    auto view = std::dynamic_pointer_cast<OVNativeAdTemplateView>(
        OVNativeAdView::nativeAdViewWithNativeAd(ad(), type, style));
    view->setFrame(frame);
    return view;
  }
  static bool contains(const std::vector<std::shared_ptr<platform::View>>& views,
                       const std::shared_ptr<platform::View>& view) {
    return std::find(views.begin(), views.end(), view) != views.end();
  }

  TempDir caches_;
};

TEST_F(OVNativeAdTemplateViewTest, TheCatalogueHandsOutFourFixedHeightTemplates) {
  struct Case {
    OVNativeAdViewTemplateType type;
    double fixedHeight;
    bool usesMediaView;
  };
  for (const Case& c : std::vector<Case>{{1, 100, false}, {2, 120, false}, {3, 300, true}, {4, 400, true}}) {
    const auto view = OVNativeAdView::nativeAdViewWithNativeAd(ad(), c.type, attributes(c.type));
    ASSERT_TRUE(view) << c.type;
    EXPECT_DOUBLE_EQ(view->fixedHeight(), c.fixedHeight) << c.type;
    EXPECT_EQ(view->usesMediaView(), c.usesMediaView) << c.type;
    EXPECT_EQ(std::dynamic_pointer_cast<OVNativeAdTemplateView>(view)->templateType(), c.type);
  }
  for (const OVNativeAdViewTemplateType type : {0LL, 5LL, -1LL, static_cast<long long>(kOVNativeAdViewTypeNone)}) {
    EXPECT_FALSE(OVNativeAdView::nativeAdViewWithNativeAd(ad(), type, attributes(1))) << type;
  }
}

TEST_F(OVNativeAdTemplateViewTest, AnInvalidAdThrowsUnlessTheLoadIsBypassedAndThePlaceholderPopulates) {
  EXPECT_THROW(OVNativeAdView::nativeAdViewWithNativeAd(OVNativeAd::init(), 3, attributes(3)), platform::Exception);
  const auto bypassing = OVNativeAdViewAttributes::internalAttributesForType(3);
  const auto later = OVNativeAd::init();
  const auto waiting = OVNativeAdView::nativeAdViewWithNativeAd(later, 3, bypassing);
  ASSERT_TRUE(waiting);
  EXPECT_FALSE(waiting->isLoaded());
  EXPECT_EQ(later->delegate(), waiting) << "the template hears of the load";
  later->populateFromDataModel(OVNativeAdDataModel::initWithMetadata(json(std::string(kAdData) + "}")),
                               OVAdPlacementDefinition::initWithPlacementData(json(kDefinition)), {}, {}, {});
  waiting->nativeAdDidLoad(later);
  EXPECT_TRUE(waiting->isLoaded());
  EXPECT_EQ(waiting->titleLabel()->text(), "Boots");

  const auto placeholder = OVNativeAdView::nativeAdViewWithType(4, attributes(4));
  ASSERT_TRUE(placeholder);
  EXPECT_TRUE(placeholder->isLoaded());
  EXPECT_EQ(placeholder->nativeAd(), OVNativeAd::fakeNativeAd());
}

TEST_F(OVNativeAdTemplateViewTest, TheContentColumnIsAtMost360WideAndCentred) {
  const auto view = make(4, attributes(4), Rect(0, 0, 414, 400));
  EXPECT_EQ(view->containerView()->frame(), Rect(27, 0, 360, 400));
  EXPECT_EQ(view->detailsView()->frame().origin.x, 27) << "the strips follow the column";
  EXPECT_EQ(view->coverImageView()->frame(), Rect(0, 100, 360, 200));

  const auto narrow = make(4, attributes(4), Rect(0, 0, 320, 400));
  EXPECT_EQ(narrow->containerView()->frame(), Rect(0, 0, 320, 400));
  const auto clipped = make(3, attributes(3), Rect(0, 0, 320, 250));
  EXPECT_EQ(clipped->containerFrame().size.height, 300) << "the fixed height wins when the style clips";
}

TEST_F(OVNativeAdTemplateViewTest, HeightsFollowTheBoundsAndTheOrientation) {
  struct Case {
    const char* name;
    platform::InterfaceOrientation orientation;
    double height;
    double header, cover, details;
  };
  const std::vector<Case> cases = {
      {"portrait 250", platform::InterfaceOrientation::Portrait, 250, 250.0 / 3, 250 - 250.0 / 3 - 500.0 / 9,
       500.0 / 9},
      {"portrait 600: both capped", platform::InterfaceOrientation::Portrait, 600, 100, 350, 150},
      {"landscape 100: both at the minimum", platform::InterfaceOrientation::LandscapeLeft, 100, 25, 50, 25},
  };
  for (const Case& c : cases) {
    auto profile = platform::testing::portraitPhoneProfile();
    profile.orientation = c.orientation;
    platform::ScopedDeviceProvider device{std::make_shared<platform::LinuxDeviceProvider>(profile)};
    auto style = attributes(4);
    style->shouldClip = false;
    const auto view = make(4, style, Rect(0, 0, 320, c.height));
    EXPECT_NEAR(view->headerSize(), c.header, 1e-9) << c.name;
    EXPECT_NEAR(view->coverImageSize(), c.cover, 1e-9) << c.name;
    EXPECT_NEAR(view->detailsSize(), c.details, 1e-9) << c.name;
  }

  // The 100 template has neither header nor cover: its details take all.
  const auto small = make(1, attributes(1), Rect(0, 0, 320, 100));
  EXPECT_EQ(small->headerSize(), 0);
  EXPECT_EQ(small->coverImageSize(), 0);
  EXPECT_EQ(small->detailsView()->frame(), Rect(0, 0, 320, 100));
  EXPECT_FALSE(small->isBodyTextEnabled());
  EXPECT_TRUE(make(2, attributes(2), Rect(0, 0, 320, 120))->isBodyTextEnabled());
}

TEST_F(OVNativeAdTemplateViewTest, TheServersStyleWinsAndTheTitleColourWinsOverTheDescriptionColour) {
  auto style = attributes(3);
  style->backgroundColor = Color{0, 0, 1, 1};
  style->titleColor = Color{1, 0, 0, 1};
  style->descriptionColor = Color{0, 1, 0, 1};
  const auto view = make(3, style, Rect(0, 0, 320, 300));
  EXPECT_EQ(view->backgroundColor(), (Color{0, 0, 1, 1}));
  EXPECT_EQ(view->titleLabel()->textColor(), (Color{1, 0, 0, 1}));
  EXPECT_EQ(view->descriptionLabel()->textColor(), (Color{0, 1, 0, 1}));
  EXPECT_EQ(view->iconImageView()->cornerRadius(), 7.5);
  EXPECT_EQ(view->callToActionButton()->cornerRadius(), 2.5);

  const auto styled = OVNativeAdView::nativeAdViewWithNativeAd(
      ad(R"(,"native_ui_config":{"background_color":"#FF0000"})"), 3, style);
  EXPECT_EQ(styled->backgroundColor(), (Color{1, 0, 0, 1})) << "the ad's own style wins";
}

TEST_F(OVNativeAdTemplateViewTest, AFullyClickableAdTakesClicksEverywhereButTheBadge) {
  const auto partly = make(3, attributes(3), Rect(0, 0, 320, 300));
  const auto targets = partly->allInteractableTargets();
  EXPECT_TRUE(contains(targets, partly->callToActionButton()));
  EXPECT_TRUE(contains(targets, partly->iconImageView()));
  EXPECT_FALSE(contains(targets, partly->detailsView()));
  EXPECT_FALSE(contains(targets, partly->sponsoredView()));

  auto whole = std::dynamic_pointer_cast<OVNativeAdTemplateView>(
      OVNativeAdView::nativeAdViewWithNativeAd(ad(R"(,"fully_clickable":"1")"), 3, attributes(3)));
  const auto all = whole->allInteractableTargets();
  EXPECT_TRUE(contains(all, whole));
  EXPECT_TRUE(contains(all, whole->detailsView()));
  EXPECT_TRUE(contains(all, whole->callToActionButton()));
  EXPECT_FALSE(contains(all, whole->sponsoredView()));
}

TEST_F(OVNativeAdTemplateViewTest, TheButtonSaysLoadingUntilTheAdNamesItsCallToAction) {
  const auto strip = OVNativeAdDetailsView::initWithFrame(Rect::zero(), nullptr, nullptr);
  EXPECT_EQ(strip->callToActionButton()->title(platform::kControlStateNormal), "Loading...");
  strip->setFrame(Rect(0, 0, 320, 100));
  EXPECT_EQ(strip->callToActionButton()->title(platform::kControlStateNormal), "Loading...")
      << "an ad without a call to action keeps the title";
  const auto view = make(3, attributes(3), Rect(0, 0, 320, 300));
  EXPECT_EQ(view->callToActionButton()->title(platform::kControlStateNormal), "Shop Now");
  EXPECT_EQ(view->titleLabel()->text(), "Boots");
}

TEST_F(OVNativeAdTemplateViewTest, AStripTooShortForTheButtonsInsetsGetsAnEmptyButtonNotAnInvertedOne) {
  const auto strip = OVNativeAdDetailsView::initWithFrame(Rect::zero(), ad(), nullptr);
  strip->setFrame(Rect(0, 0, 320, 30));
  const Rect button = strip->callToActionButton()->frame();
  EXPECT_GE(button.size.width, 0);
  EXPECT_GE(button.size.height, 0);
  EXPECT_TRUE(std::isfinite(button.origin.x) && std::isfinite(button.origin.y)) << button;
  EXPECT_LT(button.maxY(), 60) << "stays about the strip";
}

TEST_F(OVNativeAdTemplateViewTest, TheStripsLetTouchesThroughToTheBadgeAndTheCover) {
  const auto window = makeKeyWindow();
  const auto view = make(4, attributes(4), Rect(0, 0, 320, 400));
  window->addSubview(view);
  const auto badge = view->sponsoredView();
  const platform::Point overBadge = badge->convertPointToView({badge->bounds().midX(), badge->bounds().midY()}, nullptr);
  const auto hit = window->hitTest(overBadge, nullptr);
  EXPECT_TRUE(hit == badge || (hit && hit->isDescendantOfView(badge.get())));

  const auto overCover = window->hitTest({160, 200}, nullptr);
  EXPECT_NE(overCover, view->headerView());
  EXPECT_NE(overCover, view->detailsView());
  EXPECT_EQ(window->hitTest({5, 395}, nullptr), view->detailsView()) << "the last strip takes the rest";
}

}  // namespace
}  // namespace plexora::testing
