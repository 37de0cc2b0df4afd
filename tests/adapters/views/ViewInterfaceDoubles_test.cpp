// Each interface's factory answers null until its maker is installed, then
// what the maker makes: here the doubles other tests use in place of the
// real views, browsers and controllers.
#include <gtest/gtest.h>

#include <memory>

#include "adapters/views/contentcontainer/OVAdContentContainer.h"
#include "platform/ui/UITest.h"
#include "support/doubles/FakeBrowser.h"
#include "support/doubles/FakeContentContainer.h"
#include "support/doubles/FakeNativeAdViews.h"
#include "support/doubles/FakeVideoViews.h"

namespace plexora {
namespace {

using namespace testing;

using ViewInterfaceDoublesTest = platform::testing::UITest;

class RecordingOwner final : public OVAdContentContainerDelegate, public OVAdViewNavigationPolicy {
 public:
  void adDidLoad() override { ++loads; }
  void adWillLogImpression() override { ++impressions; }
  void adDidFailToLoadWithError(const platform::Error& error) override { ++failures; }
  bool processRequestURL(const platform::URL& url, const std::shared_ptr<OVAdDataModel>& adDataModel,
                         const platform::Value& extraData) override {
    ++links;
    return true;
  }
  bool isModalViewPresenting() const override { return modal; }
  void setModalViewPresenting(bool presenting) override { modal = presenting; }
  void ensureViewabilityValidation() override { ++validations; }

  int loads = 0;
  int impressions = 0;
  int failures = 0;
  int links = 0;
  int validations = 0;
  bool modal = false;
};

TEST_F(ViewInterfaceDoublesTest, AFactoryWithoutAMakerAnswersNull) {
  EXPECT_EQ(OVAdBodyView::initWithFrame({}, nullptr, nullptr), nullptr);
}

TEST_F(ViewInterfaceDoublesTest, InstalledDoublesAreWhatTheFactoriesMake) {
  auto stores = makeMadeList<FakeStoreProductViewController>();
  auto carousels = makeMadeList<FakeMultiProductView>();
  auto blurred = makeMadeList<FakeBlurredImageView>();
  auto bodies = makeMadeList<FakeBodyView>();
  auto renderers = makeMadeList<FakeMediaViewDefaultVideoRenderer>();
  auto fullscreens = makeMadeList<FakeFullscreenVideoController>();
  auto interstitials = makeMadeList<FakeInterstitialVideoAdContentView>();
  auto instreams = makeMadeList<FakeInstreamAdContentView>();
  auto controllers = makeMadeList<FakeVideoAdController>();
  auto rewarded = makeMadeList<FakeRewardedVideoAdView>();
  auto endCards = makeMadeList<FakeRewardedVideoAdEndView>();
  auto storeScope = FakeStoreProductViewController::install(stores);
  auto carouselScope = FakeMultiProductView::install(carousels);
  auto blurredScope = FakeBlurredImageView::install(blurred);
  auto bodyScope = FakeBodyView::install(bodies);
  auto rendererScope = FakeMediaViewDefaultVideoRenderer::install(renderers);
  auto fullscreenScope = FakeFullscreenVideoController::install(fullscreens);
  auto interstitialScope = FakeInterstitialVideoAdContentView::install(interstitials);
  auto instreamScope = FakeInstreamAdContentView::install(instreams);
  auto controllerScope = FakeVideoAdController::install(controllers);
  auto rewardedScope = FakeRewardedVideoAdView::install(rewarded);
  auto endCardScope = FakeRewardedVideoAdEndView::install(endCards);

  const auto store = OVStoreProductViewController::create();
  EXPECT_EQ(store, stores->back());
  const auto carousel = OVAdMultiProductView::create();
  EXPECT_EQ(carousel, carousels->back());
  const auto blurredView = OVAdBlurredImageView::create();
  EXPECT_EQ(blurredView, blurred->back());
  const auto body = OVAdBodyView::initWithFrame(platform::Rect(0, 0, 10, 20), nullptr, nullptr);
  EXPECT_EQ(body, bodies->back());
  EXPECT_EQ(body->frame(), platform::Rect(0, 0, 10, 20));
  const auto renderer = OVMediaViewDefaultVideoRenderer::create();
  EXPECT_EQ(renderer, renderers->back());
  const auto fullscreen = OVAdFullscreenVideoController::initWithVideoRenderer(renderer, "Install");
  EXPECT_EQ(fullscreen, fullscreens->back());
  EXPECT_EQ(fullscreens->back()->callToAction, "Install");
  const auto interstitial = OVInterstitialVideoAdContentView::create();
  EXPECT_EQ(interstitial, interstitials->back());
  const auto contentView = OVInstreamAdContentView::create();
  EXPECT_EQ(contentView, instreams->back());
  const auto controller = OVVideoAdController::initWithContentView(contentView);
  EXPECT_EQ(controller, controllers->back());
  EXPECT_EQ(controller->contentView(), contentView);
  const auto rewardedView = OVRewardedVideoAdView::initWithPlacementID("p", nullptr, 50, nullptr);
  EXPECT_EQ(rewardedView, rewarded->back());
  EXPECT_EQ(rewarded->back()->arguments.minViewability, 50);
  const auto endCard = OVRewardedVideoAdEndView::initWithPlacementID("p", nullptr, 0, nullptr, {});
  EXPECT_EQ(endCard, endCards->back());
}

TEST_F(ViewInterfaceDoublesTest, TheContainerDoubleTalksToItsOwnerTheWayAPageWould) {
  auto made = std::make_shared<FakeContentContainer::Made>();
  auto scope = FakeContentContainer::install(made);
  auto owner = std::make_shared<RecordingOwner>();
  const auto container = OVAdCreateContentContainer(owner, true, {320, 50}, kOVAdSize320x50);
  ASSERT_EQ(made->containers.size(), 1u);
  EXPECT_EQ(container, made->containers[0]);
  EXPECT_EQ(made->forceUIWebView[0], true);
  EXPECT_EQ(container->parent(), owner);
  EXPECT_EQ(container->adSizeType(), kOVAdSize320x50);
  container->setDelegate(owner);

  made->containers[0]->finishLoad();
  EXPECT_EQ(owner->loads, 1);
  EXPECT_EQ(owner->validations, 1);
  EXPECT_FALSE(container->logImpression()) << "not before the page is ready";
  made->containers[0]->setImpressionReady(true);
  EXPECT_TRUE(container->logImpression());
  EXPECT_TRUE(container->logImpression());
  EXPECT_EQ(owner->impressions, 1);

  const auto link = *platform::URL::parse("ovad://close");
  EXPECT_TRUE(made->containers[0]->tapLink(link));
  owner->setModalViewPresenting(true);
  EXPECT_FALSE(made->containers[0]->tapLink(link));
  EXPECT_EQ(owner->links, 1);
}

}  // namespace
}  // namespace plexora
