// The media view over native ads made from candidate data served by the
// loopback server: which content it shows, when it loads, the fallback to
// the cover image, its aspect ratio, the renderer's and fullscreen
// controller's reports, and the carousel's impressions and clicks, which
// reach the logging endpoint or are refused by the click gate.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "MediaViewTestSupport.h"
#include "adapters/OVNativeAdMultiProductDataModel.h"
#include "adapters/views/nativead/image/OVAdDefaultBlurredImageView.h"
#include "adapters/views/nativead/OVAdDefaultMultiProductView.h"
#include "platform/ui/Button.h"
#include "plexora/OVAdImage.h"
#include "support/doubles/FakeBrowser.h"
#include "support/doubles/FakeNativeAdViews.h"
#include "support/doubles/FakeVideoViews.h"
#include "util/OVAdScreen.h"

namespace plexora::testing {
namespace {

using platform::Rect;

// The content view that shows; null when none or more than one does.
std::shared_ptr<platform::View> shownContent(const OVMediaView& view) {
  std::shared_ptr<platform::View> shown;
  for (const auto& subview : view.subviews()) {
    if (subview->isHidden()) continue;
    if (shown) return nullptr;
    shown = subview;
  }
  return shown;
}

class MediaViewWithDoublesTest : public MediaViewTest {
 protected:
  MediaViewWithDoublesTest() {
    serve("media-cover.png", pngBody(12, 6));
    serve("media-icon.png", pngBody(4, 4));
  }

  MadeList<FakeMediaViewDefaultVideoRenderer> renderers_ = makeMadeList<FakeMediaViewDefaultVideoRenderer>();
  MadeList<FakeMultiProductView> carousels_ = makeMadeList<FakeMultiProductView>();
  MadeList<FakeBlurredImageView> images_ = makeMadeList<FakeBlurredImageView>();
  MadeList<FakeFullscreenVideoController> fullscreens_ = makeMadeList<FakeFullscreenVideoController>();
  OVMediaViewDefaultVideoRenderer::Maker::Scope rendererScope_ = FakeMediaViewDefaultVideoRenderer::install(renderers_);
  OVAdMultiProductView::Maker::Scope carouselScope_ = FakeMultiProductView::install(carousels_);
  OVAdBlurredImageView::Maker::Scope imageScope_ = FakeBlurredImageView::install(images_);
  OVAdFullscreenVideoController::Maker::Scope fullscreenScope_ = FakeFullscreenVideoController::install(fullscreens_);
};

TEST_F(MediaViewWithDoublesTest, ShowsTheVideoOverTheCarouselOverTheImageAcrossTheViewsBounds) {
  struct Case {
    const char* name;
    bool video;
    bool cards;
    const char* shown;
  };
  for (const Case& c : {Case{"video and cards", true, true, "video"}, Case{"video", true, false, "video"},
                        Case{"cards", false, true, "carousel"}, Case{"neither", false, false, "image"}}) {
    SCOPED_TRACE(c.name);
    const auto ad = adFrom(mediaAdData(c.video, c.cards));
    const auto view = mediaViewFor(ad, Rect(0, 0, 320, 180));
    const auto shown = shownContent(*view);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->frame(), view->bounds());
    EXPECT_EQ(view->subviews().back(), shown) << "in front";
    if (std::string(c.shown) == "video") {
      ASSERT_EQ(shown, renderers_->back());
      EXPECT_EQ(renderers_->back()->loadedURL, ad->videoURL());
      EXPECT_EQ(renderers_->back()->loadedClientToken, "ct-media");
      EXPECT_TRUE(renderers_->back()->autoplay) << "the view's own choice when the ad has none";
      EXPECT_EQ(renderers_->back()->poster, ad->coverImage());
    } else if (std::string(c.shown) == "carousel") {
      ASSERT_EQ(shown, carousels_->back());
      EXPECT_EQ(carousels_->back()->multiProductAds(), ad->multiProductAdContent());
    } else {
      ASSERT_EQ(shown, images_->back());
      ASSERT_TRUE(waitForLoad());
      EXPECT_EQ(images_->back()->image()->size(), (platform::Size{12, 6}));
      EXPECT_TRUE(images_->back()->blurredImage());
    }
    EXPECT_TRUE(ad->usedByMediaView());
    EXPECT_EQ(ad->mediaViewConfiguration(), platform::Dictionary({{"autoplay_enabled", true}}));
  }
}

TEST_F(MediaViewWithDoublesTest, TheAdsOwnAutoplayChoiceWinsOverTheViews) {
  std::string data = mediaAdData(true, false);
  data.insert(data.size() - 1, R"(,"video_autoplay_enabled":false)");
  const auto ad = adFrom(data);
  const auto view = OVMediaView::init();
  view->setAutoplayEnabled(true);
  view->setFrame(Rect(0, 0, 320, 180));
  view->setNativeAd(ad);
  EXPECT_FALSE(view->isAutoplayEnabled());
  EXPECT_FALSE(renderers_->back()->autoplay);
  EXPECT_EQ(ad->mediaViewConfiguration(), platform::Dictionary({{"autoplay_enabled", false}}));
}

TEST_F(MediaViewWithDoublesTest, AnAdSetOnEmptyBoundsLoadsAtTheFirstSizeAndTheSameAdAgainLoadsNothing) {
  const auto ad = adFrom(mediaAdData(true, false));
  const auto view = OVMediaView::init();
  window_->addSubview(view);
  view->setNativeAd(ad);
  EXPECT_TRUE(renderers_->empty() || !renderers_->back()->loadedURL) << "nothing to show it in yet";

  view->setFrame(Rect(0, 0, 0, 180));
  EXPECT_TRUE(renderers_->empty() || !renderers_->back()->loadedURL) << "still empty";
  view->setFrame(Rect(0, 0, 320, 180));
  ASSERT_EQ(renderers_->size(), 1u);
  EXPECT_EQ(renderers_->back()->loadedURL, ad->videoURL());

  renderers_->back()->loadedURL.reset();
  view->setNativeAd(ad);
  view->setFrame(Rect(0, 0, 300, 170));
  EXPECT_FALSE(renderers_->back()->loadedURL);
  EXPECT_EQ(renderers_->size(), 1u) << "each kind of content view is made once";
}

TEST_F(MediaViewWithDoublesTest, AFailedVideoFallsBackToTheCoverImageUntilAnotherAdIsSet) {
  MediaViewLogLines log;
  const auto ad = adFrom(mediaAdData(true, false));
  const auto view = mediaViewFor(ad, Rect(0, 0, 320, 180));
  renderers_->back()->failLoad();
  ASSERT_FALSE(images_->empty());
  EXPECT_EQ(shownContent(*view), images_->back());
  EXPECT_EQ(log.count("Video failed to load or was interrupted, falling back to image."), 1u);
  ASSERT_TRUE(waitForLoad());
  EXPECT_TRUE(images_->back()->image());
  // The image view's own report of the same load does not reach the
  // delegate again.
  images_->back()->finishLoad();
  DisplayAdTestWorld::runBriefly();
  EXPECT_EQ(mediaDelegate_->count("loaded"), 1u);

  const auto next = adFrom(mediaAdData(true, false, "other.mp4"));
  view->setNativeAd(next);
  EXPECT_EQ(shownContent(*view), renderers_->back()) << "a new ad tries its video again";
  EXPECT_EQ(renderers_->back()->loadedURL, next->videoURL());
  EXPECT_FALSE(images_->back()->image()) << "the old cover is cleared";
}

TEST_F(MediaViewWithDoublesTest, AFailedVideoOfAnAdWithCardsShowsItsCarousel) {
  const auto view = mediaViewFor(adFrom(mediaAdData(true, true)), Rect(0, 0, 320, 180));
  renderers_->back()->failLoad();
  ASSERT_FALSE(carousels_->empty());
  EXPECT_EQ(shownContent(*view), carousels_->back());
  EXPECT_EQ(carousels_->back()->multiProductAds().size(), 2u);
}

TEST_F(MediaViewWithDoublesTest, AspectRatioFollowsWhatIsShownAndSizesTheView) {
  const auto empty = OVMediaView::init();
  EXPECT_EQ(empty->volume(), 0.0F) << "no renderer";
  empty->setFrame(Rect(5, 6, 320, 180));
  EXPECT_EQ(empty->aspectRatio(), 0.0) << "an image view without an image";
  empty->applyNaturalHeight();
  EXPECT_EQ(empty->frame(), Rect(5, 6, 320, 0));
  empty->setFrame(Rect(5, 6, 320, 180));
  empty->applyNaturalWidth();
  EXPECT_EQ(empty->frame(), Rect(5, 6, 0, 180));

  const auto video = mediaViewFor(adFrom(mediaAdData(true, true)), Rect(0, 0, 320, 100));
  renderers_->back()->volumeValue = 0.25F;
  EXPECT_EQ(video->volume(), 0.25F);
  EXPECT_DOUBLE_EQ(video->aspectRatio(), 16.0 / 9.0);
  video->applyNaturalHeight();
  EXPECT_EQ(video->frame(), Rect(0, 0, 320, 180));

  const auto cards = mediaViewFor(adFrom(mediaAdData(false, true)), Rect(0, 0, 320, 100));
  EXPECT_DOUBLE_EQ(cards->aspectRatio(), (300.0 * 4.0 / 3.0 + 8.0) / 300.0);

  const auto image = mediaViewFor(adFrom(mediaAdData(false, false)), Rect(0, 0, 320, 90));
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return images_->back()->image() != nullptr; }));
  EXPECT_DOUBLE_EQ(image->aspectRatio(), 2.0);
  image->applyNaturalWidth();
  EXPECT_EQ(image->frame(), Rect(0, 0, 180, 90));
}

TEST_F(MediaViewWithDoublesTest, TheRenderersReportsReachTheDelegateAndATapPlaysTheVideoFullScreen) {
  int clicks = 0;
  const auto ad = adFrom(mediaAdData(true, false));
  ad->populateFromDataModel(ad->dataModel(), nullptr, {}, {},
                            [&clicks](const std::shared_ptr<platform::ViewController>&, const platform::Dictionary&) {
                              ++clicks;
                            });
  const auto view = mediaViewFor(ad, Rect(0, 0, 320, 180));
  const auto renderer = renderers_->back();
  const auto listener = renderer->delegate();
  ASSERT_TRUE(listener);
  renderer->finishLoad();
  listener->defaultVideoRenderer(renderer->self(), 0.5F);
  listener->defaultVideoRendererDidPlay(renderer->self());
  listener->defaultVideoRendererDidPause(renderer->self());
  listener->defaultVideoRendererVideoDidComplete(renderer->self());
  DisplayAdTestWorld::settle();
  EXPECT_EQ(mediaDelegate_->messages,
            (std::vector<std::string>{"volume 0.500000", "play", "pause", "complete", "loaded"}));

  mediaDelegate_->messages.clear();
  listener->defaultVideoRendererWasTapped(renderer->self());
  world_.clock().advance(platform::ViewController::kTransitionSeconds);
  DisplayAdTestWorld::settle();
  ASSERT_EQ(fullscreens_->size(), 1u);
  auto fullscreen = fullscreens_->back();
  EXPECT_EQ(fullscreen->callToAction, "Install");
  EXPECT_EQ(fullscreen->videoRenderer.lock(), renderer);
  EXPECT_EQ(mediaDelegate_->messages, std::vector<std::string>{"enter"});
  EXPECT_EQ(renderer->playCalls, 1);
  EXPECT_EQ(root_->presentedViewController(), fullscreen);

  // The call to action is the ad's click, once the ad has a registered view.
  ad->registerViewForInteraction(view, root_, {view});
  fullscreen->delegate()->videoControllerDidTapCallToAction(fullscreen->self(), std::make_shared<platform::Button>(),
                                                            nullptr);
  EXPECT_EQ(clicks, 1);

  fullscreen->delegate()->videoControllerWillDismiss(fullscreen->self());
  EXPECT_EQ(renderer->playCalls, 2) << "the video plays on in the view";
  const std::weak_ptr<FakeFullscreenVideoController> weakFullscreen = fullscreen;
  fullscreen->delegate()->videoControllerDidDismiss(fullscreen->self());
  EXPECT_EQ(mediaDelegate_->messages, (std::vector<std::string>{"enter", "exit"}));
  root_->dismiss(false);
  world_.clock().advance(platform::ViewController::kTransitionSeconds);
  DisplayAdTestWorld::settle();
  fullscreens_->clear();
  fullscreen.reset();
  EXPECT_TRUE(weakFullscreen.expired()) << "the view lets go of the controller";
  ad->unregisterView();
}

// Taps on cards of the carousel double, under the click gate's settings.
TEST_F(MediaViewWithDoublesTest, CardClicksPassTheClickGateOnlyWhenDue) {
  const auto presentations = std::make_shared<std::vector<FakeSafariPresenter::Presentation>>();
  const auto browserScope = FakeSafariPresenter::install(presentations);
  struct Case {
    const char* name;
    const char* configuration;  // JSON
    bool impressionBeforeView;
    platform::Point tap;
    const char* refusal;  // none when the click goes through
  };
  // A configuration without the elapsed time restricts clicks to ads seen
  // already, so the other cases turn that off (-1).
  const Case cases[] = {
      {"soon after the view appeared, though the impression is old",
       R"({"ad_clickability_threshold_ms":2000,"minimum_elapsed_time_after_impression":-1})", true, {160, 90},
       "Premature click event (threshold = 2.000000)."},
      {"no impression while clicks wait for it", R"({"minimum_elapsed_time_after_impression":0})", false, {160, 90},
       "Click event occurred without impression. Ignoring..."},
      {"in the margin", R"({"ad_viewability_tap_margin":10,"minimum_elapsed_time_after_impression":-1})", false,
       {2, 2}, "Invalid tap (2.000000, 2.000000)"},
      {"due", R"({"minimum_elapsed_time_after_impression":-1})", false, {160, 90}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MediaViewLogLines log;
    presentations->clear();
    delegate_->messages.clear();
    OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(
        *OVAdUtility::getObjectFromJSONString(c.configuration));
    const auto ad = adFrom(mediaAdData(false, true));
    if (c.impressionBeforeView) {
      ad->logExternalImpressionFromSource("test");
      world_.clock().advance(60);
    }
    mediaViewFor(ad, Rect(0, 0, 320, 180));
    world_.clock().advance(1.0);
    carousels_->back()->tapProduct(1, c.tap, Rect(0, 0, 180, 180));
    DisplayAdTestWorld::settle();
    if (c.refusal) {
      EXPECT_EQ(log.count(c.refusal), 1u);
      EXPECT_TRUE(presentations->empty());
      EXPECT_EQ(delegate_->count("click"), 0u);
    } else {
      ASSERT_EQ(presentations->size(), 1u);
      EXPECT_EQ((*presentations)[0].url.absoluteString(), "https://shop.plexora.test/two");
      EXPECT_EQ((*presentations)[0].inlineClientToken, "ct-media");
      EXPECT_EQ(delegate_->count("click"), 1u);
      // The click's event leaves before the next test's do.
      EXPECT_TRUE(waitForLogged("open_link", 1));
    }
  }
}

TEST_F(MediaViewWithDoublesTest, AnImpressionOfACardTheAdDoesNotHaveIsNotLogged) {
  mediaViewFor(adFrom(mediaAdData(false, true)), Rect(0, 0, 320, 180));
  carousels_->back()->showProduct(7);
  carousels_->back()->showProduct(1);
  ASSERT_TRUE(waitForLogged("impression", 1));
  DisplayAdTestWorld::runBriefly();
  const auto events = world_.loggedEvents("impression");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].find("data")->find("cardind")->text(), "1");
}

// The library's own carousel and image views, in a window.
class MediaViewContentTest : public MediaViewTest {
 protected:
  MediaViewContentTest() {
    serve("media-cover.png", pngBody(12, 6));
    serve("media-icon.png", pngBody(4, 4));
    serve("card-1.png", pngBody(30, 30));
    serve("card-2.png", pngBody(30, 30));
  }

  std::vector<platform::Value> loggedData(const std::string& type) const {
    std::vector<platform::Value> data;
    for (const auto& event : world_.loggedEvents(type)) {
      if (const platform::Value* found = event.find("data")) data.push_back(*found);
    }
    return data;
  }
};

TEST_F(MediaViewContentTest, TheCoverImageShowsOverItsBlurredCopy) {
  const auto view = mediaViewFor(adFrom(mediaAdData(false, false)), Rect(0, 0, 320, 180));
  ASSERT_TRUE(waitForLoad());
  const auto image = std::dynamic_pointer_cast<OVAdDefaultBlurredImageView>(shownContent(*view));
  ASSERT_TRUE(image);
  ASSERT_TRUE(image->image());
  EXPECT_EQ(image->image()->size(), (platform::Size{12, 6}));
  ASSERT_TRUE(image->blurredImage());
  EXPECT_NE(image->blurredImage(), image->image());
  DisplayAdTestWorld::runBriefly();
  EXPECT_EQ(mediaDelegate_->count("loaded"), 1u);
}

TEST_F(MediaViewContentTest, ALateCoverOfThePreviousAdDoesNotReplaceTheNewOnes) {
  testserver::Response slow = testserver::Response::text(200, pngBody(40, 10), std::chrono::milliseconds(400));
  slow.headers = {{"Content-Type", "image/png"}};
  world_.server().server().on("/media/slow-cover.png", std::move(slow));
  const auto adWithCover = [&](const std::string& cover) {
    return adFrom(R"({"ct":"ct-media","image":{"url":"{{BASE_URL}}media/)" + cover + R"("}})");
  };
  const auto view = mediaViewFor(adWithCover("slow-cover.png"), Rect(0, 0, 320, 180));
  view->setNativeAd(adWithCover("media-cover.png"));
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return mediaRequests("slow-cover.png") > 0; }));
  ASSERT_TRUE(waitForLoad());
  // Long enough for the slow answer to have come.
  platform::MainLoop::instance().runUntil([] { return false; }, 1.0);
  const auto image = std::dynamic_pointer_cast<OVAdDefaultBlurredImageView>(shownContent(*view));
  ASSERT_TRUE(image);
  ASSERT_TRUE(image->image());
  EXPECT_EQ(image->image()->size(), (platform::Size{12, 6}));
  EXPECT_EQ(mediaDelegate_->count("loaded"), 1u);
}

TEST_F(MediaViewContentTest, CardImpressionsAndClicksReachTheLoggingEndpointWithTheirCardKeys) {
  const auto presentations = std::make_shared<std::vector<FakeSafariPresenter::Presentation>>();
  const auto browserScope = FakeSafariPresenter::install(presentations);
  OVAdConfigManager::sharedManager()->loadConfigurationFromDictionary(
      platform::Value(platform::Dictionary{{"ad_clickability_threshold_ms", 500},
                                            {"minimum_elapsed_time_after_impression", -1}}));
  // Cards are 180 square on pages 188 wide: with the view against the
  // screen's right edge, the second card (at x 188) runs off the screen
  // until the strip pages to it, when the pager slides 62 points right and
  // the second card shows from x 62 of the view.
  const double left = OVAdScreen::boundsInOrientation().size.width - 250;
  const auto ad = adFrom(mediaAdData(false, true));
  const auto view = mediaViewFor(ad, Rect(left, 100, 250, 180));
  ASSERT_TRUE(waitForLoad());
  const auto carousel = std::dynamic_pointer_cast<OVAdDefaultMultiProductView>(shownContent(*view));
  ASSERT_TRUE(carousel);
  ASSERT_EQ(carousel->scrollView()->cellViews().size(), 2u);
  const auto pager = carousel->scrollView()->scrollView();

  ASSERT_TRUE(waitForLogged("impression", 1));
  DisplayAdTestWorld::runBriefly();
  auto impressions = loggedData("impression");
  ASSERT_EQ(impressions.size(), 1u) << "only the card that shows";
  EXPECT_EQ(impressions[0].find("cardind")->text(), "0");
  EXPECT_EQ(impressions[0].find("cardcnt")->text(), "2");
  EXPECT_EQ(impressions[0].find("nmv")->text(), "true");

  pager->setContentOffset({188, 0});
  ASSERT_TRUE(waitForLogged("impression", 2));
  pager->setContentOffset({0, 0});
  world_.clock().advance(2.0);
  pager->setContentOffset({188, 0});
  world_.clock().advance(2.0);
  DisplayAdTestWorld::runBriefly();
  impressions = loggedData("impression");
  ASSERT_EQ(impressions.size(), 2u) << "each card once";
  EXPECT_EQ(impressions[1].find("cardind")->text(), "1");

  // A tap on the second card, 28 points into it.
  world_.clock().advance(1.0);
  ASSERT_TRUE(platform::Application::shared()->sendTap(platform::Point{left + 90, 190}));
  DisplayAdTestWorld::settle();
  ASSERT_EQ(presentations->size(), 1u);
  EXPECT_EQ((*presentations)[0].url.absoluteString(), "https://shop.plexora.test/two");
  EXPECT_EQ(delegate_->count("click"), 1u);
  ASSERT_TRUE(waitForLogged("open_link", 1));
  const platform::Value click = loggedData("open_link")[0];
  EXPECT_EQ(click.find("cardind")->text(), "1");
  EXPECT_EQ(click.find("cardcnt")->text(), "2");
  const auto touch = OVAdUtility::getObjectFromJSONString(click.find("touch")->text().value_or(""));
  ASSERT_TRUE(touch);
  EXPECT_EQ(touch->asDictionary().size(), 9u);
  for (const char* key : {"startX", "clickX", "endX"}) EXPECT_EQ(touch->find(key)->toInt64(), 28) << key;
  for (const char* key : {"startY", "clickY", "endY"}) EXPECT_EQ(touch->find(key)->toInt64(), 90) << key;
  EXPECT_EQ(touch->find("clickDelayTime")->toInt64(), -1) << "no impression of the ad yet";
  EXPECT_NEAR(touch->find("startTime")->toDouble(), world_.clock().wallTime(), 1.0);
}

}  // namespace
}  // namespace plexora::testing
