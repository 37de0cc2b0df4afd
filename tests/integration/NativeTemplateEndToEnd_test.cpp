// A native ad shown in a library template from end to end on the manual
// clock: the fixture placement loads from the loopback ad server, a 300
// template is filled from it and placed in a window, the impression is
// logged once with the template's type, a tap on the template's call to
// action opens the ad's command, and a picture of the template shows the
// title, the cover image and the call to action in the server's style.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "MediaViewTestSupport.h"
#include "NativeAdInWindowTest.h"
#include "NativeAdTestSupport.h"
#include "adapters/views/nativead/OVNativeAdTemplateView.h"
#include "adapters/views/nativead/template/OVNativeAdTemplatePictures.h"
#include "platform/foundation/Files.h"
#include "adapters/OVPXNativeAdAdapter.h"
#include "adapters/views/nativead/OVAdDefaultMultiProductView.h"
#include "controllers/OVDisplayAdController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "plexora/OVAdImage.h"
#include "plexora/OVNativeAdView.h"
#include "support/doubles/FakeBrowser.h"
#include "tracking/OVAdEventManager.h"
#include "util/cache/OVAdCache.h"
#include "util/OVAdConfigManager.h"
#include "util/OVAdUtility.h"
#include "util/database/OVAdDatabaseManager.h"

namespace plexora::testing {
namespace {

using platform::Rect;

// How many pixels of the image's part showing `rect` (in points) pass.
std::size_t pixelsIn(const platform::Image& image, Rect rect,
                     const std::function<bool(const platform::Pixel&)>& passes) {
  const double scale = image.scale();
  std::size_t count = 0;
  for (auto y = static_cast<std::uint32_t>(rect.minY() * scale); y < rect.maxY() * scale && y < image.pixelHeight(); ++y) {
    for (auto x = static_cast<std::uint32_t>(rect.minX() * scale); x < rect.maxX() * scale && x < image.pixelWidth();
         ++x) {
      count += passes(image.pixel(x, y)) ? 1 : 0;
    }
  }
  return count;
}

using NativeTemplateEndToEndTest = NativeAdInWindowTest;

TEST_F(NativeTemplateEndToEndTest, AFixtureAdInA300TemplateIsSeenOnceOpensItsCommandAndDrawsItsTitleAndImage) {
  OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(
      platform::Value(platform::Dictionary{{"ad_clickability_threshold_ms", 500}}));
  const auto ad = loadedAd(kNativeFixturePlacement, kOVNativeAdMediaCachePolicyIcon | kOVNativeAdMediaCachePolicyImage);
  ASSERT_EQ(delegate_->messages, std::vector<std::string>{"loaded"});
  const auto adapter = std::dynamic_pointer_cast<OVPXNativeAdAdapter>(ad->adController()->currentAdapter());
  ASSERT_TRUE(adapter);
  adapter->setEventManager(events_);

  const auto view = std::dynamic_pointer_cast<OVNativeAdTemplateView>(
      OVNativeAdView::nativeAdViewWithNativeAd(ad, kOVNativeAdViewTypeGenericHeight300));
  ASSERT_TRUE(view);
  const auto coverLoads = std::make_shared<RecordingMediaViewDelegate>();
  view->coverImageView()->setDelegate(coverLoads);
  view->setFrame(Rect(0, 120, 375, 300));
  window_->addSubview(view);
  DisplayAdTestWorld::settle();
  ASSERT_TRUE(view->isLoaded());
  EXPECT_EQ(ad->nativeAdView(), view);
  const auto button = view->callToActionButton();
  EXPECT_EQ(button->title(platform::kControlStateNormal), "Shop Now");
  EXPECT_EQ(view->titleLabel()->text(), "Trailblazer Boots");
  ASSERT_FALSE(button->gestureRecognizers().empty());
  // The fixture's ad has products: its cover shows their carousel.
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return coverLoads->count("loaded") > 0; }));
  EXPECT_EQ(view->coverImageView()->nativeAd(), ad);

  // The fixture's definition checks every 0.5 s after 0.5 s; one check is
  // enough.
  world_.clock().advance(0.5);
  DisplayAdTestWorld::settle();
  EXPECT_TRUE(adapter->hasLoggedImpression());
  world_.clock().advance(0.5);
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return !loggedEvents("impression").empty(); }));
  const platform::Value impression = dataOf(loggedEvents("impression")[0]);
  ASSERT_NE(impression.find("nti"), nullptr);
  EXPECT_EQ(impression.find("nti")->text(), "3");
  EXPECT_TRUE(DisplayAdTestWorld::waitFor([&] { return world_.trackerHit("native-1-impression").has_value(); }));

  // A tap on the template's call to action, past the click threshold.
  world_.clock().advance(4.0);
  DisplayAdTestWorld::settle();
  const Rect buttonBounds = button->bounds();
  const platform::Point tap = button->convertPointToView({buttonBounds.midX(), buttonBounds.midY()}, nullptr);
  EXPECT_TRUE(platform::Application::shared()->sendTap(tap));
  DisplayAdTestWorld::settle();
  ASSERT_EQ(presentations_->size(), 1u);
  EXPECT_EQ((*presentations_)[0].url.absoluteString(), "https://shop.plexora.test/boots");
  EXPECT_EQ((*presentations_)[0].inlineClientToken, "ct-native-1");
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return world_.trackerHit("native-1-click").has_value(); }));

  // The picture, in the server's style: dark title text on its light
  // background, the cover's colour in the cover's place and the call to
  // action in its blue.
  const auto snapshot = OVAdUtility::snapshotOfView(view, nullptr);
  ASSERT_TRUE(snapshot);
  const auto title = view->titleLabel();
  const Rect titleRect = title->convertRectToView(title->bounds(), view.get());
  ASSERT_FALSE(titleRect.isEmpty());
  EXPECT_GT(pixelsIn(*snapshot, titleRect,
                     [](const platform::Pixel& p) { return p.red < 90 && p.green < 90 && p.blue < 90; }),
            20u)
      << "title at " << titleRect;
  EXPECT_GT(pixelsIn(*snapshot, titleRect,
                     [](const platform::Pixel& p) { return p.red > 200 && p.green > 200 && p.blue > 200; }),
            20u)
      << "the text stands on the server's light background";
  const auto cover = view->coverImageView();
  const Rect coverRect = cover->convertRectToView(cover->bounds(), view.get());
  ASSERT_FALSE(coverRect.isEmpty());
  const auto isCoverColour = [](const platform::Pixel& p) {
    return std::abs(p.red - 230) < 12 && std::abs(p.green - 102) < 12 && std::abs(p.blue - 26) < 12;
  };
  EXPECT_GT(pixelsIn(*snapshot, coverRect, isCoverColour), pixelsIn(*snapshot, coverRect, [](const auto&) {
              return true;
            }) / 2)
      << "cover at " << coverRect;
  EXPECT_EQ(pixelsIn(*snapshot, titleRect, isCoverColour), 0u) << "the image stays in its place";
  const Rect buttonRect = button->convertRectToView(button->bounds(), view.get());
  const auto isButtonBlue = [](const platform::Pixel& p) {
    return std::abs(p.red - 0x1F) < 12 && std::abs(p.green - 0x6F) < 12 && std::abs(p.blue - 0xEB) < 12;
  };
  EXPECT_GT(pixelsIn(*snapshot, buttonRect, isButtonBlue), pixelsIn(*snapshot, buttonRect, [](const auto&) {
              return true;
            }) / 2)
      << "call to action at " << buttonRect;

  FakeSafariPresenter::dismiss((*presentations_)[0]);
  // The carousel's 200-point cards lie a page of 208 apart: the second runs
  // off the screen until the carousel pages to it.
  std::shared_ptr<OVAdDefaultMultiProductView> carousel;
  for (const auto& content : cover->subviews()) {
    if (auto found = std::dynamic_pointer_cast<OVAdDefaultMultiProductView>(content)) carousel = found;
  }
  ASSERT_TRUE(carousel);
  world_.clock().advance(2);
  DisplayAdTestWorld::settle();
  carousel->scrollView()->scrollView()->setContentOffset({208, 0});
  world_.clock().advance(10);
  DisplayAdTestWorld::runBriefly();
  // Once for the ad, and once for each of the two cards the cover's
  // carousel shows.
  std::size_t adImpressions = 0;
  std::vector<std::string> cardImpressions;
  for (const auto& event : loggedEvents("impression")) {
    const platform::Value data = dataOf(event);
    if (const platform::Value* card = data.find("cardind")) {
      cardImpressions.push_back(card->text().value_or(""));
    } else {
      ++adImpressions;
    }
  }
  EXPECT_EQ(adImpressions, 1u);
  EXPECT_EQ(cardImpressions, (std::vector<std::string>{"0", "1"}));
}

TEST_F(NativeTemplateEndToEndTest, TheFourTemplatesFilledFromTheFixtureAreWrittenAsPictures) {
  const auto ad = loadedAd(kNativeFixturePlacement, kOVNativeAdMediaCachePolicyIcon | kOVNativeAdMediaCachePolicyImage);
  ASSERT_TRUE(ad->isAdValid());
  const std::string directory = (caches_ / "pictures").string();
  std::optional<std::vector<std::string>> written;
  OVNativeAdWriteTemplatePictures(ad, directory, [&](const std::vector<std::string>& paths) { written = paths; });
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return written.has_value(); }));
  ASSERT_EQ(written->size(), 4u);
  const double heights[] = {100, 120, 300, 400};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ((*written)[i], directory + "/native-template-" + std::to_string(static_cast<int>(heights[i])) + ".png");
    const auto bytes = platform::readFile((*written)[i]);
    ASSERT_TRUE(bytes) << (*written)[i];
    const auto picture = platform::Image::decode(*bytes);
    ASSERT_TRUE(picture) << (*written)[i];
    const double scale = static_cast<double>(picture->pixelWidth()) / 375.0;
    EXPECT_GT(scale, 0.0);
    EXPECT_EQ(picture->pixelHeight(), static_cast<std::uint32_t>(heights[i] * scale)) << (*written)[i];
  }
  EXPECT_FALSE(ad->isRegistered()) << "the pictures' templates stay unregistered";
}

}  // namespace
}  // namespace plexora::testing
