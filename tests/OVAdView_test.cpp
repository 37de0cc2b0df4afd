// The banner against the loopback ad server with the network's own banner
// adapter and a fake page: loading, the page's load and failure, refresh,
// invalid ad data, sizes and misuse.
#include "plexora/OVAdView.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "BannerTestSupport.h"
#include "adapters/OVHTMLAdDataModel.h"
#include "platform/foundation/Exception.h"
#include "util/OVAdError.h"

namespace plexora::testing {
namespace {

constexpr const char* kRefreshEvery30 = R"("refresh": 30, "client_max_retry_count": 0, "min_viewability_percentage": 40)";

TEST_F(BannerTest, TheAdIsPresentedAtOnceAndShownOnlyOnceItsPageHasLoaded) {
  answer({{"PX", htmlAdData("ct-a", "<b>spring</b>")}}, kRefreshEvery30);
  const auto banner = placeBanner();
  banner->loadAd();
  const auto page = containerAt(0);
  ASSERT_TRUE(page);

  // The page got the ad's model and the definition's minimum.
  const auto model = std::dynamic_pointer_cast<OVHTMLAdDataModel>(page->offsiteAd());
  ASSERT_TRUE(model);
  EXPECT_EQ(model->markup(), "<b>spring</b>");
  EXPECT_EQ(page->loadedMinViewability, 40);
  EXPECT_EQ(containers_->forceUIWebView, (std::vector<bool>{false}));

  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded"}));
  // The host told of the ad finds it valid, its page still loading.
  EXPECT_EQ(delegate_->validOnLoad, (std::vector<bool>{true}));
  const auto internal = internalOf(banner);
  ASSERT_TRUE(internal);
  EXPECT_EQ(internal->superview(), banner);
  EXPECT_EQ(internal->frame(), platform::Rect(0, 0, 320, 50));
  EXPECT_EQ(internal->orientation(), platform::InterfaceOrientation::LandscapeLeft);
  EXPECT_TRUE(internal->isHidden());
  EXPECT_TRUE(banner->isAdValid());

  page->finishLoad();
  DisplayAdTestWorld::settle();
  EXPECT_FALSE(internal->isHidden());
  EXPECT_TRUE(banner->isAdValid());
  // The page's own load report is not a second load.
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded"}));
}

TEST_F(BannerTest, APageThatFailsToLoadIsAnErrorNotAShownAdAndTheNextRefreshReplacesIt) {
  answer({{"PX", htmlAdData("ct-a")}}, kRefreshEvery30);
  const auto banner = placeBanner();
  banner->loadAd();
  const auto failed = containerAt(0);
  ASSERT_TRUE(failed);
  failed->setImpressionReady(true);
  failed->failLoad(platform::Error("com.plexora.page", 404));
  world_.clock().advance(5.0);
  DisplayAdTestWorld::settle();

  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "error"}));
  EXPECT_EQ(delegate_->errors.at(0).code(), 404);
  EXPECT_TRUE(internalOf(banner)->isHidden());
  EXPECT_FALSE(banner->isAdValid());
  EXPECT_EQ(failed->logImpressionCalls, 0) << "a failed page is never checked for its impression";

  world_.clock().advance(25.0);
  const auto next = containerAt(1);
  ASSERT_TRUE(next);
  next->finishLoad();
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "error", "loaded"}));
  EXPECT_TRUE(banner->isAdValid());
}

TEST_F(BannerTest, APageNotLoadedWithinTheRequestTimeoutFailsOnceAndTheNextRefreshReplacesIt) {
  answer({{"PX", htmlAdData("ct-a")}},
         R"("refresh": 30, "client_max_retry_count": 0, "request_timeout": 3500, "min_viewability_percentage": 40)");
  const auto banner = placeBanner();
  banner->loadAd();
  const auto stuck = containerAt(0);
  ASSERT_TRUE(stuck);
  stuck->setImpressionReady(true);
  // 3500 ms counts as three whole seconds, as the adapter's timeout does.
  world_.clock().advance(2.5);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded"}));

  world_.clock().advance(1.0);
  DisplayAdTestWorld::settle();
  ASSERT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "error"}));
  EXPECT_EQ(delegate_->errors.at(0).code(), kOVAdErrorCodeInternalError);
  EXPECT_EQ(delegate_->errors.at(0).localizedDescription(), "Adapter timeout: OVAdViewInternal");
  EXPECT_TRUE(internalOf(banner)->isHidden());
  EXPECT_FALSE(banner->isAdValid());

  // The page loading or failing after that changes nothing: no second
  // error, no ad shown that would never be counted.
  stuck->finishLoad();
  stuck->failLoad(platform::Error("com.plexora.page", 7));
  world_.clock().advance(5.0);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "error"}));
  EXPECT_TRUE(internalOf(banner)->isHidden());
  EXPECT_EQ(stuck->logImpressionCalls, 0);

  // The refresh from the failure brings the next ad; its page loads in time
  // and its timeout, run out, fails nothing.
  world_.clock().advance(25.0);
  const auto next = containerAt(1);
  ASSERT_TRUE(next);
  next->finishLoad();
  world_.clock().advance(4.0);
  DisplayAdTestWorld::settle();
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded", "error", "loaded"}));
  EXPECT_TRUE(banner->isAdValid());
  EXPECT_FALSE(internalOf(banner)->isHidden());
}

TEST_F(BannerTest, ALoadAfterABidPayloadThatDidNotParseTellsTheHostItsErrorAgain) {
  const auto banner = placeBanner();
  banner->doLoadAd(std::string("{not json"));
  DisplayAdTestWorld::settle();
  ASSERT_EQ(delegate_->messages, (std::vector<std::string>{"error"}));
  banner->loadAd();
  DisplayAdTestWorld::settle();
  DisplayAdTestWorld::runBriefly();
  ASSERT_EQ(delegate_->messages, (std::vector<std::string>{"error", "error"}));
  EXPECT_EQ(delegate_->errors.at(1).code(), delegate_->errors.at(0).code());
  EXPECT_EQ(delegate_->errors.at(1).localizedDescription(), delegate_->errors.at(0).localizedDescription());
  EXPECT_TRUE(world_.server().adRequests().empty());
}

TEST_F(BannerTest, ALaterLoadRefreshesInsteadOfSettingUpAgain) {
  answer({{"PX", htmlAdData("ct-a")}}, kRefreshEvery30);
  const auto banner = placeBanner();
  banner->loadAd();
  ASSERT_TRUE(containerAt(0));
  EXPECT_TRUE(banner->isInitialized());
  world_.clock().advance(21.0);
  EXPECT_NO_THROW(banner->loadAd());
  ASSERT_TRUE(containerAt(1));
  EXPECT_EQ(world_.server().adRequests().size(), 2u);
  EXPECT_EQ(banner->subviews().size(), 1u) << "the new ad replaces the old one";
}

TEST_F(BannerTest, DataWithoutAClientTokenOrMarkupIsNoFillAndTheNextCandidateIsShown) {
  answer({{"PX", R"({"markup":"<p>ad</p>"})"}, {"PX", htmlAdData("ct-b", "")}, {"PX", htmlAdData("ct-c")}},
         kRefreshEvery30);
  const auto banner = placeBanner();
  banner->loadAd();
  const auto page = containerAt(2);
  ASSERT_TRUE(page);
  EXPECT_EQ(containers_->containers[0]->offsiteAd(), nullptr);
  EXPECT_EQ(containers_->containers[1]->offsiteAd(), nullptr);
  EXPECT_EQ(page->offsiteAd()->inlineClientToken(), "ct-c");
  EXPECT_EQ(delegate_->messages, (std::vector<std::string>{"loaded"}));
}

TEST_F(BannerTest, AnAdPresentedWhileTheBannerHasNoSizeKeepsItsOwnFrame) {
  answer({{"PX", htmlAdData("ct-a")}}, kRefreshEvery30);
  const auto banner = placeBanner();
  banner->setFrame(platform::Rect::zero());
  banner->loadAd();
  ASSERT_TRUE(containerAt(0));
  EXPECT_EQ(internalOf(banner)->frame(), platform::Rect(0, 0, 320, 50));

  // Once the banner has a size, the ad follows it.
  banner->setFrame(platform::Rect(0, 200, 300, 50));
  EXPECT_EQ(internalOf(banner)->frame(), platform::Rect(0, 0, 300, 50));
}

TEST_F(BannerTest, AutoRefreshDisabledBeforeTheFirstLoadNeverRefreshes) {
  answer({{"PX", htmlAdData("ct-a")}}, kRefreshEvery30);
  const auto banner = placeBanner();
  banner->disableAutoRefresh();
  banner->loadAd();
  const auto page = containerAt(0);
  ASSERT_TRUE(page);
  page->failLoad(platform::Error("com.plexora.page", 1));
  world_.clock().advance(90.0);
  DisplayAdTestWorld::runBriefly();
  EXPECT_EQ(world_.server().adRequests().size(), 1u);
}

struct SizeCase {
  OVAdSize adSize;
  platform::Size actual;
};

class BannerSizeTest : public BannerTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(BannerSizeTest, AFlexibleWidthTakesTheScreensWidthAndAFixedSizeStays) {
  const auto banner = OVAdView::initWithPlacementID("sizes", GetParam().adSize, nullptr);
  EXPECT_EQ(banner->actualAdSize(), GetParam().actual);
  EXPECT_EQ(banner->frame(), platform::Rect({0, 0}, GetParam().actual));
}

// The screen is 375 points wide in portrait.
INSTANTIATE_TEST_SUITE_P(Sizes, BannerSizeTest,
                         ::testing::Values(SizeCase{kOVAdSizeHeight90Banner, {375, 90}},
                                           SizeCase{kOVAdSizeHeight50Banner, {375, 50}},
                                           SizeCase{kOVAdSize320x50, {320, 50}}));

TEST_F(BannerTest, AMissingPlacementIdentifierRaisesAndAFrameMakesAnEmptyFlexibleBanner) {
  try {
    OVAdView::initWithPlacementID(std::nullopt, kOVAdSize320x50, nullptr);
    FAIL() << "no placement identifier must raise";
  } catch (const platform::Exception& exception) {
    EXPECT_EQ(exception.name(), platform::kInvalidArgumentException);
    EXPECT_EQ(exception.reason(), "placementID cannot be nil");
  }
  const auto framed = OVAdView::initWithFrame(platform::Rect(10, 20, 100, 100));
  EXPECT_EQ(framed->placementID(), "");
  EXPECT_EQ(framed->adSize(), kOVAdSizeHeight50Banner);
  EXPECT_EQ(framed->frame(), platform::Rect(10, 20, 375, 50));
}

}  // namespace
}  // namespace plexora::testing
