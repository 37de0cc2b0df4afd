// The video interstitial behind the public unit, its content view a double
// the test plays: load, show with the impression once on screen, skip and
// close, click-through, a failure after the show, and the orientations it
// asks for.
#include "internal/OVInterstitialVideoAdInternal.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "InterstitialTestSupport.h"
#include "adapters/OVInstreamAdDataModel.h"
#include "platform/ui/Application.h"
#include "plexora/OVAdErrorDomain.h"
#include "support/doubles/FakeVideoViews.h"
#include "util/OVAdError.h"
#include "util/OVAdUtility.h"

namespace plexora::testing {
namespace {

constexpr const char* kNoRetries = R"("type":"interstitial","client_max_retry_count":0)";

// A video candidate: `extra` adds members (",\"cta\":{...}").
std::string videoData(int orientation = 1, const std::string& extra = "") {
  return R"({"request_id":"req-v","ct":"ct-video","video":{"videoURL":"http://127.0.0.1/v.mp4",)"
         R"("destinationURL":"https://travel.plexora.test/"},)"
         R"("trackers":{"nativeImpression":"http://127.0.0.1/n","impression":"http://127.0.0.1/i",)"
         R"("video":"http://127.0.0.1/v"},"context":{"orientation":)" +
         std::to_string(orientation) + "}" + extra + "}";
}

class OVInterstitialVideoAdInternalTest : public InterstitialTest {
 protected:
  OVInterstitialVideoAdInternalTest() { events_ = world_.makeEventManager(caches_ / "events.sqlite"); }

  // Loads a video candidate until the content view has the model, then
  // lets it report loaded.
  // `placement`: one of its own for each load of a test, out of the reach
  // of the others' load throttle.
  std::shared_ptr<OVInterstitialAd> loadVideo(const std::string& data, const std::string& placement = kPlacement) {
    const auto ad = makeInterstitial(placement);
    answer({CandidateSpec("PX", data)}, kNoRetries, placement);
    const std::size_t before = views_->size();
    ad->loadAd();
    EXPECT_TRUE(
        DisplayAdTestWorld::waitFor([&] { return views_->size() > before && views_->back()->loadedDataModel; }));
    if (views_->size() == before) return ad;
    view()->delegate()->contentViewDidLoad(view()->self());
    DisplayAdTestWorld::settle();
    return ad;
  }
  std::shared_ptr<FakeInterstitialVideoAdContentView> view() const { return views_->back(); }
  std::shared_ptr<OVInterstitialVideoAdInternal> internal() const {
    return std::dynamic_pointer_cast<OVInterstitialVideoAdInternal>(rootViewController_->presentedViewController());
  }
  // Shows the loaded ad and lets the presentation finish.
  void show(const std::shared_ptr<OVInterstitialAd>& ad) {
    ASSERT_TRUE(ad->showAdFromRootViewController(rootViewController_));
    ASSERT_TRUE(internal());
    internal()->setEventManager(events_);
    finishTransition();
  }

  std::shared_ptr<OVAdEventManager> events_;
  MadeList<FakeInterstitialVideoAdContentView> views_ = makeMadeList<FakeInterstitialVideoAdContentView>();
  OVInterstitialVideoAdContentView::Maker::Scope viewScope_ = FakeInterstitialVideoAdContentView::install(views_);
};

TEST_F(OVInterstitialVideoAdInternalTest, LoadsShowsLogsItsImpressionOnScreenAndClosesOnSkip) {
  const auto ad = loadVideo(videoData());
  ASSERT_EQ(delegate_->messages, (std::vector<std::string>{"loaded"}));
  EXPECT_EQ(view()->loadedDataModel->inlineClientToken(), "ct-video");
  EXPECT_TRUE(view()->startedFrom.empty());

  show(ad);
  EXPECT_EQ(internal()->view(), view());
  EXPECT_EQ(view()->startedFrom.size(), 1u);
  EXPECT_TRUE(internal()->prefersStatusBarHidden());
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "impression"}));
  world_.clock().advance(0.5);
  EXPECT_TRUE(DisplayAdTestWorld::waitFor([&] { return !world_.loggedEvents("impression", "ct-video").empty(); }));

  view()->delegate()->contentViewDidSkip(view()->self());
  // A late unload of the same ad closes nothing twice.
  view()->delegate()->contentViewDidUnload(view()->self());
  finishTransition();
  EXPECT_EQ(rootViewController_->presentedViewController(), nullptr);
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "impression", "will close", "did close"}));
}

TEST_F(OVInterstitialVideoAdInternalTest, AFailureAfterTheShowReachesTheHostAndTakesTheAdOffScreen) {
  const auto ad = loadVideo(videoData());
  show(ad);
  view()->delegate()->contentView(view()->self(), OVAdError::getNSError(kOVAdErrorCodeNetworkError));
  finishTransition();
  EXPECT_EQ(delegate_->messages,
            (std::vector<std::string>{"loaded", "impression", "error", "will close", "did close"}));
  ASSERT_EQ(delegate_->errors.size(), 1u);
  EXPECT_EQ(delegate_->errors[0].code(), kOVAdErrorCodeNetworkError);
  EXPECT_EQ(rootViewController_->presentedViewController(), nullptr);
  EXPECT_FALSE(ad->isAdValid());
}

// Once the ad failed or its close began, a late failure stays from the
// host: it hears one failure and one close.
TEST_F(OVInterstitialVideoAdInternalTest, ALateFailureAfterTheCloseOrAFailureDoesNotReachTheHost) {
  struct Case {
    const char* name;
    const char* placement;
    bool skipFirst;
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases = {
      {"skip, then failures", "skipped-video", true, {"loaded", "impression", "will close", "did close"}},
      {"failure, then failures", "failed-video", false, {"loaded", "impression", "error", "will close", "did close"}},
  };
  for (const auto& [name, placement, skipFirst, messages] : cases) {
    SCOPED_TRACE(name);
    delegate_->messages.clear();
    delegate_->errors.clear();
    const auto ad = loadVideo(videoData(), placement);
    show(ad);
    const auto contentView = view();
    if (skipFirst) contentView->delegate()->contentViewDidSkip(contentView->self());
    for (int late = 0; late < 2; ++late) {
      contentView->delegate()->contentView(contentView->self(), OVAdError::getNSError(kOVAdErrorCodeNetworkError));
    }
    contentView->delegate()->contentViewDidUnload(contentView->self());
    finishTransition();
    EXPECT_EQ(delegate_->messages, messages);
    EXPECT_EQ(rootViewController_->presentedViewController(), nullptr);
  }
}

TEST_F(OVInterstitialVideoAdInternalTest, AFailedVideoLoadFailsTheLoad) {
  const auto ad = makeInterstitial();
  answer({CandidateSpec("PX", videoData())}, kNoRetries);
  ad->loadAd();
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] { return !views_->empty() && views_->back()->loadedDataModel; }));
  view()->delegate()->contentView(view()->self(), OVAdError::getNSError(kOVAdErrorCodeNetworkError));
  ASSERT_TRUE(DisplayAdTestWorld::waitFor([&] {
    DisplayAdTestWorld::settle();
    return !delegate_->messages.empty();
  }));
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"error"}));
  EXPECT_FALSE(ad->isAdValid());
}

TEST_F(OVInterstitialVideoAdInternalTest, AnInvalidModelIsNoFill) {
  const auto ad = makeInterstitial();
  answer({CandidateSpec("PX", R"({"ct":"ct-video","video":{}})")}, kNoRetries);
  ASSERT_TRUE(loadAndWait(ad));
  ASSERT_EQ(delegate_->errors.size(), 1u);
  EXPECT_EQ(delegate_->errors[0].code(), kOVAdErrorCodeNoFill);
}

TEST_F(OVInterstitialVideoAdInternalTest, ClickThroughTakesTheCallToActionElseTheDestination) {
  struct Case {
    const char* name;
    std::string extra;
    std::set<std::string> openable;
    std::size_t clicks;
    std::size_t opened;
  };
  const Case cases[] = {
      {"a call to action runs as a command",
       R"(,"cta":{"text":"Book","url":"ovad://open_link?link=https%3A%2F%2Ftravel.plexora.test%2Fbook"})",
       {"http", "https"},
       1,
       1},
      {"no call to action: the destination opens", "", {"http", "https"}, 1, 1},
      {"a destination the system cannot open is ignored", "", {"mailto"}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::Application::shared()->reset();
    platform::Application::shared()->setOpenableSchemes(c.openable);
    delegate_->messages.clear();
    const auto ad = loadVideo(videoData(1, c.extra));
    show(ad);
    view()->delegate()->contentViewDidClickthrough(view()->self());
    DisplayAdTestWorld::settle();
    EXPECT_EQ(delegate_->count("click"), c.clicks);
    EXPECT_EQ(platform::Application::shared()->openedURLs().size(), c.opened);
    view()->delegate()->contentViewDidUnload(view()->self());
    finishTransition();
    // Each case loads the placement afresh, past the load throttle.
    world_.clock().advance(60);
  }
}

TEST_F(OVInterstitialVideoAdInternalTest, AsksForTheModelsOrientationWhereTheWindowAllowsIt) {
  using platform::InterfaceOrientation;
  struct Case {
    const char* name;
    int serverOrientation;
    platform::InterfaceOrientationMask window;
    InterfaceOrientation screen;
    platform::InterfaceOrientationMask supported;
    InterfaceOrientation preferred;
  };
  const Case cases[] = {
      {"portrait ad, portrait screen", 1, platform::kInterfaceOrientationMaskAllButUpsideDown,
       InterfaceOrientation::Portrait, platform::kInterfaceOrientationMaskPortrait, InterfaceOrientation::Portrait},
      {"portrait ad on a landscape screen", 1, platform::kInterfaceOrientationMaskAllButUpsideDown,
       InterfaceOrientation::LandscapeLeft, platform::kInterfaceOrientationMaskPortrait,
       InterfaceOrientation::Portrait},
      {"portrait ad, landscape-only window", 1, platform::kInterfaceOrientationMaskLandscape,
       InterfaceOrientation::LandscapeLeft, platform::kInterfaceOrientationMaskAll,
       InterfaceOrientation::LandscapeLeft},
      {"landscape ad on a portrait screen", 2, platform::kInterfaceOrientationMaskAllButUpsideDown,
       InterfaceOrientation::Portrait, platform::kInterfaceOrientationMaskLandscape,
       InterfaceOrientation::LandscapeRight},
      {"landscape ad, only landscape left", 2,
       platform::kInterfaceOrientationMaskPortrait | platform::kInterfaceOrientationMaskLandscapeLeft,
       InterfaceOrientation::Portrait, platform::kInterfaceOrientationMaskLandscape,
       InterfaceOrientation::LandscapeLeft},
      {"landscape ad, portrait-only window", 2, platform::kInterfaceOrientationMaskPortrait,
       InterfaceOrientation::Portrait, platform::kInterfaceOrientationMaskAll, InterfaceOrientation::Portrait},
      {"any orientation", 0, platform::kInterfaceOrientationMaskAllButUpsideDown, InterfaceOrientation::Portrait,
       platform::kInterfaceOrientationMaskAll, InterfaceOrientation::Portrait},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto application = platform::Application::shared();
    application->setSupportedInterfaceOrientations(c.window);
    application->setStatusBarOrientation(c.screen);
    const auto data = OVAdUtility::getObjectFromJSONString(videoData(c.serverOrientation));
    ASSERT_TRUE(data);
    const auto internal = OVInterstitialVideoAdInternal::initWithPlacementID("p", data->asDictionary(), nullptr);
    EXPECT_EQ(internal->supportedInterfaceOrientations(), c.supported);
    EXPECT_EQ(internal->preferredInterfaceOrientationForPresentation(), c.preferred);
  }
}

}  // namespace
}  // namespace plexora::testing
